#include <gtest/gtest.h>

#include <memory>

#include "controls/LeafControls.h"
#include "controls/VectorGraphics.h"
#include "tests/controls/ControlsTestSupport.h"

namespace prt::test {
namespace {

constexpr uint32_t kPage0 = Reference(1, 0);

Written LoadAndGenerate(uint8_t type, uint32_t index, const std::u16string& text, Geometry g,
                        std::vector<Field> extra = {}) {
  Scene scene;
  scene.Add(type, index, text, g, std::move(extra));
  if (!scene.Load()) return {};
  return GenerateControl(Reference(type, index), kPage0);
}

std::string SizeLines(const std::string& text) {
  const size_t at = text.find("width: ");
  return at == std::string::npos ? std::string() : text.substr(at);
}

TEST(LeafTest, SwitchElement) {
  const Written w = LoadAndGenerate(21, 3, u"Pump", {40, 60, 80, 30});
  EXPECT_TRUE(w.ok);
  ExpectGolden("switch.qml", w.text);
}

TEST(LeafTest, SameIndexDifferentTypesHaveDifferentIds) {
  Scene scene;
  scene.Add(21, 3, u"", {0, 0, 1, 1});
  scene.Add(29, 3, u"", {0, 0, 1, 1});
  ASSERT_TRUE(scene.Load());
  EXPECT_NE(GenerateControl(Reference(21, 3), kPage0).text.find("id: swth352321539\n"), std::string::npos);
  EXPECT_NE(GenerateControl(Reference(29, 3), kPage0).text.find("id: bttn486539267\n"), std::string::npos);
}

TEST(LeafTest, TrendViewElement) {
  const Written w = LoadAndGenerate(28, 1, u"Trend1", {0, 0, 1280, 600});
  EXPECT_TRUE(w.ok);
  ExpectGolden("trendview.qml", w.text);
}

TEST(LeafTest, TrendViewSizeIsCapped) {
  struct Case {
    int32_t w, h;
    int32_t writtenW, writtenH;
  };
  const Case cases[] = {
      {1024, 1024, 1024, 1024},  {1025, 4000, 1024, 1024}, {800, 2000, 800, 1024},
      {-5, -2000000, -5, -2000000}, {2147483647, 0, 1024, 0}, {0, -2147483647 - 1, 0, -2147483647 - 1},
  };
  for (const Case& c : cases) {
    const std::string text = LoadAndGenerate(28, 1, u"T", {0, 0, c.w, c.h}).text;
    EXPECT_EQ(SizeLines(text), "width: " + std::to_string(c.writtenW) + "\nheight: " +
                                   std::to_string(c.writtenH) + "\n\n}\n\n")
        << c.w << "x" << c.h;
  }
}

TEST(LeafTest, HiddenTrendViewMovesByItsFullSize) {
  const std::string text = LoadAndGenerate(28, 1, u"T", {7, 8, 1500, 300}, {Field::U32(rec::kFlags, 0x20)}).text;
  EXPECT_NE(text.find("x: -1500\ny: -300\nz: 500\nwidth: 1024\nheight: 300\n"), std::string::npos) << text;
}

TEST(LeafTest, OnlyTheTrendViewIsCapped) {
  const std::string text = LoadAndGenerate(68, 0, u"XY", {0, 0, 1500, 1500}).text;
  EXPECT_EQ(SizeLines(text), "width: 1500\nheight: 1500\n\n}\n\n");
}

TEST(LeafTest, CircleAndEllipse) {
  const std::vector<Field> ellipse = {Field::U8(VectorGfxBase::kShapeOffset, 1)};
  const Written circle = LoadAndGenerate(40, 7, u"Lamp", {200, 120, 50, 50}, ellipse);
  EXPECT_TRUE(circle.ok);
  ExpectGolden("circle.qml", circle.text);
  ExpectGolden("ellipse.qml", LoadAndGenerate(40, 7, u"Lamp", {200, 120, 60, 50}, ellipse).text);
}

TEST(LeafTest, ShapeCodes) {
  struct Case {
    const char* name;
    uint8_t shape;
    Geometry g;
    uint32_t flags;
    const char* head;
  };
  const Case cases[] = {
      {"0 by 0 ellipse is a circle", 1, {0, 0, 0, 0}, 0, "OrvixEllipse {\nid: crcl671088647\n"},
      {"50 by 51 stays an ellipse", 1, {0, 0, 50, 51}, 0, "OrvixEllipse {\nid: elps671088647\n"},
      {"hidden circle keeps its code", 1, {0, 0, 50, 50}, 0x10, "OrvixEllipse {\nid: crcl671088647\n"},
      {"square rectangle", 2, {0, 0, 50, 50}, 0, "OrvixRectangle {\nid: rect671088647\n"},
      {"polyline", 0, {0, 0, 50, 50}, 0, "OrvixPolyline {\nid: plyl671088647\n"},
      {"polygon", 3, {0, 0, 50, 50}, 0, "OrvixPolygon {\nid: plyg671088647\n"},
      {"flow block", 4, {0, 0, 50, 50}, 0, "OrvixFlowblock {\nid: fblk671088647\n"},
  };
  for (const Case& c : cases) {
    const std::string text = LoadAndGenerate(
        40, 7, u"S", c.g, {Field::U8(VectorGfxBase::kShapeOffset, c.shape), Field::U32(rec::kFlags, c.flags)}).text;
    EXPECT_EQ(text.rfind(c.head, 0), 0u) << c.name << "\n" << text;
  }
}

TEST(LeafTest, GuardedAndPlainPropertiesWithoutOutput) {
  struct Case {
    const char* name;
    std::unique_ptr<IControl> control;
    bool answer;
  };
  Scene scene;
  scene.Add(29, 0, u"", {0, 0, 1, 1});
  ASSERT_TRUE(scene.Load());
  const ImageRef r = RecordOf(Reference(29, 0));
  Case cases[] = {
      {"AlarmView", std::make_unique<AlarmView>(r), false},
      {"AlarmIndicator", std::make_unique<AlarmIndicator>(r), false},
      {"AlarmReport", std::make_unique<AlarmReport>(r), false},
      {"RecipeView", std::make_unique<RecipeView>(r), false},
      {"RecipeReport", std::make_unique<RecipeReport>(r), false},
      {"TableView", std::make_unique<TableView>(r), false},
      {"Switch", std::make_unique<Switch>(r), true},
      {"TrendView", std::make_unique<TrendView>(r), true},
      {"AlarmBar", std::make_unique<AlarmBar>(r), true},
      {"VectorGfxRectangle", std::make_unique<VectorGfxRectangle>(r), true},
  };
  QmlGenerator generator;
  for (Case& c : cases) {
    EXPECT_EQ(c.control->WriteProperties(), c.answer) << c.name;
    c.control->SetStream(&generator);
    EXPECT_TRUE(c.control->WriteProperties()) << c.name;
  }
  EXPECT_EQ(generator.stream.Text(), u"");
  // With an output but no record the guarded views answer false again.
  AlarmView noRecord{ImageRef()};
  noRecord.SetStream(&generator);
  EXPECT_FALSE(noRecord.WriteProperties());
}

}  // namespace
}  // namespace prt::test
