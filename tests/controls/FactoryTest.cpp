#include <gtest/gtest.h>

#include <map>
#include <typeindex>
#include <typeinfo>

#include "controls/ControlFactory.h"
#include "controls/IControlGroup.h"
#include "controls/LeafControls.h"
#include "controls/PopupScreen.h"
#include "controls/Screens.h"
#include "controls/VectorGraphics.h"
#include "tests/controls/ControlsTestSupport.h"

namespace prt::test {
namespace {

struct Row {
  uint8_t type;
  uint8_t shape;
  std::type_index cls;
  const char* code;
  const char* qmlName;
  bool screen;
};

// The type table, written out independently of the classes' own constants.
const Row kTypeTable[] = {
    {1, 0, typeid(Page), "page", "OrvixPage", true},
    {2, 0, typeid(IOField), "iofd", "OrvixIOField", false},
    {3, 0, typeid(Bar), "baar", "OrvixBar", false},
    {16, 0, typeid(TextField), "txtf", "OrvixTextField", false},
    {18, 0, typeid(Graphic), "grph", "OrvixGraphic", false},
    {20, 0, typeid(SymbolicIOField), "siof", "OrvixSymbolicIOField", false},
    {21, 0, typeid(Switch), "swth", "OrvixSwitch", false},
    {22, 0, typeid(Container), "ctnr", "OrvixContainer", false},
    {24, 0, typeid(AlarmView), "almv", "OrvixAlarmView", false},
    {25, 0, typeid(AlarmIndicator), "almi", "OrvixAlarmIndicator", false},
    {28, 0, typeid(TrendView), "trdv", "OrvixTrendView", false},
    {29, 0, typeid(Button), "bttn", "OrvixButton", false},
    {32, 0, typeid(UserView), "usrv", "OrvixUserView", false},
    {38, 0, typeid(Template), "tmpl", "OrvixTemplate", true},
    {40, 0, typeid(VectorGfxPolyline), "plyl", "OrvixPolyline", false},
    {40, 1, typeid(VectorGfxEllipse), "elps", "OrvixEllipse", false},
    {40, 2, typeid(VectorGfxRectangle), "rect", "OrvixRectangle", false},
    {40, 3, typeid(VectorGfxPolygon), "plyg", "OrvixPolygon", false},
    {40, 4, typeid(VectorGfxFlowBlock), "fblk", "OrvixFlowblock", false},
    {45, 0, typeid(RecipeView), "rcpv", "OrvixRecipeView", false},
    {47, 0, typeid(DiagnosticView), "dgnv", "OrvixDiagnosticView", false},
    {53, 0, typeid(ReportPage), "rppg", "OrvixReportPage", true},
    {54, 0, typeid(AlarmReport), "almr", "OrvixAlarmReport", false},
    {55, 0, typeid(RecipeReport), "rcpr", "OrvixRecipeReport", false},
    {56, 0, typeid(TableView), "tblv", "OrvixTableView", false},
    {62, 0, typeid(GraphicIOField), "giof", "OrvixGraphicIOField", false},
    {63, 0, typeid(DateTimeField), "dtfd", "OrvixDateTimeField", false},
    {67, 0, typeid(GifPlayer), "gifp", "OrvixGifPlayer", false},
    {68, 0, typeid(XYTrendView), "xytv", "OrvixXYTrendView", false},
    {71, 0, typeid(PopupScreen), "pops", "OrvixPopupScreen", true},
    {72, 0, typeid(AlarmBar), "almb", "OrvixAlarmBar", false},
    {73, 0, typeid(VelocorSystemView), "vlsv", "OrvixVelocorSystemView", false},
    {75, 0, typeid(CamView), "camv", "OrvixCamView", false},
};

// Width differs from height so the ellipse stays an ellipse.
uint32_t AddRow(Scene& scene, const Row& row, uint32_t index) {
  scene.Add(row.type, index, u"", {1, 2, 30, 40}, {Field::U8(VectorGfxBase::kShapeOffset, row.shape)});
  return Reference(row.type, index);
}

TEST(FactoryTest, EveryTypeYieldsItsClass) {
  Scene scene;
  std::vector<uint32_t> refs;
  std::map<uint8_t, uint32_t> nextIndex;
  for (const Row& row : kTypeTable) refs.push_back(AddRow(scene, row, nextIndex[row.type]++));
  ASSERT_TRUE(scene.Load());
  for (size_t i = 0; i < std::size(kTypeTable); ++i) {
    const Row& row = kTypeTable[i];
    const ImageRef record = RecordOf(refs[i]);
    ASSERT_TRUE(record) << row.code;
    const ControlPtr control = row.screen ? CreateScreen(record) : CreateControl(record);
    ASSERT_NE(control, nullptr) << row.code;
    // The other table never creates this type.
    EXPECT_EQ(row.screen ? CreateControl(record) : CreateScreen(record), nullptr) << row.code;
    const IControl& c = *control;
    EXPECT_EQ(std::type_index(typeid(c)), row.cls) << row.code;
    EXPECT_EQ(control->GetTypeCode(), row.code);
    EXPECT_EQ(control->GetQmlTypeName(), row.qmlName);
    EXPECT_EQ(control->GetTypeNumber(), row.type) << row.code;
    EXPECT_EQ(control->IsPopup(), row.type == 71) << row.code;

    QmlGenerator generator;
    generator.rootObjId = refs[0];
    control->SetStream(&generator);
    EXPECT_TRUE(control->Generate()) << row.code;
    const std::string id = std::string(row.code) + std::to_string(refs[i]);
    const std::string head = std::string(row.qmlName) + " {\nid: " + id + "\nobjectName: \"" + id + "\"\n";
    const std::string text = StreamText(generator);
    EXPECT_NE(text.find(head), std::string::npos) << text;
    EXPECT_EQ(dynamic_cast<IControlGroup*>(control.get()) != nullptr,
              row.screen || row.type == 22)
        << row.code;
  }
}

TEST(FactoryTest, TypesWithoutControlCreatorYieldNothing) {
  Scene scene;
  const uint8_t types[] = {38, 1, 53, 71, 41, 0, 4, 23, 30, 39, 70, 74, 76, 200, 255};
  for (uint8_t type : types) scene.Add(type, 0, u"", {0, 0, 10, 10});
  ASSERT_TRUE(scene.Load());
  for (uint8_t type : types) {
    const ImageRef record = RecordOf(Reference(type, 0));
    ASSERT_TRUE(record) << int(type);
    EXPECT_EQ(CreateControl(record), nullptr) << int(type);
  }
  const uint8_t nonScreens[] = {0, 2, 22, 29, 41, 40, 255};
  for (uint8_t type : nonScreens) EXPECT_EQ(CreateScreen(RecordOf(Reference(type, 0))), nullptr);
  EXPECT_EQ(CreateControl(ImageRef()), nullptr);
  EXPECT_EQ(CreateScreen(ImageRef()), nullptr);
}

TEST(FactoryTest, ShapeBytesFiveAndAboveYieldNothing) {
  Scene scene;
  const uint8_t shapes[] = {5, 6, 127, 255};
  for (uint32_t i = 0; i < std::size(shapes); ++i) {
    scene.Add(40, i, u"", {0, 0, 10, 20}, {Field::U8(VectorGfxBase::kShapeOffset, shapes[i])});
  }
  ASSERT_TRUE(scene.Load());
  for (uint32_t i = 0; i < std::size(shapes); ++i) {
    EXPECT_EQ(CreateControl(RecordOf(Reference(40, i))), nullptr) << int(shapes[i]);
    EXPECT_EQ(CreateVectorGraphic(RecordOf(Reference(40, i))), nullptr) << int(shapes[i]);
  }
  EXPECT_EQ(CreateVectorGraphic(ImageRef()), nullptr);
}

}  // namespace
}  // namespace prt::test
