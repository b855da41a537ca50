#include "platform/Text.h"

#include <gtest/gtest.h>

namespace prt::platform {
namespace {

TEST(Text, WidenDecodesAllLengthsAndReplacesBadSequences) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"a", u"a"},
      {"\xc3\xa4", u"\u00e4"},
      {"\xe6\x96\x87", u"\u6587"},
      {"\xf0\x9f\x98\x80", u"\U0001F600"},
      {"\xc0\xaf", u"\uFFFD"},          // overlong
      {"\xed\xa0\x80", u"\uFFFD"},      // encoded surrogate
      {"\xe6\x96", u"\uFFFD"},          // cut short
      {"\xff" "b", u"\uFFFDb"},
  };
  for (const Case& c : cases) EXPECT_EQ(Widen(c.utf8), c.utf16) << c.utf8;
}

TEST(Text, NarrowJoinsPairsAndReplacesLoneSurrogates) {
  EXPECT_EQ(Narrow(u"\U0001F600x"), "\xf0\x9f\x98\x80x");
  EXPECT_EQ(Narrow(std::u16string(1, u'\xD800') + u"x"), "\xef\xbf\xbdx");
  EXPECT_EQ(Narrow(u"\u00e4\u6587"), "\xc3\xa4\xe6\x96\x87");
}

}  // namespace
}  // namespace prt::platform
