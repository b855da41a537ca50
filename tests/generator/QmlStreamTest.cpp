#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>
#include <string>

#include "generator/QmlGenerator.h"
#include "generator/QmlStream.h"
#include "generator/Utf8Converter.h"

namespace prt {
namespace {

TEST(Utf8ConverterTest, FromUtf8) {
  struct Case {
    const char* name;
    std::string in;
    std::u16string out;
  };
  const Case cases[] = {
      {"ascii", "OrvixButton", u"OrvixButton"},
      {"two-byte", "Gr\xC3\xBC\xC3\x9F", u"Gr\u00FC\u00DF"},
      {"three-byte", "\xE2\x82\xAC", u"\u20AC"},
      {"highest BMP", "\xEF\xBF\xBF", u"\uFFFF"},
      {"above BMP is one replacement", "a\xF0\x9F\x98\x80z", u"a\uFFFDz"},
      {"lone continuation", "a\x80z", u"a\uFFFDz"},
      {"truncated at end", "ab\xE2\x82", u"ab\uFFFD"},
      {"truncated mid text", "\xE2\x82z", u"\uFFFDz"},
      {"overlong", "\xC0\xAF", u"\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD"},
      {"invalid lead", "\xFF", u"\uFFFD"},
      {"empty", "", u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8Converter::Instance().FromUtf8(c.in), c.out) << c.name;
  }
}

TEST(Utf8ConverterTest, ToUtf8) {
  struct Case {
    const char* name;
    std::u16string in;
    std::string out;
  };
  const Case cases[] = {
      {"ascii", u"page16777216", "page16777216"},
      {"two-byte", u"\u00FC", "\xC3\xBC"},
      {"three-byte", u"\u20AC", "\xE2\x82\xAC"},
      {"surrogate pair becomes two replacements", u"\U0001F600", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"lone low surrogate", std::u16string(1, char16_t(0xDC00)), "\xEF\xBF\xBD"},
      {"nul kept", std::u16string(1, u'\0'), std::string(1, '\0')},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8Converter::Instance().ToUtf8(c.in), c.out) << c.name;
  }
}

TEST(QmlStreamTest, NumberTexts) {
  EXPECT_EQ(DecimalText(0), u"0");
  EXPECT_EQ(DecimalText(-120), u"-120");
  EXPECT_EQ(DecimalText(INT32_MIN), u"-2147483648");
  EXPECT_EQ(DecimalText(486539269), u"486539269");
  EXPECT_EQ(UnsignedText(4294967295u), u"4294967295");
}

TEST(QmlStreamTest, FixedTextHasSeventeenDecimals) {
  struct Case {
    double value;
    std::u16string text;
  };
  const Case cases[] = {
      {0.5, u"0.50000000000000000"},
      {0.0, u"0.00000000000000000"},
      {1.0, u"1.00000000000000000"},
      {static_cast<double>(0.3f), u"0.30000001192092896"},
      {-2.25, u"-2.25000000000000000"},
      {1e-20, u"0.00000000000000000"},
      {123456789.0, u"123456789.00000000000000000"},
  };
  for (const Case& c : cases) EXPECT_EQ(FixedText(c.value), c.text) << c.value;
  // The largest double still fits the buffer.
  EXPECT_EQ(FixedText(DBL_MAX).size(), 309u + 1 + 17);
}

TEST(QmlStreamTest, ShortFloatTextIsPercentG) {
  struct Case {
    double value;
    std::u16string text;
  };
  const Case cases[] = {
      {0.5, u"0.5"},
      {1.0, u"1"},
      {0.0, u"0"},
      {static_cast<double>(0.49988f), u"0.49988"},
      {0.00001, u"1e-05"},
      {1234567.0, u"1.23457e+06"},
      {0.0001, u"0.0001"},
  };
  for (const Case& c : cases) EXPECT_EQ(ShortFloatText(c.value), c.text) << c.value;
}

TEST(QmlStreamTest, FailedStreamIgnoresWritesUntilCleared) {
  QmlStream stream;
  stream << u"a";
  stream.SetFailed();
  stream << u"b";
  stream.WriteInt(5).WriteUtf8("c");
  EXPECT_FALSE(stream.Good());
  EXPECT_EQ(stream.Text(), u"a");
  stream.Clear();
  EXPECT_TRUE(stream.Good());
  EXPECT_EQ(stream.Text(), u"");
  stream.WriteFixed(0.5);
  EXPECT_EQ(stream.Text(), u"0.50000000000000000");
}

TEST(QmlGeneratorTest, OutputOperations) {
  QmlGenerator generator;
  generator.WriteText("a\xC3\xBC");
  generator.WriteQuoted("q");
  generator.WriteQuotedLine("ql");
  generator.WriteTextLine("tl");
  generator.WriteNumberLine(65535);
  generator.WriteBoolLine(true);
  generator.WriteBoolLine(false);
  EXPECT_EQ(generator.stream.Text(), u"a\u00FC\"q\"\"ql\"\ntl\n65535\ntrue\nfalse\n");
}

TEST(QmlGeneratorTest, ResetStreamEmptiesAndClearsError) {
  QmlGenerator generator;
  generator.WriteText("old");
  generator.stream.SetFailed();
  generator.ResetStream();
  EXPECT_TRUE(generator.stream.Good());
  generator.WriteText("new");
  EXPECT_EQ(generator.stream.Text(), u"new");
}

}  // namespace
}  // namespace prt
