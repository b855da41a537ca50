#include <gtest/gtest.h>

#include <optional>

#include "controls/ControlFactory.h"
#include "controls/PopupScreen.h"
#include "controls/ScreenDocument.h"
#include "data/manager/CPRDataManager.h"
#include "tests/controls/ControlsTestSupport.h"

namespace prt::test {
namespace {

using builder::Colour;
using builder::Gradient;

constexpr uint32_t kPopup = Reference(71, 2);

struct TitleParams {
  int32_t icon = 17;
  uint32_t textId = 42;
  uint16_t height = 30;
  uint8_t flags = 1;
};

struct PopupParams {
  std::optional<TitleParams> title = TitleParams{};
  uint16_t border = 2;
  bool child = true;
  // Font lookups fail: no face block.
  bool brokenFont = false;
};

Gradient OneColour(Colour c) {
  Gradient g;
  g.colours = std::vector<Colour>{c};
  g.positions = std::vector<float>{0.0f};
  return g;
}

// The popup of popup.qml, varied by `params`.
void AddPopup(Scene& scene, const PopupParams& params) {
  builder::ProjectBuilder& project = scene.Project();
  builder::FontRecord font;
  font.size = 12;
  if (!params.brokenFont) font.face = "Sans";
  const uint16_t index = static_cast<uint16_t>(project.AddFont(font));
  project.Languages()[0].fonts = {builder::FontVariants{index, index, index, index}};
  project.Languages()[0].selectors = {0};

  std::vector<Field> fields = project.GradientFields(PopupScreen::kBackground, OneColour({0xff, 0xff, 0xff, 0xff}));
  fields.push_back(Field::Bytes(PopupScreen::kBorderColor, {0x80, 0x80, 0x80, 0xff}));
  fields.push_back(Field::U16(PopupScreen::kBorderWidth, params.border));
  fields.push_back(Field::U16(PopupScreen::kBorderRadius, 4));
  if (params.title) {
    builder::Block title;
    title.label = "title";
    title.size = 32;
    title.fields = project.GradientFields(PopupScreen::kTitleBackground, OneColour({0xc0, 0xc0, 0xc0, 0xff}));
    title.fields.push_back(Field::I32(PopupScreen::kTitleIconId, params.title->icon));
    title.fields.push_back(Field::U32(PopupScreen::kTitleTextId, params.title->textId));
    title.fields.push_back(Field::Bytes(PopupScreen::kTitleTextColor, {0, 0, 0, 0xff}));
    title.fields.push_back(Field::U16(PopupScreen::kTitleFont, 0));
    title.fields.push_back(Field::U16(PopupScreen::kTitleFont + 2, 0));
    title.fields.push_back(Field::U16(PopupScreen::kTitleHeight, params.title->height));
    title.fields.push_back(Field::U8(PopupScreen::kTitleFlags, params.title->flags));
    project.AddBlock(title);
    fields.push_back(Field::Pointer(PopupScreen::kTitle, builder::Ref::To("title")));
  }
  const ObjectId popup = scene.Add(71, 2, u"Settings", {100, 80, 400, 300}, fields);
  if (params.child) scene.Link(popup, scene.Add(29, 5, u"OK", {150, 200, 100, 40}));
}

Written GeneratePopup(const PopupParams& params) {
  Scene scene;
  AddPopup(scene, params);
  if (!scene.Load()) return {};
  return GenerateScreen(kPopup);
}

TEST(PopupTest, Document) {
  const Written w = GeneratePopup({});
  EXPECT_TRUE(w.ok);
  ExpectGolden("popup.qml", w.text);
}

TEST(PopupTest, WithoutTitle) {
  PopupParams params;
  params.title.reset();
  ExpectGolden("popup-notitle.qml", GeneratePopup(params).text);
  params.border = 0;
  ExpectGolden("popup-notitle-noborder.qml", GeneratePopup(params).text);
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(PopupTest, TitleLines) {
  struct Case {
    const char* name;
    TitleParams title;
    std::vector<std::string> present;
    std::vector<std::string> absent;
  };
  const Case cases[] = {
      {"no icon", {-1, 42, 30, 1}, {"titleIconVisible: false\ntitleText: "}, {"titleIcon: "}},
      {"icon 0", {0, 42, 30, 1},
       {"titleIcon: \"image://OrvixImageProvider/0_\" +  OrvixQG.dmLangIndex\ntitleIconVisible: true\n"},
       {}},
      {"negative icon other than -1", {-2, 42, 30, 1},
       {"titleIcon: \"image://OrvixImageProvider/4294967294_\" +  OrvixQG.dmLangIndex\n"}, {}},
      {"all-ones text id", {17, 4294967295u, 30, 1},
       {"titleText: {OrvixQG.dmLangIndex; return OrvixQG.getQString(4294967295)}\n"}, {}},
      {"close button hidden", {17, 42, 30, 0}, {"closeButtonVisible: false\n"}, {}},
      {"only bit 0 shows the close button", {17, 42, 30, 0xFE}, {"closeButtonVisible: false\n"}, {}},
      {"title height", {17, 42, 65535, 1}, {"titleHeight: 65535\n", "y: -65537\n", "topOffset: 65537\n"}, {}},
  };
  for (const Case& c : cases) {
    PopupParams params;
    params.title = c.title;
    const std::string text = GeneratePopup(params).text;
    for (const std::string& p : c.present) EXPECT_TRUE(Has(text, p)) << c.name << ": " << p << "\n" << text;
    for (const std::string& a : c.absent) EXPECT_FALSE(Has(text, a)) << c.name << ": " << a;
  }
}

TEST(PopupTest, OffsetItem) {
  struct Case {
    const char* name;
    std::optional<TitleParams> title;
    uint16_t border;
    std::string item;
    std::pair<int32_t, int32_t> offset;
  };
  const std::string size = "width: 400\nheight: 300\n";
  const Case cases[] = {
      {"title, no border", TitleParams{}, 0,
       "x: 0\ny: -30\n" + size + "readonly property real topOffset: 30\nreadonly property var objID: -1\n",
       {0, -30}},
      {"border, no title", std::nullopt, 3,
       "x: -3\ny: -3\n" + size +
           "readonly property real topOffset: 3\nreadonly property real borderOffset: 3\n"
           "readonly property var objID: -1\n",
       {-3, -3}},
      {"title and border", TitleParams{}, 2,
       "x: -2\ny: -32\n" + size +
           "readonly property real topOffset: 32\nreadonly property real borderOffset: 2\n"
           "readonly property var objID: -1\n",
       {-2, -32}},
  };
  for (const Case& c : cases) {
    PopupParams params;
    params.title = c.title;
    params.border = c.border;
    params.child = false;
    Scene scene;
    AddPopup(scene, params);
    ASSERT_TRUE(scene.Load());
    PopupScreen popup(RecordOf(kPopup));
    EXPECT_TRUE(popup.IsPopup());
    EXPECT_EQ(popup.GetOffset(), c.offset) << c.name;
    const std::string text = GenerateScreen(kPopup).text;
    EXPECT_TRUE(Has(text, "id: controlPosOffsetItem\n" + c.item + "\n\n}\n\nonReleased: ")) << c.name << "\n" << text;
  }
}

TEST(PopupTest, FailedFontLeavesOutOnlyTheFontArray) {
  PopupParams params;
  params.brokenFont = true;
  testing::internal::CaptureStdout();
  const Written w = GeneratePopup(params);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "GetCurrentLanguageFontInfo failed!");
  EXPECT_TRUE(w.ok);
  EXPECT_FALSE(Has(w.text, "fontArray"));
  EXPECT_TRUE(Has(w.text, "popupHeight: 300\ntitleVisible: true\ntitleIcon: "));
}

TEST(PopupTest, LaterTextsComeFromTheLastLanguageSelected) {
  Scene scene;
  builder::ProjectBuilder& project = scene.Project();
  project.AddLanguage(builder::Language{});
  PopupParams params;
  params.child = false;
  AddPopup(scene, params);
  project.Languages()[1].fonts = project.Languages()[0].fonts;
  project.Languages()[1].selectors = project.Languages()[0].selectors;
  project.SetRecordSize(29, builder::ProjectBuilder::kDefaultRecordSize);
  builder::Object button;
  button.type = 29;
  button.index = 5;
  button.label = "ok";
  button.text = project.AddTexts({u"OK", u"Gut"});
  button.fields = {Field::I32(rec::kWidth, 100), Field::I32(rec::kHeight, 40)};
  const ObjectId child = project.AddObject(button);
  scene.Link(*project.FindObject("obj0"), child);
  ASSERT_TRUE(scene.Load());
  ASSERT_EQ(CPRDataManager::GetInstance().GetCurrentLanguageIndex(), 0u);

  const std::string text = GenerateScreen(kPopup).text;
  EXPECT_TRUE(Has(text, "fontArray: [\nQt.font({family:\"Sans\",pointSize:12}),\n"
                        "Qt.font({family:\"Sans\",pointSize:12}),\n]\n\n"))
      << text;
  EXPECT_TRUE(Has(text, "controlName: \"Settings\"\n"));
  EXPECT_TRUE(Has(text, "controlName: \"Gut\"\n")) << text;
  EXPECT_FALSE(Has(text, "controlName: \"OK\"\n"));
}

class FailingControl final : public IControl {
 public:
  explicit FailingControl(ImageRef record) : IControl("OrvixBroken", "brkn", 99, record) {}
  bool WriteProperties() override { return false; }
};

TEST(PopupTest, FailingChildMakesThePopupFailButIsWrittenThrough) {
  Scene scene;
  AddPopup(scene, {});
  ASSERT_TRUE(scene.Load());
  const ControlPtr screen = CreateScreen(RecordOf(kPopup));
  auto& popup = static_cast<IControlGroup&>(*screen);
  ASSERT_TRUE(popup.LoadChildren());
  popup.AddChild(std::make_shared<FailingControl>(RecordOf(Reference(29, 5))));
  QmlGenerator generator;
  EXPECT_FALSE(WriteScreenDocument(*screen, generator));
  const std::string text = StreamText(generator);
  EXPECT_TRUE(Has(text, "OrvixBroken {\nid: brkn486539269\n"));
  EXPECT_TRUE(Has(text, "onReleased: pops1191182338.focusToDialog(1)\n\n}\n\n\n}\n\n")) << text;
}

TEST(PopupTest, WithoutOutputNothingIsWritten) {
  Scene scene;
  AddPopup(scene, {});
  ASSERT_TRUE(scene.Load());
  PopupScreen popup(RecordOf(kPopup));
  EXPECT_FALSE(popup.WriteBegin());
  EXPECT_FALSE(popup.WriteEnd());
  EXPECT_TRUE(popup.WriteProperties());
  EXPECT_FALSE(popup.Generate());
}

}  // namespace
}  // namespace prt::test
