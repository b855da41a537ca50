// qml-preview on a converted builder project: pictures at the screens' sizes
// whose pixels show the frames where the document puts them.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include "tests/support/Dataset.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

namespace fs = std::filesystem;

constexpr char kProject[] = R"({
  "languages": [{"id": 1033, "fonts": [0]}],
  "fonts": [{"face": "Sans", "size": 12}],
  "screens": [
    {"type": "page", "text": "Start", "x": 0, "y": 0, "w": 320, "h": 240, "background": "#ff336699",
     "children": [
       {"type": "button", "text": "Go", "x": 40, "y": 30, "w": 100, "h": 50},
       {"type": "button", "text": "Secret", "x": 160, "y": 120, "w": 120, "h": 60, "hidden": true}]},
    {"type": "popup", "text": "Dialog", "x": 50, "y": 40, "w": 200, "h": 150, "background": "#ffeeeeee",
     "borderColor": "#ff808080", "borderWidth": 2,
     "title": {"icon": -1, "textId": 0, "textColor": "#ff000000", "background": "#ffc0c0c0",
               "font": [0, 0], "height": 24, "closeButton": true}}
  ]
})";
constexpr char kPage[] = "page16777216";
constexpr char kPopup[] = "pops1191182336";
const QColor kFrame(0x00, 0x50, 0xc8);
const QColor kPageBackground(0x33, 0x66, 0x99);

// The project converted twice (plain and enciphered) and previewed once
// each; all tests read the same pictures.
class Preview : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = std::make_unique<test::TempDir>();
    for (const char* kind : {"plain", "enciphered"}) {
      fs::create_directories(*dir / kind);
      test::WriteDataset(*dir / kind / "p.prt", kProject);
      std::vector<std::string> args = {"p.prt"};
      if (std::string(kind) == "enciphered") args.push_back("-e");
      const auto converted = test::Run(PRT2QML_PATH, args, *dir / kind);
      ASSERT_EQ(converted.exitStatus, 0) << converted.err;
    }
    // A cache of another screen beside the page: only the text may be used.
    fs::copy_file(*dir / "plain/qmls" / (std::string(kPopup) + ".qmlc"),
                  *dir / "plain/qmls" / (std::string(kPage) + ".qmlc"), fs::copy_options::overwrite_existing);
    plain = test::Run(QML_PREVIEW_PATH, {"plain/qmls", "-o", "plain/pictures"}, dir->Path());
    enciphered = test::Run(QML_PREVIEW_PATH, {"enciphered/qmls"}, dir->Path());
  }
  static void TearDownTestSuite() { dir.reset(); }
  void SetUp() override {
    if (plain.exitStatus == 3) GTEST_SKIP() << "QML runtime modules missing: " << plain.err;
  }
  static QImage Picture(const fs::path& path) { return QImage(QString::fromStdString(path.string())); }

  static inline std::unique_ptr<test::TempDir> dir;
  static inline test::ProcessResult plain, enciphered;
};

