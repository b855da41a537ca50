// The tagged value: borrowed and copied texts, integer conversion, and
// ownership (the sanitizer build reports a payload that is not released).
#include "data/manager/DataValue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace prt {
namespace {

// A CountedString laid out as in the image.
std::u16string Counted(std::u16string_view text) { return char16_t(text.size()) + std::u16string(text); }
const uint8_t* Bytes(const std::u16string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

TEST(DataValueTest, BorrowedTextPointsIntoTheSourceCopiedTextSurvivesIt) {
  std::u16string source = Counted(u"Pump 1");
  DataValue borrowed, copied;
  borrowed.SetText(Bytes(source), false, 7);
  copied.SetText(Bytes(source), true, 0);
  EXPECT_EQ(borrowed.TypeCode(), DataValue::kBorrowedText);
  uint8_t status = 99;
  EXPECT_EQ(borrowed.ReadText(&status), Bytes(source));
  EXPECT_EQ(status, 7);
  source.assign(source.size(), u'\0');
  EXPECT_EQ(copied.TypeCode(), DataValue::kOwnedText);
  EXPECT_EQ(copied.TextCopy(), u"Pump 1");
  EXPECT_EQ(std::u16string_view(reinterpret_cast<const char16_t*>(copied.ReadText()), 8), Counted(u"Pump 1") + u'\0');

  DataValue number;
  number.SetValue(DataValue::kInt32, 42);
  EXPECT_EQ(number.ReadText(&status), nullptr);
  EXPECT_EQ(status, DataValue::kStatusNoText);
  EXPECT_EQ(number.TextCopy(), std::nullopt);
}

TEST(DataValueTest, ToIntegerByType) {
  const float minusTwoPointSeven = -2.7f;
  uint32_t floatBits;
  std::memcpy(&floatBits, &minusTwoPointSeven, 4);
  const struct { uint8_t type; uint32_t payload; int32_t expected; } cases[] = {
      {DataValue::kByte, 0x1FF, 255},         {DataValue::kUInt8, 0x180, 128},
      {DataValue::kInt8, 0x80, -128},         {DataValue::kInt16, 0xFFFE, -2},
      {DataValue::kUInt16, 0x1FFFE, 65534},   {DataValue::kInt32, 0xFFFFFFFF, -1},
      {DataValue::kUInt32, 0x80000000, INT32_MIN}, {DataValue::kFloat, floatBits, -2},
      {DataValue::kEmpty, 77, 0},             {DataValue::kBlock12, 77, 0},
  };
  for (const auto& c : cases) {
    DataValue v;
    v.SetValue(c.type, c.payload);
    EXPECT_EQ(v.ToInteger(), c.expected) << "type " << int(c.type);
  }
  const double doubles[] = {9.99, -9.99, 1e300, -1e300, NAN};
  const int32_t expected[] = {9, -9, INT32_MAX, INT32_MIN, 0};  // truncated, saturated
  for (size_t i = 0; i < std::size(doubles); ++i) {
    DataValue v;
    v.SetBorrowed(DataValue::kDouble, &doubles[i]);
    EXPECT_EQ(v.ToInteger(), expected[i]) << doubles[i];
  }
  DataValue huge;
  huge.SetFloat(3e38f);
  EXPECT_EQ(huge.ToInteger(), INT32_MAX);
}

struct Tracked final : ReleasableValue {
  explicit Tracked(int* releases) : releases(releases) {}
  void Release() override {
    ++*releases;
    delete this;
  }
  int* releases;
};

TEST(DataValueTest, EveryOwnedPayloadIsReleasedOnce) {
  for (uint8_t type : {DataValue::kBlock12, DataValue::kOptionalBlock, DataValue::kBlock16, DataValue::kDouble}) {
    DataValue v;
    v.AdoptOwned(type, std::malloc(16));
    EXPECT_TRUE(v.Owned());
    v.Clear(3, DataValue::kUInt16 | DataValue::kOwnedFlag);
    EXPECT_EQ(v.payload, 0u);
    EXPECT_EQ(v.type, DataValue::kUInt16);  // the owned flag never survives a reset
  }
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
  text.SetText(Bytes(Counted(u"abc")), true, 0);
  text.SetText(Bytes(Counted(u"def")), true, 0);
  EXPECT_EQ(text.TextCopy(), u"def");
  text.SetOwnedText(OwnedString::Create(u"AB"), 0);
  EXPECT_EQ(text.TextCopy(), u"AB");
  EXPECT_EQ(OwnedString::Create(std::u16string(70000, u'x')), nullptr);
}

}  // namespace
}  // namespace prt
