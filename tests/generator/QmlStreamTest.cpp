#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <string>

#include "generator/QmlStream.h"
#include "generator/Utf8Converter.h"

namespace prt {
namespace {

TEST(Utf8ConverterTest, FromUtf8) {
  struct Case {
    std::string in;
    std::u16string out;
  };
  const Case cases[] = {
      {"Gr\xC3\xBC\xC3\x9F", u"Gr\u00FC\u00DF"},
      {"\xE2\x82\xAC\xEF\xBF\xBF", u"\u20AC\uFFFF"},
      {"a\xF0\x9F\x98\x80z", u"a\uFFFDz"},  // above the basic plane: one replacement
      {"a\x80z", u"a\uFFFDz"},
      {"ab\xE2\x82", u"ab\uFFFD"},
      {"\xE2\x82z", u"\uFFFDz"},
      {"\xC0\xAF", u"\uFFFD"},
      {"\xED\xA0\x80", u"\uFFFD"},
      {"\xFF", u"\uFFFD"},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8Converter::Instance().FromUtf8(c.in), c.out) << c.in;
}

TEST(Utf8ConverterTest, ToUtf8) {
  struct Case {
    std::u16string in;
    std::string out;
  };
  const Case cases[] = {
      {u"page\u00FC\u20AC", "page\xC3\xBC\xE2\x82\xAC"},
      {u"\U0001F600", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {std::u16string(1, char16_t(0xDC00)), "\xEF\xBF\xBD"},
      {std::u16string(1, u'\0'), std::string(1, '\0')},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8Converter::Instance().ToUtf8(c.in), c.out) << c.out;
}

TEST(QmlStreamTest, NumberTexts) {
  EXPECT_EQ(DecimalText(0), u"0");
  EXPECT_EQ(DecimalText(-120), u"-120");
  EXPECT_EQ(DecimalText(INT32_MIN), u"-2147483648");
  EXPECT_EQ(UnsignedText(4294967295u), u"4294967295");
  struct Case {
    double value;
    std::u16string text;
  };
  const Case fixed[] = {
      {0.5, u"0.50000000000000000"},
      {0.0, u"0.00000000000000000"},
      {static_cast<double>(0.3f), u"0.30000001192092896"},
      {-2.25, u"-2.25000000000000000"},
      {1e-20, u"0.00000000000000000"},
      {123456789.0, u"123456789.00000000000000000"},
  };
  for (const Case& c : fixed) EXPECT_EQ(FixedText(c.value), c.text) << c.value;
  EXPECT_EQ(FixedText(DBL_MAX).size(), 309u + 1 + 17);
}

TEST(QmlStreamTest, FailedStreamIgnoresWritesUntilCleared) {
  QmlStream stream;
  stream << u"a";
  stream.SetFailed();
  stream.WriteInt(5).WriteUtf8("c");
  EXPECT_FALSE(stream.Good());
  EXPECT_EQ(stream.Text(), u"a");
  stream.Clear();
  stream.WriteFixed(0.5);
  EXPECT_EQ(stream.Text(), u"0.50000000000000000");
}

}  // namespace
}  // namespace prt
