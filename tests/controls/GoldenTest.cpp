// Every worked example, byte for byte against the files in golden/.
#include <gtest/gtest.h>

#include "tests/controls/ControlsTestSupport.h"

namespace prt::test {
namespace {

constexpr const char* kButton =
    R"({"type": "button", "index": 5, "text": "Start \"A\"", "x": 10, "y": 20, "w": 120, "h": 40)";

TEST(GoldenTest, Elements) {
  const struct { const char* file; uint32_t reference; std::string object; } cases[] = {
      {"button.qml", Reference(29, 5), kButton + std::string("}")},
      {"button-hidden.qml", Reference(29, 5), kButton + std::string(R"(, "outside": true})")},
      {"button-invisible.qml", Reference(29, 5), kButton + std::string(R"(, "hidden": true})")},
      {"switch.qml", Reference(21, 3),
       R"({"type": "switch", "index": 3, "text": "Pump", "x": 40, "y": 60, "w": 80, "h": 30})"},
      {"trendview.qml", Reference(28, 1),
       R"({"type": "trendview", "index": 1, "text": "Trend1", "w": 1280, "h": 600})"},
      {"circle.qml", Reference(40, 7),
       R"({"type": "ellipse", "index": 7, "text": "Lamp", "x": 200, "y": 120, "w": 50, "h": 50})"},
      {"ellipse.qml", Reference(40, 7),
       R"({"type": "ellipse", "index": 7, "text": "Lamp", "x": 200, "y": 120, "w": 60, "h": 50})"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(LoadScreens(c.object)) << c.file;
    const Written w = GenerateControl(c.reference);
    EXPECT_TRUE(w.ok) << c.file;
    ExpectGolden(c.file, w.text);
  }
}

TEST(GoldenTest, Documents) {
  const struct { const char* file; uint32_t reference; std::string json; } cases[] = {
      {"page.qml", kPage0,
       R"({"screens": [{"type": "template", "label": "T", "w": 800, "h": 480},
          {"type": "page", "text": "Start", "w": 800, "h": 480, "template": "T",
           "background": {"orientation": 2, "stops": [[0, "#ffffffff"], [1, "#ff000000"]]},
           "children": [)" +
           std::string(kButton) + "}]}]}"},
      {"template.qml", Reference(38, 0),
       R"({"screens": [{"type": "template", "text": "T", "w": 800, "h": 480}]})"},
      {"popup.qml", Reference(71, 2), PopupJson()},
      {"popup-notitle.qml", Reference(71, 2), PopupJson("")},
      {"popup-notitle-noborder.qml", Reference(71, 2), PopupJson("", 0)},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(Load(c.json)) << c.file;
    const Written w = GenerateScreen(c.reference);
    EXPECT_TRUE(w.ok) << c.file;
    ExpectGolden(c.file, w.text);
  }
}

}  // namespace
}  // namespace prt::test
