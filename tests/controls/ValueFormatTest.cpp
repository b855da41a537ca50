#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

#include "controls/LeafControls.h"
#include "data/manager/CPRDataManager.h"
#include "generator/Utf8Converter.h"
#include "tests/controls/ControlsTestSupport.h"

namespace prt::test {
namespace {

using Colour = builder::Colour;

constexpr Colour kWhite = {0xff, 0xff, 0xff, 0xff};
constexpr Colour kBlack = {0x00, 0x00, 0x00, 0xff};
constexpr Colour kRed = {0xff, 0x00, 0x00, 0xff};

// A GradientInfo at offset 0 of its own image, its arrays behind it.
RuntimeImage GradientImage(uint8_t count, uint8_t orientation,
                           std::optional<std::vector<float>> positions,
                           std::optional<std::vector<Colour>> colours) {
  std::vector<uint8_t> bytes(12, 0);
  bytes[0] = count;
  bytes[1] = orientation;
  auto put32 = [&bytes](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  auto append32 = [&bytes, &put32](uint32_t v) {
    bytes.resize(bytes.size() + 4);
    put32(bytes.size() - 4, v);
  };
  if (positions) {
    put32(4, static_cast<uint32_t>(bytes.size()));
    append32(static_cast<uint32_t>(positions->size()));
    for (float f : *positions) {
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      append32(bits);
    }
  }
  if (colours) {
    put32(8, static_cast<uint32_t>(bytes.size()));
    append32(static_cast<uint32_t>(colours->size()));
    for (const Colour& c : *colours) bytes.insert(bytes.end(), c.begin(), c.end());
  }
  return RuntimeImage(std::move(bytes));
}

std::u16string Stop(const char16_t* position, const char16_t* colour) {
  return std::u16string(u"GradientStop { position: ") + position + u"; color: \"" + colour + u"\" }\n";
}

constexpr char16_t kHead[] = u"Gradient {\norientation: Qt.Horizontal\nstops: \n";

TEST(ValueFormatTest, ColorToText) {
  struct Case {
    std::vector<uint8_t> bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {{0x10, 0x20, 0x30, 0xff}, u"#ff102030"},
      {{0, 0, 0, 0}, u"#00000000"},
      {{0xab, 0xcd, 0xef, 0x01}, u"#01abcdef"},
      {{0x0a, 0x0b, 0x0c, 0x0d}, u"#0d0a0b0c"},
  };
  for (const Case& c : cases) {
    const RuntimeImage image(c.bytes);
    EXPECT_EQ(IControl::ColorToText(image.Root()), c.text);
  }
  EXPECT_EQ(IControl::ColorToText(ImageRef()), u"#00000000");
}

TEST(ValueFormatTest, GradientExample) {
  const RuntimeImage image = GradientImage(2, 1, std::vector<float>{0.5f, 0.5f},
                                           std::vector<Colour>{kWhite, kBlack});
  const std::u16string text = IControl::GradientToText(image.Root());
  ExpectGolden("gradient.txt", Utf8Converter::Instance().ToUtf8(text));
}

TEST(ValueFormatTest, GradientTexts) {
  struct Case {
    const char* name;
    uint8_t count;
    uint8_t orientation;
    std::optional<std::vector<float>> positions;
    std::optional<std::vector<Colour>> colours;
    std::u16string text;
  };
  // Ten positions that all differ, so none is adjusted.
  std::vector<float> ten;
  for (int i = 0; i < 10; ++i) ten.push_back(0.1f * static_cast<float>(i));
  std::u16string tenStops;
  const char16_t* tenTexts[] = {u"0", u"0.1", u"0.2", u"0.3", u"0.4", u"0.5", u"0.6", u"0.7"};
  for (const char16_t* t : tenTexts) tenStops += Stop(t, u"#ffff0000");

  const Case cases[] = {
      {"no stops", 0, 0, std::nullopt, std::nullopt, std::u16string(kHead) + u"}"},
      {"orientation 2 is vertical", 0, 2, std::nullopt, std::nullopt,
       u"Gradient {\norientation: Qt.Vertical\nstops: \n}"},
      {"orientation 1 is horizontal", 0, 1, std::nullopt, std::nullopt, std::u16string(kHead) + u"}"},
      {"three equal stops at 0 clamp to 0", 3, 0, std::vector<float>{0, 0, 0},
       std::vector<Colour>{kWhite, kBlack, kRed},
       kHead + Stop(u"0", u"#ffffffff") + Stop(u"0", u"#ff000000") + Stop(u"0", u"#ffff0000") + u"}"},
      {"the shift grows with the stops left", 3, 0, std::vector<float>{0.5f, 0.5f, 1.0f},
       std::vector<Colour>{kWhite, kBlack, kRed},
       kHead + Stop(u"0.49987", u"#ffffffff") + Stop(u"0.5", u"#ff000000") + Stop(u"1", u"#ffff0000") +
           u"}"},
      {"distinct stops unchanged", 3, 0, std::vector<float>{0, 0.3f, 1},
       std::vector<Colour>{kWhite, kBlack, kRed},
       kHead + Stop(u"0", u"#ffffffff") + Stop(u"0.3", u"#ff000000") + Stop(u"1", u"#ffff0000") + u"}"},
      {"the last stop is never shifted", 2, 0, std::vector<float>{0.2f, 0.7f},
       std::vector<Colour>{kWhite, kWhite},
       kHead + Stop(u"0.2", u"#ffffffff") + Stop(u"0.7", u"#ffffffff") + u"}"},
      {"more than eight stops: the first eight", 10, 0, ten, std::vector<Colour>(10, kRed),
       kHead + tenStops + u"}"},
      {"no position array: every position 0", 2, 0, std::nullopt,
       std::vector<Colour>{kWhite, kBlack},
       kHead + Stop(u"0", u"#ffffffff") + Stop(u"0", u"#ff000000") + u"}"},
      {"colour array shorter than the count", 2, 0, std::vector<float>{0, 1},
       std::vector<Colour>{kWhite}, kHead + Stop(u"0", u"#ffffffff") + Stop(u"1", u"#00000000") + u"}"},
  };
  for (const Case& c : cases) {
    const RuntimeImage image = GradientImage(c.count, c.orientation, c.positions, c.colours);
    EXPECT_EQ(IControl::GradientToText(image.Root()), c.text) << c.name;
  }
}

TEST(ValueFormatTest, WriteFillProperty) {
  struct Case {
    const char* name;
    uint8_t count;
    bool solid;
    std::u16string alternate;
    std::u16string text;
  };
  const std::u16string gradientOfOne = std::u16string(u"fill: ") + kHead + Stop(u"0", u"#ffffffff") + u"}\n";
  const Case cases[] = {
      {"one colour, solid", 1, true, u"", u"fill: \"#ffffffff\"\n"},
      {"one colour, solid, alternate name", 1, true, u"other", u"other: \"#ffffffff\"\n"},
      {"one colour, not solid", 1, false, u"other", gradientOfOne},
      {"no colour", 0, true, u"other", std::u16string(u"fill: ") + kHead + u"}\n"},
      {"two colours keep the name", 2, true, u"other",
       std::u16string(u"fill: ") + kHead + Stop(u"0", u"#ffffffff") + Stop(u"1", u"#ff000000") + u"}\n"},
  };
  for (const Case& c : cases) {
    const RuntimeImage image = GradientImage(c.count, 0, std::vector<float>{0, 1},
                                             std::vector<Colour>{kWhite, kBlack});
    QmlGenerator generator;
    Button control{ImageRef()};
    control.SetStream(&generator);
    control.WriteFillProperty(u"fill", image.Root(), c.solid, c.alternate);
    EXPECT_EQ(generator.stream.Text(), c.text) << c.name;
  }
}

TEST(ValueFormatTest, ImageUrl) {
  EXPECT_EQ(IControl::ImageUrl(17), u"image://OrvixImageProvider/17");
  EXPECT_EQ(IControl::ImageUrl(0), u"image://OrvixImageProvider/0");
  EXPECT_EQ(IControl::ImageUrl(4294967295u), u"image://OrvixImageProvider/4294967295");
}

struct FontCase {
  const char* face;  // null: no face block
  uint16_t size;
  bool bold;
  bool italic;
  uint16_t selector;  // bit 2: underline
};

// One language per font; the font reference is font 0, style 0.
bool LoadFonts(const std::vector<FontCase>& fonts) {
  Scene scene;
  auto& languages = scene.Project().Languages();
  languages.clear();
  for (size_t i = 0; i < fonts.size(); ++i) {
    builder::FontRecord record;
    record.size = fonts[i].size;
    record.bold = fonts[i].bold;
    record.italic = fonts[i].italic;
    if (fonts[i].face != nullptr) record.face = fonts[i].face;
    const uint16_t index = static_cast<uint16_t>(scene.Project().AddFont(record));
    builder::Language language;
    language.id = static_cast<uint32_t>(100 + i);
    language.fonts = {builder::FontVariants{index, index, index, index}};
    language.selectors = {fonts[i].selector};
    scene.Project().AddLanguage(language);
  }
  return scene.Load();
}

struct FontArrayResult {
  bool ok = false;
  std::u16string text;
  std::string console;
};

FontArrayResult WriteFonts() {
  const RuntimeImage fontReference(std::vector<uint8_t>{0, 0, 0, 0});
  QmlGenerator generator;
  Button control{ImageRef()};
  control.SetStream(&generator);
  FontArrayResult result;
  testing::internal::CaptureStdout();
  result.ok = control.WriteFontArray(fontReference.Root());
  result.console = testing::internal::GetCapturedStdout();
  result.text = generator.stream.Text();
  return result;
}

TEST(ValueFormatTest, FontArrayExample) {
  ASSERT_TRUE(LoadFonts({{"Arial", 12, true, false, 0}, {"KestrelSans Pro", 10, false, false, 0}}));
  const FontArrayResult r = WriteFonts();
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.console, "");
  ExpectGolden("fontarray.txt", Utf8Converter::Instance().ToUtf8(r.text));
  // The last language written stays current.
  EXPECT_EQ(CPRDataManager::GetInstance().GetCurrentLanguageIndex(), 1u);
}

TEST(ValueFormatTest, FontEntries) {
  struct Case {
    FontCase font;
    std::u16string entry;
  };
  const Case cases[] = {
      {{"KestrelSans Pro Bold", 9, true, false, 0}, u"Qt.font({family:\"KestrelSans Pro Bold\",pointSize:9,bold:true}),"},
      {{"KestrelSans Pro Bold", 9, false, false, 0},
       u"Qt.font({family:\"KestrelSans Pro Bold\",pointSize:9,styleName:\"Roman\"}),"},
      {{"Kestrel Sans Global", 8, false, true, 0}, u"Qt.font({family:\"Kestrel Sans Global\",pointSize:8,italic:true}),"},
      {{"Kestrel Sans Global", 8, false, false, 4},
       u"Qt.font({family:\"Kestrel Sans Global\",pointSize:8,underline:true,styleName:\"Roman\"}),"},
      {{"kestrelsans pro", 8, false, false, 0}, u"Qt.font({family:\"kestrelsans pro\",pointSize:8}),"},
      {{"Sans", 11, true, true, 4}, u"Qt.font({family:\"Sans\",pointSize:11,italic:true,bold:true,underline:true}),"},
      {{"Sa\"ns", 7, false, false, 3}, u"Qt.font({family:\"Sa\"ns\",pointSize:7}),"},
      {{"Gro\xC3\x9F", 7, false, false, 0}, u"Qt.font({family:\"Gro\u00DF\",pointSize:7}),"},
      {{"", 0, false, false, 0}, u"Qt.font({family:\"\",pointSize:0}),"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(LoadFonts({c.font})) << c.font.face;
    const FontArrayResult r = WriteFonts();
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.text, u"fontArray: [\n" + c.entry + u"\n]\n\n") << c.font.face;
  }
}

TEST(ValueFormatTest, FontArrayWithoutLanguages) {
  ASSERT_TRUE(LoadFonts({}));
  const FontArrayResult r = WriteFonts();
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.text, u"fontArray: [\n]\n\n");
}

TEST(ValueFormatTest, FailedFontLookupWritesNothing) {
  ASSERT_TRUE(LoadFonts({{"Arial", 12, false, false, 0}, {nullptr, 10, false, false, 0},
                         {"Sans", 10, false, false, 0}}));
  const FontArrayResult r = WriteFonts();
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.text, u"");
  EXPECT_EQ(r.console, "GetCurrentLanguageFontInfo failed!");
  // The lookup stopped at the language that failed.
  EXPECT_EQ(CPRDataManager::GetInstance().GetCurrentLanguageIndex(), 1u);
}

}  // namespace
}  // namespace prt::test
