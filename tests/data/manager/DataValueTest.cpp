#include "data/manager/DataValue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <limits>

namespace prt {
namespace {

// A CountedString laid out as in the image.
std::vector<uint8_t> Counted(std::u16string_view text) {
  std::vector<uint8_t> b(2 + 2 * text.size());
  const uint16_t n = static_cast<uint16_t>(text.size());
  std::memcpy(b.data(), &n, 2);
  std::memcpy(b.data() + 2, text.data(), 2 * text.size());
  return b;
}

TEST(DataValueTest, BorrowedTextPointsIntoTheSource) {
  const auto source = Counted(u"Pump 1");
  DataValue v;
  v.SetText(source.data(), false, 7);
  EXPECT_EQ(v.TypeCode(), DataValue::kBorrowedText);
  EXPECT_FALSE(v.Owned());
  EXPECT_EQ(v.count, 1);
  EXPECT_EQ(v.status, 7);
  uint8_t status = 99;
  EXPECT_EQ(v.ReadText(&status), source.data());
  EXPECT_EQ(status, 7);
  EXPECT_EQ(v.TextCopy(), u"Pump 1");
}

TEST(DataValueTest, CopiedTextSurvivesTheSource) {
  auto source = Counted(u"Valve");
  DataValue v;
  v.SetText(source.data(), true, 0);
  std::fill(source.begin(), source.end(), 0);
  EXPECT_EQ(v.TypeCode(), DataValue::kOwnedText);
  EXPECT_TRUE(v.Owned());
  EXPECT_EQ(v.count, 1);
  EXPECT_NE(v.ReadText(), source.data());
  EXPECT_EQ(v.TextCopy(), u"Valve");
  // The owned block ends with a zero unit after the text.
  const uint8_t* text = v.ReadText();
  uint16_t terminator = 1;
  std::memcpy(&terminator, text + 2 + 2 * 5, 2);
  EXPECT_EQ(terminator, 0);
}

TEST(DataValueTest, NonTextReportsNoText) {
  DataValue v;
  v.SetValue(DataValue::kInt32, 42);
  uint8_t status = 0;
  EXPECT_EQ(v.ReadText(&status), nullptr);
  EXPECT_EQ(status, DataValue::kStatusNoText);
  EXPECT_EQ(v.TextCopy(), std::nullopt);

  DataValue empty;
  EXPECT_EQ(empty.ReadText(&status), nullptr);
  EXPECT_EQ(status, DataValue::kStatusNoText);
}

TEST(DataValueTest, OwnedTextWithoutBlockReadsAsEmpty) {
  DataValue v;
  v.SetOwnedText(nullptr, 0);
  const uint8_t* text = v.ReadText();
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(v.TextCopy(), u"");
}

TEST(DataValueTest, ResetAndClearLeaveAnEmptyValueOfTheGivenShape) {
  DataValue v;
  v.SetText(Counted(u"x").data(), true, 5);
  v.Clear(3, DataValue::kUInt16 | DataValue::kOwnedFlag);
  EXPECT_EQ(v.count, 3);
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.type, DataValue::kUInt16);  // owned flag never survives a reset
  EXPECT_EQ(v.payload, 0u);
}

TEST(DataValueTest, ToIntegerByType) {
  struct Case {
    uint8_t type;
    uint32_t payload;
    int32_t expected;
  };
  const float minusTwoPointSeven = -2.7f;
  uint32_t floatBits;
  std::memcpy(&floatBits, &minusTwoPointSeven, 4);
  const Case cases[] = {
      {DataValue::kByte, 0x1FF, 255},         {DataValue::kUInt8, 0x180, 128},
      {DataValue::kInt8, 0x80, -128},         {DataValue::kInt16, 0xFFFE, -2},
      {DataValue::kUInt16, 0x1FFFE, 65534},   {DataValue::kInt32, 0xFFFFFFFF, -1},
      {DataValue::kUInt32, 0x80000000, INT32_MIN}, {DataValue::kFloat, floatBits, -2},
      {DataValue::kEmpty, 77, 0},             {DataValue::kBlock12, 77, 0},
  };
  for (const Case& c : cases) {
    DataValue v;
    v.SetValue(c.type, c.payload);
    EXPECT_EQ(v.ToInteger(), c.expected) << "type " << int(c.type);
  }
}

TEST(DataValueTest, ToIntegerTruncatesDoublesAndSaturates) {
  const double values[] = {9.99, -9.99, 1e300, -1e300, std::numeric_limits<double>::quiet_NaN()};
  const int32_t expected[] = {9, -9, INT32_MAX, INT32_MIN, 0};
  for (size_t i = 0; i < std::size(values); ++i) {
    DataValue v;
    v.SetBorrowed(DataValue::kDouble, &values[i]);
    EXPECT_EQ(v.ToInteger(), expected[i]) << values[i];
  }
  DataValue none;
  none.SetBorrowed(DataValue::kDouble, nullptr);
  EXPECT_EQ(none.ToInteger(), 0);

  DataValue hugeFloat;
  hugeFloat.SetFloat(3e38f);
  EXPECT_EQ(hugeFloat.ToInteger(), INT32_MAX);
}

// Counts how often it is released; a leak would show in the ASan build.
class Tracked final : public ReleasableValue {
 public:
  explicit Tracked(int* releases) : releases_(releases) {}
  void Release() override {
    ++*releases_;
    delete this;
  }

 private:
  int* releases_;
};

TEST(DataValueTest, ClearReleasesEveryOwnedPayload) {
  for (uint8_t type : {DataValue::kBlock12, DataValue::kOptionalBlock, DataValue::kBlock14, DataValue::kBlock16,
                       DataValue::kDouble}) {
    DataValue v;
    v.AdoptOwned(type, std::malloc(16));
    EXPECT_TRUE(v.Owned());
    v.Clear(0, 0);
    EXPECT_EQ(v.payload, 0u);
  }
  DataValue absent;
  absent.AdoptOwned(DataValue::kOptionalBlock, nullptr);
  absent.Clear(0, 0);

  int releases = 0;
  {
    DataValue v;
    v.AdoptOwned(DataValue::kReleasable, new Tracked(&releases));
    v.SetValue(DataValue::kInt32, 1);  // replacing the value releases the old one
    EXPECT_EQ(releases, 1);
    v.AdoptOwned(DataValue::kReleasable, new Tracked(&releases));
  }
  EXPECT_EQ(releases, 2);  // the destructor releases too

  DataValue text;
  text.SetText(Counted(u"abc").data(), true, 0);
  text.SetText(Counted(u"def").data(), true, 0);
}

TEST(DataValueTest, OwnedStringLayout) {
  OwnedString* s = OwnedString::Create(u"AB");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->capacity, 2);
  EXPECT_EQ(s->length, 2);
  EXPECT_EQ(ReadCountedString(s->Counted()), u"AB");
  EXPECT_EQ(s->Text(), u"AB");
  OwnedString::Release(s);

  EXPECT_EQ(OwnedString::Create(std::u16string(70000, u'x')), nullptr);
}

}  // namespace
}  // namespace prt
