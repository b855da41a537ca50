#include <gtest/gtest.h>

#include "controls/ControlFactory.h"
#include "controls/IControlGroup.h"
#include "tests/controls/ControlsTestSupport.h"

namespace prt::test {
namespace {

struct Row { uint8_t type, shape; const char* code; const char* qmlName; bool screen; };

// The type table, written out independently of the classes' own constants
// (each class has a code of its own).
const Row kTypeTable[] = {
    {1, 0, "page", "OrvixPage", true},
    {2, 0, "iofd", "OrvixIOField", false},
    {3, 0, "baar", "OrvixBar", false},
    {16, 0, "txtf", "OrvixTextField", false},
    {18, 0, "grph", "OrvixGraphic", false},
    {20, 0, "siof", "OrvixSymbolicIOField", false},
    {21, 0, "swth", "OrvixSwitch", false},
    {22, 0, "ctnr", "OrvixContainer", false},
    {24, 0, "almv", "OrvixAlarmView", false},
    {25, 0, "almi", "OrvixAlarmIndicator", false},
    {28, 0, "trdv", "OrvixTrendView", false},
    {29, 0, "bttn", "OrvixButton", false},
    {32, 0, "usrv", "OrvixUserView", false},
    {38, 0, "tmpl", "OrvixTemplate", true},
    {40, 0, "plyl", "OrvixPolyline", false},
    {40, 1, "elps", "OrvixEllipse", false},
    {40, 2, "rect", "OrvixRectangle", false},
    {40, 3, "plyg", "OrvixPolygon", false},
    {40, 4, "fblk", "OrvixFlowblock", false},
    {45, 0, "rcpv", "OrvixRecipeView", false},
    {47, 0, "dgnv", "OrvixDiagnosticView", false},
    {53, 0, "rppg", "OrvixReportPage", true},
    {54, 0, "almr", "OrvixAlarmReport", false},
    {55, 0, "rcpr", "OrvixRecipeReport", false},
    {56, 0, "tblv", "OrvixTableView", false},
    {62, 0, "giof", "OrvixGraphicIOField", false},
    {63, 0, "dtfd", "OrvixDateTimeField", false},
    {67, 0, "gifp", "OrvixGifPlayer", false},
    {68, 0, "xytv", "OrvixXYTrendView", false},
    {71, 0, "pops", "OrvixPopupScreen", true},
    {72, 0, "almb", "OrvixAlarmBar", false},
    {73, 0, "vlsv", "OrvixVelocorSystemView", false},
    {75, 0, "camv", "OrvixCamView", false},
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
    EXPECT_EQ(control->GetTypeCode(), row.code);
    EXPECT_EQ(control->GetQmlTypeName(), row.qmlName);
    EXPECT_EQ(control->GetTypeNumber(), row.type) << row.code;
    EXPECT_EQ(dynamic_cast<IControlGroup*>(control.get()) != nullptr, row.screen || row.type == 22) << row.code;

    QmlGenerator generator(Data());
    control->SetStream(&generator);
    EXPECT_TRUE(control->Generate()) << row.code;
    const std::string id = row.code + std::to_string(ref);
    const std::string head = std::string(row.qmlName) + " {\nid: " + id + "\nobjectName: \"" + id + "\"\n";
    EXPECT_NE(StreamText(generator).find(head), std::string::npos) << row.code;
  }
}

}  // namespace
}  // namespace prt::test
