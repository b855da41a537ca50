#include <gtest/gtest.h>

#include "tests/controls/ControlsTestSupport.h"

namespace prt::test {
namespace {

constexpr uint32_t kPopup = Reference(71, 2);

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Title and offset item lines beyond the three documents in golden/.
TEST(PopupTest, TitleAndOffsetLines) {
  struct Case { std::string title; int border; std::vector<std::string> present; };
  const std::string icon = "titleIcon: \"image://OrvixImageProvider/";
  const std::string language = "_\" +  OrvixQG.dmLangIndex\n";
  const Case cases[] = {
      {R"({"icon": -1, "textId": 42})", 2, {"titleVisible: true\ntitleIconVisible: false\ntitleText: "}},
      {R"({"icon": 0})", 2, {icon + "0" + language + "titleIconVisible: true\n"}},
      {R"({"icon": -2})", 2, {icon + "4294967294" + language}},
      {R"({"textId": 4294967295})", 2, {"return OrvixQG.getQString(4294967295)}\n"}},
      {R"({"flags": 254})", 2, {"closeButtonVisible: false\n"}},  // only bit 0 shows the close button
      {R"({"height": 65535, "closeButton": true})", 2,
       {"closeButtonVisible: true\ntitleHeight: 65535\n", "y: -65537\n", "topOffset: 65537\n"}},
      {R"({"height": 30})", 0,
       {"x: 0\ny: -30\nwidth: 400\nheight: 300\nreadonly property real topOffset: 30\n"
        "readonly property var objID: -1\n"}},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Load(PopupJson(c.title, c.border, "")));
    const std::string text = GenerateScreen(kPopup).text;
    for (const std::string& p : c.present) EXPECT_TRUE(Has(text, p)) << c.title << ": " << p << "\n" << text;
  }
}

TEST(PopupTest, FailedFontLeavesOutOnlyTheFontArray) {
  ASSERT_TRUE(Load(PopupJson(kPopupTitle, 2, kOkButton, "null")));
  const Written w = GenerateScreen(kPopup);
  EXPECT_EQ(w.notices, "GetCurrentLanguageFontInfo failed!");
  EXPECT_TRUE(w.ok);
  EXPECT_TRUE(Has(w.text, "popupHeight: 300\ntitleVisible: true\ntitleIcon: ")) << w.text;
}

// Writing the title's font array selects every language in turn, so the
// texts written after it come from the last one.
TEST(PopupTest, LaterTextsComeFromTheLastLanguageSelected) {
  std::string json = PopupJson(kPopupTitle, 2, R"({"type": "button", "text": ["OK", "Gut"], "w": 100, "h": 40})");
  const std::string oneLanguage = R"({"fonts": [0], "selectors": [0]})";
  json.replace(json.find(oneLanguage), oneLanguage.size(), oneLanguage + ", " + oneLanguage);
  ASSERT_TRUE(Load(json));
  const std::string text = GenerateScreen(kPopup).text;
  EXPECT_TRUE(Has(text,
                  "fontArray: [\nQt.font({family:\"Sans\",pointSize:12}),\n"
                  "Qt.font({family:\"Sans\",pointSize:12}),\n]\n\n"))
      << text;
  EXPECT_TRUE(Has(text, "controlName: \"Settings\"\n"));
  EXPECT_TRUE(Has(text, "controlName: \"Gut\"\n")) << text;
}

}  // namespace
}  // namespace prt::test
