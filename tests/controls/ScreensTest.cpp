#include <gtest/gtest.h>

#include "controls/ControlFactory.h"
#include "controls/IControlGroup.h"
#include "controls/ScreenDocument.h"
#include "controls/Screens.h"
#include "tests/controls/ControlsTestSupport.h"

namespace prt::test {
namespace {

constexpr char kImports[] =
    "import QtQuick\nimport QtQuick.Controls\nimport Qt.labs.qmlmodels\nimport VantorelV5\n"
    "import \"qrc:/\"\n\n";
constexpr char kClose[] = "\n}\n\n";
constexpr char kPage[] = R"({"type": "page", "text": "Start", "w": 800, "h": 480)";

// The head and base lines of a 10 by 10 element at (0, 0).
std::string Head(const std::string& qml, const std::string& code, uint32_t ref, const std::string& text,
                 uint32_t root = kPage0) {
  const std::string id = code + std::to_string(ref);
  return qml + " {\nid: " + id + "\nobjectName: \"" + id + "\"\nobjID: " + std::to_string(ref) +
         "\nrootObjID: " + std::to_string(root) + "\ncontrolName: \"" + text +
         "\"\nx: 0\ny: 0\nz: 500\nwidth: 10\nheight: 10\n";
}
std::string Leaf(const std::string& qml, const std::string& code, uint32_t ref, const std::string& text) {
  return Head(qml, code, ref, text) + kClose;
}
std::string ButtonText(uint32_t index, const std::string& text) {
  return Leaf("OrvixButton", "bttn", Reference(29, index), text);
}

const std::string kPageHead = std::string(kImports) +
    "OrvixPage {\nid: page16777216\nobjectName: \"page16777216\"\nobjID: 16777216\nrootObjID: 16777216\n"
    "controlName: \"Start\"\nx: 0\ny: 0\nz: 500\nwidth: 800\nheight: 480\n";

TEST(ScreensTest, Backgrounds) {
  const auto stop = [](const char* at, const char* color) {
    return "GradientStop {\nposition: " + std::string(at) + "\ncolor: \"" + color + "\"\n}\n";
  };
  const std::string white = "color: \"#ffffffff\"\ngradient: Gradient {\norientation: Qt.";
  const std::string to03 = stop("0.30000001192092896", "#ffffffff") + stop("1.00000000000000000", "#ff000000") + "}\n";
  const struct { const char* fill; std::string lines; } cases[] = {
      {R"({"count": 0, "colors": ["#ffffffff"]})", ""},
      {R"({"positions": [0, 1], "colors": ["#40102030"]})", "color: \"#40102030\"\n"},
      {R"({"orientation": 1, "stops": [[0.3, "#ffffffff"], [1, "#ff000000"]]})", white + "Horizontal\n" + to03},
      // Three positions but a colour count of 2: the positions decide.
      {R"({"count": 2, "orientation": 0, "stops": [[0, "#ffffffff"], [0.5, "#ff000000"], [1, "#ffffffff"]]})",
       white + "Vertical\n" + stop("0.00000000000000000", "#ffffffff") + stop("0.50000000000000000", "#ff000000") +
           stop("1.00000000000000000", "#ffffffff") + "}\n"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(LoadScreens(kPage + std::string(", \"background\": ") + c.fill + "}"));
    EXPECT_EQ(GenerateScreen(kPage0).text, kPageHead + c.lines + "\n" + kClose) << c.fill;
  }
}

TEST(ScreensTest, NestedContainersKeepLinkOrder) {
  ASSERT_TRUE(LoadScreens(kPage + std::string(R"(, "background": {}, "children": [
      {"type": "button", "index": 0, "text": "first", "w": 10, "h": 10},
      {"type": "container", "index": 0, "text": "outer", "w": 10, "h": 10, "children": [
        {"type": "button", "index": 1, "text": "in outer", "w": 10, "h": 10},
        {"type": "container", "index": 1, "text": "inner", "w": 10, "h": 10, "children": [
          {"type": "switch", "text": "in inner", "w": 10, "h": 10}]},
        {"type": "button", "index": 2, "text": "after inner", "w": 10, "h": 10}]},
      {"type": "button", "index": 3, "text": "last", "w": 10, "h": 10}]})")));
  const std::string expected =
      kPageHead + "\n" + ButtonText(0, "first") + Head("OrvixContainer", "ctnr", Reference(22, 0), "outer") +
      "\n" + ButtonText(1, "in outer") + Head("OrvixContainer", "ctnr", Reference(22, 1), "inner") + "\n" +
      Leaf("OrvixSwitch", "swth", Reference(21, 0), "in inner") + kClose + ButtonText(2, "after inner") + kClose +
      ButtonText(3, "last") + kClose;
  const Written w = GenerateScreen(kPage0);
  EXPECT_TRUE(w.ok);
  EXPECT_EQ(w.text, expected);
}

// Links with present flag 0 are skipped (a template among them sets no
// useTemplate); any other flag counts. Links to types without a control, and
// to no object at all, write nothing.
TEST(ScreensTest, LinksWithoutControls) {
  ASSERT_TRUE(LoadScreens(R"({"type": "template", "label": "T"},
      {"type": "button", "index": 1, "label": "S", "text": "shown", "w": 10, "h": 10},
      {"type": "page", "text": "Start", "w": 800, "h": 480, "background": {},
       "children": [{"type": "button", "index": 0, "linked": false}, {"type": 41}, {"type": 53},
                    {"type": 40, "shape": 9}],
       "links": [{"target": "T", "present": 0}, {"target": "0x63000004"}, {"target": "S", "present": 2},
                 {"target": "M"}]},
      {"type": "container", "links": [{"target": "S"}]},
      {"type": "switch", "label": "M", "ownReference": "0x16000000", "w": 10, "h": 10})"));
  // A record that calls itself a container behind a link to a switch: the
  // container's links are not followed.
  const Written w = GenerateScreen(kPage0);
  EXPECT_TRUE(w.ok);
  EXPECT_EQ(w.text, kPageHead + "\n" + ButtonText(1, "shown") + Head("OrvixContainer", "ctnr", Reference(22, 0), "22#0") +
                        "\n" + kClose + kClose);
}

// A child whose generation fails after writing its element.
class FailingControl final : public IControl {
 public:
  FailingControl() : IControl("OrvixBroken", "brkn", 99, RecordOf(Reference(29, 0))) {}
  bool WriteProperties() override { return false; }
};

TEST(ScreensTest, FailingChildFailsTheScreenButTheRestIsWritten) {
  for (const uint32_t ref : {kPage0, Reference(71, 0)}) {
    ASSERT_TRUE(LoadScreens(kPage + std::string(R"(}, {"type": "popup", "w": 10, "h": 10},
        {"type": "button", "text": "one", "w": 10, "h": 10},
        {"type": "button", "text": "two", "w": 10, "h": 10})")));
    const ControlPtr screen = CreateScreen(RecordOf(ref));
    auto& group = dynamic_cast<IControlGroup&>(*screen);
    group.AddChild(CreateControl(RecordOf(Reference(29, 0))));
    group.AddChild(std::make_shared<FailingControl>());
    group.AddChild(CreateControl(RecordOf(Reference(29, 1))));
    QmlGenerator generator(Data());
    EXPECT_FALSE(WriteScreenDocument(*screen, generator)) << ref;
    const std::string text = StreamText(generator);
    const std::string broken = Head("OrvixBroken", "brkn", Reference(29, 0), "one", ref) + kClose;
    const std::string two = Head("OrvixButton", "bttn", Reference(29, 1), "two", ref) + kClose;
    EXPECT_NE(text.find(broken + two), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with(kClose)) << text;
  }
}

TEST(ScreensTest, LoadingFailures) {
  ControlBudget budget(0);
  // A container linking to itself, and a page holding a pair that link to each other.
  ASSERT_TRUE(LoadScreens(R"({"type": "container", "label": "self", "links": [{"target": "self"}]},
      {"type": "container", "index": 1, "label": "a", "links": [{"target": "b"}]},
      {"type": "container", "index": 2, "label": "b", "links": [{"target": "a"}]},
      {"type": "page", "children": [{"type": "button", "text": "kept"}], "links": [{"target": "a"}]})"));
  EXPECT_FALSE(Container{ImageRef()}.LoadChildren(Data()));
  const ControlPtr selfLinked = CreateControl(RecordOf(Reference(22, 0)));
  EXPECT_FALSE(dynamic_cast<IControlGroup&>(*selfLinked).LoadChildren(Data()));
  const ControlPtr screen = CreateScreen(RecordOf(kPage0));
  auto& group = dynamic_cast<IControlGroup&>(*screen);
  EXPECT_EQ(group.LoadChildren(Data(), budget).Error().rule, "ctnr369098753 contains itself");
  // The children loaded before the failure stay; the failing group is not added.
  ASSERT_EQ(group.Children().size(), 1u);
  EXPECT_EQ(group.Children()[0]->GetObjID(), Reference(29, 0));
}

TEST(ScreensTest, BudgetInWords) {
  EXPECT_EQ(ControlBudget(12288).Exceeded().rule,
            "the control trees exceed 67,072 controls, the limit for a data set of 12,288 bytes");
}

TEST(ScreensTest, ReportPageWritesNoPropertiesOfItsOwn) {
  ASSERT_TRUE(LoadScreens(
      R"({"type": "reportpage", "index": 1, "text": "Report", "w": 10, "h": 10, "background": "#ffffffff",
      "children": [{"type": "alarmreport", "text": "alarms", "w": 10, "h": 10}]})"));
  const uint32_t report = Reference(53, 1);
  const Written w = GenerateScreen(report);
  EXPECT_TRUE(w.ok);
  EXPECT_EQ(w.text, kImports + Head("OrvixReportPage", "rppg", report, "Report", report) + "\n" +
                        Head("OrvixAlarmReport", "almr", Reference(54, 0), "alarms", report) + kClose +
                        kClose);
}

}  // namespace
}  // namespace prt::test

