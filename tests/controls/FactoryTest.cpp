#include <gtest/gtest.h>

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

// One object of every row, the vector shapes told apart by their index;
// width differs from height so the ellipse stays an ellipse.
TEST(FactoryTest, EveryTypeYieldsItsClass) {
  std::string objects;
  for (const Row& row : kTypeTable) {
    objects += (objects.empty() ? "" : ",") + std::string(R"({"type": )") + std::to_string(row.type) +
               ", \"shape\": " + std::to_string(row.shape) + ", \"index\": " + std::to_string(row.shape) +
               R"(, "w": 30, "h": 40})";
  }
  ASSERT_TRUE(LoadScreens(objects));
  for (const Row& row : kTypeTable) {
    const uint32_t ref = Reference(row.type, row.shape);
    const ImageRef record = RecordOf(ref);
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
    EXPECT_EQ(dynamic_cast<IControlGroup*>(control.get()) != nullptr, row.screen || row.type == 22)
        << row.code;

    QmlGenerator generator;
    control->SetStream(&generator);
    EXPECT_TRUE(control->Generate()) << row.code;
    const std::string id = row.code + std::to_string(ref);
    EXPECT_NE(StreamText(generator).find(std::string(row.qmlName) + " {\nid: " + id + "\nobjectName: \"" +
                                         id + "\"\n"),
              std::string::npos)
        << row.code;
  }
}

}  // namespace
}  // namespace prt::test
