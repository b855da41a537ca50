#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "controls/LeafControls.h"
#include "platform/Text.h"
#include "tests/controls/ControlsTestSupport.h"

namespace prt::test {
namespace {

std::u16string Stop(const char16_t* position, const char16_t* colour) {
  return std::u16string(u"GradientStop { position: ") + position + u"; color: \"" + colour + u"\" }\n";
}
constexpr char16_t kHead[] = u"Gradient {\norientation: Qt.Horizontal\nstops: \n";
constexpr char16_t kWhite[] = u"#ffffffff";
constexpr char16_t kBlack[] = u"#ff000000";
constexpr char16_t kRed[] = u"#ffff0000";

// The fill of page 0.
ImageRef PageFill(const std::string& fill) {
  if (!LoadScreens(R"({"type": "page", "background": )" + fill + "}")) return {};
  return RecordOf(kPage0).At(36);
}

TEST(ValueFormatTest, GradientTexts) {
  // Ten positions that all differ: the first eight are written.
  std::string ten = R"({"stops": [[0, "#ffff0000"])";
  std::u16string eight = kHead + Stop(u"0", kRed);
  for (int i = 1; i < 10; ++i) ten += ", [0." + std::to_string(i) + R"(, "#ffff0000"])";
  for (const char16_t* p : {u"0.1", u"0.2", u"0.3", u"0.4", u"0.5", u"0.6", u"0.7"}) eight += Stop(p, kRed);
  const struct { std::string fill; std::u16string text; } cases[] = {
      {R"({"orientation": 0})", kHead + std::u16string(u"}")},
      {R"({"orientation": 2})", u"Gradient {\norientation: Qt.Vertical\nstops: \n}"},
      // Equal neighbours move back by (n - i) * 1e-05 + 1e-04, but not below 0.
      {R"({"stops": [[0, "#ffffffff"], [0, "#ff000000"], [0, "#ffff0000"]]})",
       kHead + Stop(u"0", kWhite) + Stop(u"0", kBlack) + Stop(u"0", kRed) + u"}"},
      {R"({"stops": [[0.5, "#ffffffff"], [0.5, "#ff000000"], [1, "#ffff0000"]]})",
       kHead + Stop(u"0.49987", kWhite) + Stop(u"0.5", kBlack) + Stop(u"1", kRed) + u"}"},
      {R"({"stops": [[0, "#ffffffff"], [0.3, "#ff000000"], [1, "#ffff0000"]]})",
       kHead + Stop(u"0", kWhite) + Stop(u"0.3", kBlack) + Stop(u"1", kRed) + u"}"},
      {ten + "]}", eight + u"}"},
      {R"({"positions": null, "colors": ["#ffffffff", "#ff000000"]})",
       kHead + Stop(u"0", kWhite) + Stop(u"0", kBlack) + u"}"},
      {R"({"count": 2, "positions": [0, 1e-05], "colors": ["#ffffffff"]})",
       kHead + Stop(u"0", kWhite) + Stop(u"1e-05", u"#00000000") + u"}"},
  };
  for (const auto& c : cases) EXPECT_EQ(IControl::GradientToText(PageFill(c.fill)), c.text) << c.fill;
}

TEST(ValueFormatTest, WriteFillProperty) {
  const std::u16string two = kHead + Stop(u"0", kWhite) + Stop(u"1", kBlack) + u"}\n";
  const struct { int count; bool solid; std::u16string alternate; std::u16string text; } cases[] = {
      {1, true, u"", u"fill: \"#ffffffff\"\n"},
      {1, true, u"other", u"other: \"#ffffffff\"\n"},
      {1, false, u"other", std::u16string(u"fill: ") + kHead + Stop(u"0", kWhite) + u"}\n"},
      {0, true, u"other", std::u16string(u"fill: ") + kHead + u"}\n"},
      {2, true, u"other", u"fill: " + two},
  };
  for (const auto& c : cases) {
    const ImageRef fill = PageFill(R"({"positions": [0, 1], "colors": ["#ffffffff", "#ff000000"], "count": )" +
                                   std::to_string(c.count) + "}");
    QmlGenerator generator(Data());
    Button control{ImageRef()};
    control.SetStream(&generator);
    control.WriteFillProperty(u"fill", fill, c.solid, c.alternate);
    EXPECT_EQ(generator.stream.Text(), c.text) << c.count << c.solid;
  }
}

// A null face: no face block; selector bit 2: underline.
struct FontCase { const char* face; int size; bool bold, italic; int selector; };

// One language per font, each reading its font 0 style 0.
struct FontArray { bool ok = false; std::u16string text; std::string console; uint32_t language = 0; };
FontArray WriteFonts(const std::vector<FontCase>& fonts) {
  nlohmann::json d = {{"fonts", nlohmann::json::array()}, {"languages", nlohmann::json::array()}};
  for (size_t i = 0; i < fonts.size(); ++i) {
    const FontCase& f = fonts[i];
    d["fonts"].push_back({{"face", f.face ? nlohmann::json(f.face) : nlohmann::json()}, {"size", f.size},
                          {"bold", f.bold}, {"italic", f.italic}});
    d["languages"].push_back(
        {{"fonts", nlohmann::json::array({i})}, {"selectors", nlohmann::json::array({f.selector})}});
  }
  if (!Load(d.dump())) return {};
  const RuntimeImage fontZero(std::vector<uint8_t>(4, 0));
  QmlGenerator generator(Data());
  Button control{ImageRef()};
  control.SetStream(&generator);
  const bool ok = control.WriteFontArray(fontZero.Root());
  return {ok, generator.stream.Text(), generator.notices, generator.language};
}

TEST(ValueFormatTest, GoldenExamples) {
  const auto fill = PageFill(R"({"orientation": 1, "stops": [[0.5, "#ffffffff"], [0.5, "#ff000000"]]})");
  ExpectGolden("gradient.txt", platform::NarrowUnits(IControl::GradientToText(fill)));
  const FontArray r = WriteFonts({{"Arial", 12, true, false, 0}, {"KestrelSans Pro", 10, false, false, 0}});
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.console, "");
  ExpectGolden("fontarray.txt", platform::NarrowUnits(r.text));
  // The last language written stays the writer's.
  EXPECT_EQ(r.language, 1u);
}

TEST(ValueFormatTest, FontEntries) {
  const struct { std::vector<FontCase> fonts; std::u16string entries; } cases[] = {
      {{{"KestrelSans Pro Bold", 9, true, false, 0}},
       u"Qt.font({family:\"KestrelSans Pro Bold\",pointSize:9,bold:true}),\n"},
      {{{"KestrelSans Pro Bold", 9, false, false, 0}},
       u"Qt.font({family:\"KestrelSans Pro Bold\",pointSize:9,styleName:\"Roman\"}),\n"},
      {{{"Kestrel Sans Global", 8, false, true, 0}},
       u"Qt.font({family:\"Kestrel Sans Global\",pointSize:8,italic:true}),\n"},
      {{{"Kestrel Sans Global", 8, false, false, 4}},
       u"Qt.font({family:\"Kestrel Sans Global\",pointSize:8,underline:true,styleName:\"Roman\"}),\n"},
      {{{"kestrelsans pro", 8, false, false, 0}}, u"Qt.font({family:\"kestrelsans pro\",pointSize:8}),\n"},
      {{{"Sans", 11, true, true, 4}},
       u"Qt.font({family:\"Sans\",pointSize:11,italic:true,bold:true,underline:true}),\n"},
      {{{"Sa\"ns", 7, false, false, 3}}, u"Qt.font({family:\"Sa\"ns\",pointSize:7}),\n"},
      {{{"Gro\xC3\x9F", 7, false, false, 0}}, u"Qt.font({family:\"Gro\u00DF\",pointSize:7}),\n"},
      {{}, u""},
  };
  for (const auto& c : cases) {
    const FontArray r = WriteFonts(c.fonts);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.text, u"fontArray: [\n" + c.entries + u"]\n\n");
  }
}

}  // namespace
}  // namespace prt::test