// One picture per document at the screen's size, read from the text (the
// page's cache is another screen's), whose pixels show the frames where the
// document puts them.
TEST_F(Preview, PicturesShowTheFramesAtTheControlsGeometry) {
  ASSERT_EQ(plain.exitStatus, 0) << plain.err;
  EXPECT_NE(plain.err.find("[1/2] page16777216.qml: 320x240, loaded the text"), std::string::npos) << plain.err;
  EXPECT_NE(test::ReadFile(*dir / "plain/pictures/index.html").find("href=\"page16777216.png\""), std::string::npos);
  const QImage page = Picture(*dir / "plain/pictures" / (std::string(kPage) + ".png"));
  const QImage popup = Picture(*dir / "plain/pictures" / (std::string(kPopup) + ".png"));
  EXPECT_EQ(page.size(), QSize(320, 240));
  ASSERT_EQ(popup.size(), QSize(200, 150));
  const struct { const QImage* image; int x, y; QColor colour; const char* what; } cases[] = {
      {&page, 0, 0, kPageBackground, "page background, top left"},
      {&page, 319, 239, kPageBackground, "page background, bottom right"},
      {&page, 40, 30, kFrame, "button frame, top left"},
      {&page, 139, 79, kFrame, "button frame, bottom right"},
      {&page, 39, 30, kPageBackground, "left of the button"},
      {&page, 140, 79, kPageBackground, "right of the button"},
      {&page, 138, 78, kPageBackground, "inside the button"},
      {&popup, 0, 0, QColor(0x80, 0x80, 0x80), "popup border"},
      {&popup, 2, 25, QColor(0xc0, 0xc0, 0xc0), "title bar"},
      {&popup, 100, 140, QColor(0xee, 0xee, 0xee), "popup background"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.image->pixelColor(c.x, c.y), c.colour) << c.what;
  // The hidden button (120x60): every other pixel along its top and left
  // edge, short of the bottom row, whose dash starts at the corner.
  for (int i = 0; i < 59; ++i) {
    const QColor expected = i % 2 == 0 ? kFrame : kPageBackground;
    EXPECT_EQ(page.pixelColor(160 + i, 120), expected) << "hidden top edge +" << i;
    EXPECT_EQ(page.pixelColor(160, 120 + i), expected) << "hidden left edge +" << i;
  }
}

TEST_F(Preview, EncipheredDocumentsGiveTheSamePictures) {
  ASSERT_EQ(enciphered.exitStatus, 0) << enciphered.err;
  EXPECT_NE(enciphered.err.find("loaded the deciphered text"), std::string::npos) << enciphered.err;
  for (const std::string name : {kPage, kPopup}) {
    const QImage expected = Picture(*dir / "plain/pictures" / (name + ".png"));
    EXPECT_FALSE(expected.isNull()) << name;
    EXPECT_EQ(Picture(*dir / "enciphered/qmls-preview" / (name + ".png")), expected) << name;
  }
}

TEST_F(Preview, ABrokenDocumentIsListedAndFailsTheRun) {
  test::TempDir broken;
  fs::create_directories(broken / "qmls");
  fs::copy_file(*dir / "plain/qmls" / (std::string(kPopup) + ".qml"), broken / "qmls/good.qml");
  test::WriteFile(broken / "qmls/bad.qml", "import QtQuick\nimport VantorelV5\nOrvixPage {\nwidth: 10\nnoSuchProperty: 1\n}\n");
  test::WriteFile(broken / "qmls/huge.qml", "import QtQuick\nItem { width: 5000; height: 10 }\n");
  test::WriteFile(broken / "qmls/junk.qml", "12345678 not text");
  const auto r = test::Run(QML_PREVIEW_PATH, {"qmls"}, broken.Path());
  EXPECT_EQ(r.exitStatus, 4) << r.err;
  EXPECT_NE(r.err.find("3 of 4 documents failed to load:\n"
                       "  bad.qml:5:1: Cannot assign to non-existent property \"noSuchProperty\"\n"
                       "  huge.qml: the screen size 5000x10 is outside 1..4096\n"
                       "  junk.qml is neither QML text nor an enciphered document\n"),
            std::string::npos) << r.err;
  EXPECT_TRUE(fs::exists(broken / "qmls-preview/good.png"));
  for (const char* name : {"bad.png", "huge.png", "junk.png"}) EXPECT_FALSE(fs::exists(broken / "qmls-preview" / name));
}

// Every type the converter writes has a stand-in component (a missing one
// would make each document using it fail with "is not a type"), and the
// bundled example previews whole: every screen without an error, each
// picture at the size its document gives its root.
TEST_F(Preview, EveryControlTypeAndTheExampleProjectPreviewWhole) {
  std::string children;
  for (const char* type : {"iofield", "bar", "textfield", "graphic", "symbolicio", "switch", "container",
                           "alarmview", "alarmindicator", "trendview", "button", "userview", "recipeview",
                           "diagnosticview", "alarmreport", "recipereport", "tableview", "graphicio", "datetime",
                           "gifplayer", "xytrend", "alarmbar", "systemview", "camview", "polyline", "ellipse",
                           "rectangle", "polygon", "flowblock"})
    children += std::string(children.empty() ? "" : ",") + R"({"type": ")" + type +
                R"(", "x": 4, "y": 4, "w": 40, "h": 30})";
  const struct { std::string json; int documents; } projects[] = {
      {R"({"screens": [{"type": "template", "label": "t", "x": 0, "y": 0, "w": 100, "h": 80},
          {"type": "page", "template": "t", "x": 0, "y": 0, "w": 100, "h": 80, "children": [)" + children + R"(]},
          {"type": "reportpage", "x": 0, "y": 0, "w": 100, "h": 80}]})", 3},
      {test::ReadFile(fs::path(PRT_SOURCE_DIR) / "examples/plant/plant.json"), 7},
  };
  for (const auto& p : projects) {
    test::TempDir project;
    test::WriteDataset(project / "p.prt", p.json);
    ASSERT_EQ(test::Run(PRT2QML_PATH, {"p.prt"}, project.Path()).exitStatus, 0);
    const auto r = test::Run(QML_PREVIEW_PATH, {"qmls", "-o", "pictures"}, project.Path());
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    int documents = 0;
    for (const auto& entry : fs::directory_iterator(project / "qmls")) {
      if (entry.path().extension() != ".qml") continue;
      ++documents;
      const std::string text = test::ReadFile(entry.path());
      auto first = [&](const std::string& key) { return std::stoi(text.substr(text.find("\n" + key) + key.size() + 1)); };
      const QImage image = Picture(project / "pictures" / entry.path().filename().replace_extension(".png"));
      EXPECT_EQ(image.size(), QSize(first("width: "), first("height: "))) << entry.path();
    }
    EXPECT_EQ(documents, p.documents);
  }
}

}  // namespace
}  // namespace prt
