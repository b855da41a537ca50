#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <cstring>

#include "qml/QmlGenerator.h"
#include "qml/QmlStream.h"
#include "platform/Text.h"

namespace prt {
namespace {

using namespace std::string_view_literals;

// Documents take UTF-8 in code points up to U+FFFF, through the stream.
// ASCII is widened in place; from the first other byte on the converter
// decodes, bad sequences included.
TEST(DocumentUtf8Test, WriteUtf8Widens) {
  const struct { std::string in; std::u16string out; } cases[] = {
      {"Gr\xC3\xBC\xC3\x9F", u"Gr\u00FC\u00DF"},
      {"\xE2\x82\xAC\xEF\xBF\xBF", u"\u20AC\uFFFF"},
      {"a\xF0\x9F\x98\x80z", u"a\uFFFDz"},  // above the basic plane: one replacement
      {"a\x80z", u"a\uFFFDz"},
      {"ab\xE2\x82", u"ab\uFFFD"},
      {"\xE2\x82z", u"\uFFFDz"},
      {"\xC0\xAF", u"\uFFFD"},
      {"\xED\xA0\x80", u"\uFFFD"},
      {"\xFF", u"\uFFFD"},
      {"", u""},
      {"OrvixButton", u"OrvixButton"},
      {"ab\xc3\xa9" "cd", u"ab\u00e9cd"},
      {"x\xc3", u"x\ufffd"},
  };
  for (const auto& c : cases) {
    QmlStream stream;
    stream << u"<";
    stream.WriteUtf8(c.in) << u">";
    EXPECT_EQ(stream.Text(), u"<" + c.out + u">") << c.in;
    EXPECT_EQ(platform::WidenUnits(c.in), c.out) << c.in;
  }
}

// Every surrogate unit, paired or lone, is written as U+FFFD, also inside
// and around the runs that are narrowed several units at a time.
TEST(DocumentUtf8Test, NarrowUnitsReplacesEverySurrogate) {
  const std::u16string run16(16, u'x');
  const struct { std::u16string in; std::string out; } cases[] = {
      {u"page\u00FC\u20AC", "page\xC3\xBC\xE2\x82\xAC"},
      {u"\U0001F600", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {std::u16string(1, char16_t(0xDC00)), "\xEF\xBF\xBD"},
      {std::u16string(1, u'\0'), std::string(1, '\0')},
      {run16 + u"\U0001F600" + run16 + u"\u00E9abc", std::string(16, 'x') + "\xEF\xBF\xBD\xEF\xBF\xBD" +
                                                      std::string(16, 'x') + "\xC3\xA9" "abc"},
      {u"abcdefghijklmno\u0080", "abcdefghijklmno\xC2\x80"},
      {u"abc\u00FF" + run16, "abc\xC3\xBF" + std::string(16, 'x')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::NarrowUnits(c.in), c.out) << c.out;
    std::string buffer(c.in.size() * platform::kMaxUtf8PerUnit, '?');
    EXPECT_EQ(buffer.substr(0, platform::NarrowUnits(c.in, buffer.data())), c.out) << c.out;
  }
}

TEST(QmlStreamTest, FixedTexts) {
  const struct { double value; std::u16string text; } fixed[] = {
      {0.5, u"0.50000000000000000"},
      {0.0, u"0.00000000000000000"},
      {static_cast<double>(0.3f), u"0.30000001192092896"},
      {-2.25, u"-2.25000000000000000"},
      {1e-20, u"0.00000000000000000"},
      {123456789.0, u"123456789.00000000000000000"},
  };
  for (const auto& c : fixed) {
    QmlStream stream;
    EXPECT_EQ(stream.WriteFixed(c.value).Text(), c.text) << c.value;
  }
  QmlStream large;
  EXPECT_EQ(large.WriteFixed(DBL_MAX).Size(), 309u + 1 + 17);
}

// Integers are formatted in place after counting their digits: every
// length, both sides of the 32-bit split, and the extremes.
TEST(QmlStreamTest, IntegersAtEveryDigitCount) {
  auto wide = [](auto v) {
    const std::string s = std::to_string(v);
    return std::u16string(s.begin(), s.end());
  };
  std::vector<uint64_t> values = {0, UINT32_MAX, uint64_t{UINT32_MAX} + 1, UINT64_MAX};
  for (uint64_t p = 1; p <= UINT64_MAX / 10; p *= 10) values.insert(values.end(), {p, p * 10 - 1});
  for (uint64_t v : values) {
    const auto half = static_cast<int64_t>(v >> 1);
    QmlStream stream;
    stream << u"<";
    stream.WriteUnsigned(v) << u"|";
    stream.WriteInt(half) << u"|";
    stream.WriteInt(-half) << u">";
    EXPECT_EQ(stream.Text(), u"<" + wide(v) + u"|" + wide(half) + u"|" + wide(-half) + u">") << v;
    EXPECT_EQ(UnsignedText(v), wide(v)) << v;
  }
  QmlStream stream;
  stream.WriteInt(INT64_MIN);
  EXPECT_EQ(stream.Text(), u"-9223372036854775808");
}

TEST(QmlStreamTest, RepeatCopiesEarlierUnitsOrNothing) {
  QmlStream stream;
  stream << u"id: page42\n";
  stream.WriteRepeat(4, 6) << u"|";
  stream.WriteRepeat(8, 2) << u"|";
  stream.WriteRepeat(0, 0) << u"|";
  stream.WriteRepeat(4, 100) << u"|";                // past the end
  stream.WriteRepeat(SIZE_MAX, 2) << u"|";           // no such offset
  EXPECT_EQ(stream.Text(), u"id: page42\npage42|42||||");
  // A copy that makes the text grow reads its source after the move.
  QmlStream big;
  const std::u16string piece(3000, u'a');
  big << piece;
  for (int i = 0; i < 4; ++i) big.WriteRepeat(0, big.Size());
  EXPECT_EQ(big.Text(), std::u16string(3000 * 16, u'a'));
}

TEST(QmlStreamTest, EscapedText) {
  const struct { std::u16string text; std::u16string characters; std::u16string out; } cases[] = {
      {u"", u"\\\"", u""},
      {u"plain", u"\\\"", u"plain"},
      {u"a\"b\\c", u"\\\"", u"a\\\"b\\\\c"},
      {u"\"\"", u"\"", u"\\\"\\\""},
      {u"\u00e9\u20ac\"z", u"\"", u"\u00e9\u20ac\\\"z"},
      {u"a\"b", u"", u"a\"b"},
      // Specials in both halves of the ASCII range, and one above it; 'b'
      // and U+00A2 share their low six bits with '"'.
      {u"a|b@c\"", u"|@", u"a\\|b\\@c\""},
      {u"b\u00a2\"", u"\"", u"b\u00a2\\\""},
      {u"\u20ac1\u007f\u0080", u"\u20ac\u007f", u"\\\u20ac1\\\u007f\u0080"},
  };
  for (const auto& c : cases) {
    // Data-set texts may start at an odd address.
    std::vector<unsigned char> bytes(1 + 2 * c.text.size());
    if (!c.text.empty()) std::memcpy(bytes.data() + 1, c.text.data(), 2 * c.text.size());
    QmlStream stream;
    stream << u"x";
    stream.WriteEscapedUnits(bytes.data() + 1, c.text.size(), c.characters) << u"y";
    EXPECT_EQ(stream.Text(), u"x" + c.out + u"y");
  }
}

// A write past the limit fails the stream; later writes add nothing, even
// those that would fit, until it is cleared.
TEST(QmlStreamTest, FailedStreamIgnoresWritesUntilCleared) {
  QmlStream stream;
  stream.SetLimit(2);
  stream << u"a";
  stream.WriteInt(55).WriteUtf8("c");
  EXPECT_FALSE(stream.Good());
  EXPECT_EQ(stream.GetFault(), QmlStream::Fault::OverLimit);
  EXPECT_EQ(stream.Text(), u"a");
  stream.Clear();
  stream.WriteInt(55);
  EXPECT_EQ(stream.Text(), u"55");
}

}  // namespace
}  // namespace prt
