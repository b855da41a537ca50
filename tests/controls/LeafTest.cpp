#include <gtest/gtest.h>

#include <climits>

#include "tests/controls/ControlsTestSupport.h"

namespace prt::test {
namespace {

std::string Object(const std::string& type, int32_t w, int32_t h, const std::string& more = "") {
  return R"({"type": )" + type + R"(, "index": 7, "x": 7, "y": 8, "w": )" + std::to_string(w) +
         ", \"h\": " + std::to_string(h) + more + "}";
}

// A trend view is written at most 1024 by 1024; when hidden it still moves
// by its full size.
TEST(LeafTest, TrendViewSizeIsCapped) {
  // lines: from x to the end.
  const struct { const char* type; int32_t w, h; const char* more; std::string lines; } cases[] = {
      {"28", 1024, 1024, "", "7\ny: 8\nz: 500\nwidth: 1024\nheight: 1024"},
      {"28", 1025, 4000, "", "7\ny: 8\nz: 500\nwidth: 1024\nheight: 1024"},
      {"28", 800, 2000, "", "7\ny: 8\nz: 500\nwidth: 800\nheight: 1024"},
      {"28", -5, -2000000, "", "7\ny: 8\nz: 500\nwidth: -5\nheight: -2000000"},
      {"28", INT_MAX, INT_MIN, "", "7\ny: 8\nz: 500\nwidth: 1024\nheight: -2147483648"},
      {"28", 1500, 300, R"(, "flags": 32)", "-1500\ny: -300\nz: 500\nwidth: 1024\nheight: 300"},
      {"68", 1500, 1500, "", "7\ny: 8\nz: 500\nwidth: 1500\nheight: 1500"},  // the XY view is not capped
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(LoadScreens(Object(c.type, c.w, c.h, c.more)));
    const std::string text = GenerateControl(Reference(std::stoi(c.type), 7)).text;
    EXPECT_TRUE(text.ends_with("\nx: " + c.lines + "\n\n}\n\n")) << c.w << "x" << c.h << "\n" << text;
  }
}

}  // namespace
}  // namespace prt::test
