#include <gtest/gtest.h>

#include "controls/ControlFactory.h"
#include "controls/LeafControls.h"
#include "controls/Screens.h"
#include "controls/ScreenDocument.h"
#include "tests/controls/ControlsTestSupport.h"

namespace prt::test {
namespace {

using builder::Colour;
using builder::Gradient;

constexpr uint32_t kPage0 = Reference(1, 0);
constexpr Colour kWhite = {0xff, 0xff, 0xff, 0xff};
constexpr Colour kBlack = {0x00, 0x00, 0x00, 0xff};

constexpr char kImports[] =
    "import QtQuick\nimport QtQuick.Controls\nimport Qt.labs.qmlmodels\nimport VantorelV5\n"
    "import \"qrc:/\"\n\n";

// The head and base lines of a 10 by 10 element at (0, 0) on page 0.
std::string Head(const std::string& qml, const std::string& code, uint32_t ref, const std::string& text) {
  const std::string id = code + std::to_string(static_cast<int32_t>(ref));
  return qml + " {\nid: " + id + "\nobjectName: \"" + id + "\"\nobjID: " +
         std::to_string(static_cast<int32_t>(ref)) + "\nrootObjID: 16777216\ncontrolName: \"" + text +
         "\"\nx: 0\ny: 0\nz: 500\nwidth: 10\nheight: 10\n";
}
std::string LeafElement(const std::string& qml, const std::string& code, uint32_t ref,
                        const std::string& text) {
  return Head(qml, code, ref, text) + "\n}\n\n";
}
constexpr char kClose[] = "\n}\n\n";

ObjectId AddPage(Scene& scene, std::vector<Field> extra = {}) {
  return scene.Add(1, 0, u"Start", {0, 0, 800, 480}, std::move(extra));
}

std::string PageHead() {
  return std::string(kImports) +
         "OrvixPage {\nid: page16777216\nobjectName: \"page16777216\"\nobjID: 16777216\n"
         "rootObjID: 16777216\ncontrolName: \"Start\"\nx: 0\ny: 0\nz: 500\nwidth: 800\nheight: 480\n";
}

TEST(ScreensTest, PageDocument) {
  Scene scene;
  Gradient fill;
  fill.orientation = 2;
  fill.positions = std::vector<float>{0.0f, 1.0f};
  fill.colours = std::vector<Colour>{kWhite, kBlack};
  const ObjectId page = AddPage(scene, scene.Project().GradientFields(36, fill));
  const ObjectId tmpl = scene.Add(38, 0, u"T", {0, 0, 800, 480});
  const ObjectId button = scene.Add(29, 5, u"Start \"A\"", {10, 20, 120, 40});
  scene.Link(page, tmpl);
  scene.Link(page, button);
  ASSERT_TRUE(scene.Load());
  const Written w = GenerateScreen(kPage0);
  EXPECT_TRUE(w.ok);
  ExpectGolden("page.qml", w.text);
}

TEST(ScreensTest, PageWithoutLinks) {
  Scene scene;
  AddPage(scene);
  ASSERT_TRUE(scene.Load());
  const Written w = GenerateScreen(kPage0);
  EXPECT_TRUE(w.ok);
  EXPECT_EQ(w.text, PageHead() + "\n" + kClose);
}

TEST(ScreensTest, TemplateLinks) {
  struct Case {
    const char* name;
    uint8_t present;
    bool useTemplate;
  };
  const Case cases[] = {{"present", 1, true}, {"present flag 0", 0, false}, {"present flag 2", 2, true}};
  for (const Case& c : cases) {
    Scene scene;
    const ObjectId page = AddPage(scene);
    scene.Link(page, scene.Add(38, 0, u"T", {0, 0, 800, 480}), c.present);
    ASSERT_TRUE(scene.Load());
    const Written w = GenerateScreen(kPage0);
    EXPECT_EQ(w.text, PageHead() + (c.useTemplate ? "useTemplate: true\n" : "") + "\n" + kClose) << c.name;
  }
}

TEST(ScreensTest, Backgrounds) {
  struct Case {
    const char* name;
    Gradient fill;
    std::string lines;
  };
  Gradient none;
  none.count = 0;
  none.colours = std::vector<Colour>{kWhite};
  Gradient plain;
  plain.colours = std::vector<Colour>{{0x10, 0x20, 0x30, 0x40}};
  plain.positions = std::vector<float>{0.0f, 1.0f};
  Gradient horizontal;
  horizontal.orientation = 1;
  horizontal.positions = std::vector<float>{0.3f, 1.0f};
  horizontal.colours = std::vector<Colour>{kWhite, kBlack};
  Gradient zero = horizontal;
  zero.orientation = 0;
  // Three positions but a colour count byte of 2: the positions decide.
  Gradient threeStops;
  threeStops.count = 2;
  threeStops.orientation = 2;
  threeStops.positions = std::vector<float>{0.0f, 0.5f, 1.0f};
  threeStops.colours = std::vector<Colour>{kWhite, kBlack, kWhite};

  const std::string stops03 =
      "GradientStop {\nposition: 0.30000001192092896\ncolor: \"#ffffffff\"\n}\n"
      "GradientStop {\nposition: 1.00000000000000000\ncolor: \"#ff000000\"\n}\n}\n";
  const Case cases[] = {
      {"no colour", none, ""},
      {"one colour", plain, "color: \"#40102030\"\n"},
      {"orientation 1 horizontal", horizontal,
       "color: \"#ffffffff\"\ngradient: Gradient {\norientation: Qt.Horizontal\n" + stops03},
      {"orientation 0 vertical", zero,
       "color: \"#ffffffff\"\ngradient: Gradient {\norientation: Qt.Vertical\n" + stops03},
      {"stops from the position count", threeStops,
       "color: \"#ffffffff\"\ngradient: Gradient {\norientation: Qt.Vertical\n"
       "GradientStop {\nposition: 0.00000000000000000\ncolor: \"#ffffffff\"\n}\n"
       "GradientStop {\nposition: 0.50000000000000000\ncolor: \"#ff000000\"\n}\n"
       "GradientStop {\nposition: 1.00000000000000000\ncolor: \"#ffffffff\"\n}\n}\n"},
  };
  for (const Case& c : cases) {
    Scene scene;
    AddPage(scene, scene.Project().GradientFields(36, c.fill));
    ASSERT_TRUE(scene.Load()) << c.name;
    EXPECT_EQ(GenerateScreen(kPage0).text, PageHead() + c.lines + "\n" + kClose) << c.name;
  }
}

TEST(ScreensTest, NestedContainersKeepLinkOrder) {
  Scene scene;
  const ObjectId page = AddPage(scene);
  const ObjectId outer = scene.Add(22, 0, u"outer", {0, 0, 10, 10});
  const ObjectId inner = scene.Add(22, 1, u"inner", {0, 0, 10, 10});
  scene.Link(page, scene.Add(29, 0, u"first", {0, 0, 10, 10}));
  scene.Link(page, outer);
  scene.Link(outer, scene.Add(29, 1, u"in outer", {0, 0, 10, 10}));
  scene.Link(outer, inner);
  scene.Link(inner, scene.Add(21, 0, u"in inner", {0, 0, 10, 10}));
  scene.Link(outer, scene.Add(29, 2, u"after inner", {0, 0, 10, 10}));
  scene.Link(page, scene.Add(29, 3, u"last", {0, 0, 10, 10}));
  ASSERT_TRUE(scene.Load());

  const std::string expected =
      PageHead() + "\n" + LeafElement("OrvixButton", "bttn", Reference(29, 0), "first") +
      Head("OrvixContainer", "ctnr", Reference(22, 0), "outer") + "\n" +
      LeafElement("OrvixButton", "bttn", Reference(29, 1), "in outer") +
      Head("OrvixContainer", "ctnr", Reference(22, 1), "inner") + "\n" +
      LeafElement("OrvixSwitch", "swth", Reference(21, 0), "in inner") + kClose +
      LeafElement("OrvixButton", "bttn", Reference(29, 2), "after inner") + kClose +
      LeafElement("OrvixButton", "bttn", Reference(29, 3), "last") + kClose;
  const Written w = GenerateScreen(kPage0);
  EXPECT_TRUE(w.ok);
  EXPECT_EQ(w.text, expected);
}

TEST(ScreensTest, LinksWithoutControlsLeaveEmptyEntries) {
  Scene scene;
  const ObjectId page = AddPage(scene);
  scene.Link(page, scene.Add(29, 0, u"absent", {0, 0, 10, 10}), 0);  // skipped: no entry
  scene.Link(page, scene.Add(41, 0, u"", {0, 0, 10, 10}));
  scene.Link(page, scene.Add(53, 0, u"", {0, 0, 10, 10}));
  scene.Link(page, scene.Add(40, 0, u"", {0, 0, 10, 10}, {Field::U8(55, 9)}));
  scene.LinkRaw(page, Reference(99, 4));  // no such object
  scene.Link(page, scene.Add(29, 1, u"shown", {0, 0, 10, 10}));
  ASSERT_TRUE(scene.Load());

  const ControlPtr screen = CreateScreen(RecordOf(kPage0));
  auto* group = dynamic_cast<IControlGroup*>(screen.get());
  ASSERT_NE(group, nullptr);
  ASSERT_TRUE(group->LoadChildren());
  ASSERT_EQ(group->Children().size(), 5u);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(group->Children()[i], nullptr) << i;
  ASSERT_NE(group->Children()[4], nullptr);
  EXPECT_EQ(group->Children()[4]->GetObjID(), Reference(29, 1));

  QmlGenerator generator;
  EXPECT_TRUE(WriteScreenDocument(*screen, generator));
  EXPECT_EQ(StreamText(generator),
            PageHead() + "\n" + LeafElement("OrvixButton", "bttn", Reference(29, 1), "shown") + kClose);
}

// A child whose generation fails after writing its element.
class FailingControl final : public IControl {
 public:
  FailingControl() : IControl("OrvixBroken", "brkn", 99, RecordOf(Reference(29, 0))) {}
  bool WriteProperties() override { return false; }
};

TEST(ScreensTest, FailingChildDoesNotStopTheOthers) {
  Scene scene;
  AddPage(scene);
  scene.Add(29, 0, u"one", {0, 0, 10, 10});
  scene.Add(29, 1, u"two", {0, 0, 10, 10});
  ASSERT_TRUE(scene.Load());
  const ControlPtr screen = CreateScreen(RecordOf(kPage0));
  auto* group = dynamic_cast<IControlGroup*>(screen.get());
  ASSERT_NE(group, nullptr);
  group->AddChild(CreateControl(RecordOf(Reference(29, 0))));
  group->AddChild(std::make_shared<FailingControl>());
  group->AddChild(CreateControl(RecordOf(Reference(29, 1))));

  QmlGenerator generator;
  EXPECT_FALSE(WriteScreenDocument(*screen, generator));
  const std::string broken = "OrvixBroken {\nid: brkn486539264\nobjectName: \"brkn486539264\"\n"
                             "objID: 486539264\nrootObjID: 16777216\ncontrolName: \"one\"\n"
                             "x: 0\ny: 0\nz: 500\nwidth: 10\nheight: 10\n\n}\n\n";
  EXPECT_EQ(StreamText(generator), PageHead() + "\n" +
                                       LeafElement("OrvixButton", "bttn", Reference(29, 0), "one") + broken +
                                       LeafElement("OrvixButton", "bttn", Reference(29, 1), "two") + kClose);
}

TEST(ScreensTest, LoadingFailures) {
  Container noRecord{ImageRef()};
  EXPECT_FALSE(noRecord.LoadChildren());

  // A container linking to itself, and a page holding a pair that link to
  // each other.
  Scene scene;
  const ObjectId page = AddPage(scene);
  const ObjectId self = scene.Add(22, 0, u"", {0, 0, 10, 10});
  scene.Link(self, self);
  const ObjectId a = scene.Add(22, 1, u"", {0, 0, 10, 10});
  const ObjectId b = scene.Add(22, 2, u"", {0, 0, 10, 10});
  scene.Link(page, scene.Add(29, 0, u"kept", {0, 0, 10, 10}));
  scene.Link(page, a);
  scene.Link(a, b);
  scene.Link(b, a);
  ASSERT_TRUE(scene.Load());

  const ControlPtr selfLinked = CreateControl(RecordOf(Reference(22, 0)));
  ASSERT_NE(selfLinked, nullptr);
  EXPECT_FALSE(static_cast<IControlGroup&>(*selfLinked).LoadChildren());

  const ControlPtr screen = CreateScreen(RecordOf(kPage0));
  auto& group = static_cast<IControlGroup&>(*screen);
  EXPECT_FALSE(group.LoadChildren());
  // The children loaded before the failure stay; the failing group is not added.
  ASSERT_EQ(group.Children().size(), 1u);
  EXPECT_EQ(group.Children()[0]->GetObjID(), Reference(29, 0));
}

TEST(ScreensTest, SharedLinksCannotGrowTheTreeWithoutBound) {
  // Eighteen containers, each linking twice to the next: 2^18 elements.
  Scene scene;
  const ObjectId page = AddPage(scene);
  ObjectId previous = page;
  for (uint32_t i = 0; i < 18; ++i) {
    const ObjectId container = scene.Add(22, i, u"", {0, 0, 10, 10});
    scene.Link(previous, container);
    if (previous != page) scene.Link(previous, container);
    previous = container;
  }
  ASSERT_TRUE(scene.Load());
  const ControlPtr screen = CreateScreen(RecordOf(kPage0));
  EXPECT_FALSE(static_cast<IControlGroup&>(*screen).LoadChildren());
}

TEST(ScreensTest, ReportPageWritesNoPropertiesOfItsOwn) {
  Scene scene;
  Gradient fill;
  fill.colours = std::vector<Colour>{kWhite};
  const ObjectId report = scene.Add(53, 1, u"Report", {0, 0, 10, 10}, scene.Project().GradientFields(36, fill));
  scene.Link(report, scene.Add(54, 0, u"alarms", {0, 0, 10, 10}));
  ASSERT_TRUE(scene.Load());
  const Written w = GenerateScreen(Reference(53, 1));
  EXPECT_TRUE(w.ok);
  const std::string head = "OrvixReportPage {\nid: rppg889192449\nobjectName: \"rppg889192449\"\n"
                           "objID: 889192449\nrootObjID: 889192449\ncontrolName: \"Report\"\n"
                           "x: 0\ny: 0\nz: 500\nwidth: 10\nheight: 10\n";
  const std::string alarms = "OrvixAlarmReport {\nid: almr905969664\nobjectName: \"almr905969664\"\n"
                             "objID: 905969664\nrootObjID: 889192449\ncontrolName: \"alarms\"\n"
                             "x: 0\ny: 0\nz: 500\nwidth: 10\nheight: 10\n\n}\n\n";
  EXPECT_EQ(w.text, kImports + head + "\n" + alarms + kClose);
}

TEST(ScreensTest, ScreenWithoutOutputWritesNothing) {
  Scene scene;
  AddPage(scene);
  ASSERT_TRUE(scene.Load());
  Page page(RecordOf(kPage0));
  EXPECT_FALSE(page.WriteBegin());
  EXPECT_FALSE(page.WriteProperties());
  EXPECT_FALSE(page.WriteEnd());
  EXPECT_FALSE(page.Generate());
}

}  // namespace
}  // namespace prt::test
