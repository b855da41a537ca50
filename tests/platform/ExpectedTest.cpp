// Built without NDEBUG whatever the build type (see CMakeLists.txt): the
// check on unread results is a debug build's, and these tests are its own.
#include "platform/Expected.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace prt {
namespace {

using Value = Expected<int, std::string>;
using Done = Expected<void, std::string>;

// A result must be tested before it goes: dropped or overwritten unread,
// with a value or an error, it ends the process; tested, or handed on by a
// move to an owner that tests it, it does not.
TEST(ExpectedDeathTest, AResultGoneUntestedEndsTheProcess) {
  const struct { const char* name; std::function<void()> use; bool ends; } cases[] = {
      {"value dropped", [] { Value v = 1; }, true},
      {"error dropped", [] { Value v = Fail(std::string("e")); }, true},
      {"void error dropped", [] { Done d = Fail(std::string("e")); }, true},
      {"void success dropped", [] { Done d; }, true},
      {"overwritten unread", [] { Value v = 1; v = Value(2); static_cast<void>(v.HasValue()); }, true},
      {"moved, the new owner dropped", [] { Value v = 1; Value w = std::move(v); }, true},
      {"tested", [] { Value v = 1; EXPECT_TRUE(v); }, false},
      {"error tested", [] { Done d = Fail(std::string("e")); EXPECT_FALSE(d); }, false},
      {"moved, the new owner tested", [] { Value v = 1; Value w = std::move(v); EXPECT_TRUE(w); }, false},
  };
  for (const auto& c : cases) {
    if (c.ends)
      EXPECT_DEATH(c.use(), "an Expected was destroyed or overwritten before it was tested") << c.name;
    else
      c.use();
  }
}

}  // namespace
}  // namespace prt
