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

// page.qml and template.qml: the converter's own files (EndToEnd).
TEST(GoldenTest, Popups) {
  for (const auto& [file, json] : {std::pair{"popup.qml", PopupJson()}, {"popup-notitle.qml", PopupJson("")},
                                   {"popup-notitle-noborder.qml", PopupJson("", 0)}}) {
    ASSERT_TRUE(Load(json)) << file;
    const Written w = GenerateScreen(Reference(71, 2));
    EXPECT_TRUE(w.ok) << file;
    ExpectGolden(file, w.text);
  }
}

}  // namespace
}  // namespace prt::test
