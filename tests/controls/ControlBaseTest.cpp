#include <gtest/gtest.h>

#include "controls/LeafControls.h"
#include "tests/controls/ControlsTestSupport.h"

namespace prt::test {
namespace {

constexpr uint32_t kButton5 = Reference(29, 5);

std::string ButtonJson(const std::string& text, const std::string& more = "") {
  return R"({"type": "button", "index": 5, "text": )" + text + R"(, "x": 10, "y": 20, "w": 120, "h": 40)" +
         more + "}";
}

// Moved to (-w, -h) by flag bits 4 and 5, or by bit 13 with a set
// sub-record word; a visible line for bit 15 with a non-zero word 8.
TEST(ControlBaseTest, HideAndVisibleRules) {
  // sub: the sub-record word; -1: no sub-record.
  const struct { uint32_t flags, word8; int sub; bool moved, visibleLine; } cases[] = {
      {0, 0, -1, false, false},
      {0x10, 0, -1, true, false},
      {0x20, 0, -1, true, false},
      {0x2000, 0, -1, false, false},
      {0x2000, 0, 0, false, false},
      {0x2000, 0, 7, true, false},
      {0, 0, 7, false, false},
      {0x4FC8, 0, 7, false, false},  // the neighbouring bits
      {0x8000, 1, -1, false, true},
      {0x8000, 0xFFFFFFFF, -1, false, true},
      {0x8000, 0, -1, false, false},
      {0, 1, -1, false, false},
      {0x7FFF, 1, -1, true, false},
  };
  for (const auto& c : cases) {
    const std::string sub = c.sub < 0 ? "" : ", \"subRecord\": " + std::to_string(c.sub);
    ASSERT_TRUE(LoadScreens(ButtonJson("\"B\"", ", \"flags\": " + std::to_string(c.flags) +
                                                    ", \"word8\": " + std::to_string(c.word8) + sub)));
    const std::string text = GenerateControl(kButton5).text;
    const std::string position = c.moved ? "x: -120\ny: -40\n" : "x: 10\ny: 20\n";
    EXPECT_NE(text.find(position + "z: 500\nwidth: 120\nheight: 40\n"), std::string::npos)
        << std::hex << c.flags << "\n" << text;
    EXPECT_EQ(text.find("visible: false\n") != std::string::npos, c.visibleLine) << std::hex << c.flags;
  }
}

TEST(ControlBaseTest, PageNeverGetsVisibleLineButTemplateDoes) {
  ASSERT_TRUE(LoadScreens(R"({"type": "page", "hidden": true}, {"type": "template", "hidden": true, "w": 8, "h": 4})"));
  EXPECT_EQ(GenerateScreen(kPage0).text.find("visible:"), std::string::npos);
  EXPECT_NE(GenerateScreen(Reference(38, 0)).text.find("height: 4\nvisible: false\n"), std::string::npos);
}

TEST(ControlBaseTest, ControlNameTexts) {
  const struct { const char* json; std::u16string line; } cases[] = {
      {"null", u"controlName: \"29#5\"\n"},  // no text: the placeholder
      {R"("a\"b\\c")", u"controlName: \"a\\\"b\\\\c\"\n"},
      {R"("Pump \ud83d\ude00")", u"controlName: \"Pump \U0001F600\"\n"},  // kept as a pair here
      {R"("K\u00fchler")", u"controlName: \"K\u00FChler\"\n"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(LoadScreens(ButtonJson(c.json))) << c.json;
    const Written w = GenerateControl(kButton5);
    EXPECT_NE(w.wide.find(c.line), std::u16string::npos) << c.json << "\n" << w.text;
  }
}

}  // namespace
}  // namespace prt::test
