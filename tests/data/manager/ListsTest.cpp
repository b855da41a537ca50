// Evaluation of bit, value and range lists in their four modes.
#include <gtest/gtest.h>

#include "data/manager/CPRDataManager.h"
#include "tests/data/manager/ImageBytes.h"
#include "tests/data/manager/RichImage.h"

namespace prt {
namespace {

using test::ImageBytes;

enum class Op { MapValue, MapPosition, Find, EntryValue };

struct ListCase {
  const char* name;
  uint16_t kind;
  std::vector<uint32_t> entryWords;  // entry count follows from the kind
  bool flagBit0;
  Op op;
  int32_t v;
  uint32_t bit;
  int32_t expected;  // -1 or 2147483647 for not found, as the operation reports
};

constexpr int32_t kNone = -1;
constexpr int32_t kRaw = kListNotFound;

const ListCase kListCases[] = {
    // Bit lists: one entry answers only its own bit state.
    {"bit1 state matches", 1, {1, 40}, false, Op::MapValue, 8, 3, 40},
    {"bit1 state differs", 1, {1, 40}, false, Op::MapValue, 0, 3, kNone},
    {"bit1 state 0", 1, {0, 40}, false, Op::MapValue, 0, 3, 40},
    {"bit1 low byte only", 1, {0x101, 40}, false, Op::MapValue, 8, 3, 40},
    {"bit2 state 1", 1, {0, 10, 1, 11}, false, Op::MapValue, 8, 3, 11},
    {"bit2 state 0", 1, {0, 10, 1, 11}, false, Op::MapValue, 0, 3, 10},
    {"bit2 bit 31 of -1", 1, {0, 10, 1, 11}, false, Op::MapValue, -1, 31, 11},
    {"bit2 bit 32", 1, {0, 10, 1, 11}, false, Op::MapValue, 8, 32, kNone},
    {"bit2 position 1", 1, {0, 10, 1, 11}, false, Op::MapPosition, 1, 0, 11},
    {"bit2 position 2", 1, {0, 10, 1, 11}, false, Op::MapPosition, 2, 0, kNone},
    {"bit2 position -1", 1, {0, 10, 1, 11}, false, Op::MapPosition, -1, 0, kNone},
    {"bit1 find match", 1, {1, 40}, false, Op::Find, 8, 3, 0},
    {"bit1 find miss", 1, {1, 40}, false, Op::Find, 0, 3, kNone},
    {"bit2 find 1", 1, {0, 10, 1, 11}, false, Op::Find, 8, 3, 1},
    {"bit2 find 0", 1, {0, 10, 1, 11}, false, Op::Find, 0, 3, 0},
    {"bit2 find bit 40", 1, {0, 10, 1, 11}, false, Op::Find, 0, 40, kNone},
    {"bit2 entry value", 1, {0, 10, 1, 11}, false, Op::EntryValue, 1, 0, 1},
    {"bit2 entry value past", 1, {0, 10, 1, 11}, false, Op::EntryValue, 2, 0, kRaw},
    // Value lists: equality, or mask matching with settings flag bit 0.
    {"value equal", 2, {5, 17, 3, 30, 1, 50}, false, Op::MapValue, 5, 0, 17},
    {"value no mask", 2, {5, 17, 3, 30, 1, 50}, false, Op::MapValue, 7, 0, kNone},
    {"value mask first", 2, {5, 17, 3, 30, 1, 50}, true, Op::MapValue, 7, 0, 17},
    {"value mask 3", 2, {5, 17, 3, 30, 1, 50}, true, Op::MapValue, 3, 0, 30},
    {"value mask none", 2, {5, 17, 3, 30, 1, 50}, true, Op::MapValue, 8, 0, kNone},
    {"value find smallest", 2, {5, 17, 3, 30, 1, 50}, true, Op::Find, 7, 0, 2},
    {"value find equal", 2, {5, 17, 3, 30, 1, 50}, false, Op::Find, 3, 0, 1},
    {"value find miss", 2, {5, 17, 3, 30, 1, 50}, false, Op::Find, 9, 0, kNone},
    {"value find first of equals", 2, {4, 1, 4, 2}, false, Op::Find, 4, 0, 0},
    {"value find unsigned", 2, {0xFFFFFFFF, 1, 1, 2}, true, Op::Find, -1, 0, 1},
    {"value position", 2, {5, 17, 3, 30, 1, 50}, false, Op::MapPosition, 1, 0, 30},
    {"value position past", 2, {5, 17, 3, 30, 1, 50}, false, Op::MapPosition, 3, 0, kNone},
    {"value entry value", 2, {5, 17, 3, 30, 1, 50}, false, Op::EntryValue, 2, 0, 1},
    {"value entry value -1", 2, {5, 17, 3, 30, 1, 50}, false, Op::EntryValue, -1, 0, kRaw},
    {"value empty list", 2, {}, false, Op::MapValue, 0, 0, kNone},
    // Range lists {upper, lower, result}, signed bounds.
    {"range lower bound", 3, {10, 0, 3}, false, Op::MapValue, 0, 0, 3},
    {"range upper bound", 3, {10, 0, 3}, false, Op::MapValue, 10, 0, 3},
    {"range above", 3, {10, 0, 3}, false, Op::MapValue, 11, 0, kNone},
    {"range negative", 3, {10, 0, 3, 20, 11, 4, static_cast<uint32_t>(-1), static_cast<uint32_t>(-10), 5}, false,
     Op::MapValue, -5, 0, 5},
    {"range second", 3, {10, 0, 3, 20, 11, 4}, false, Op::MapValue, 11, 0, 4},
    {"range find", 3, {10, 0, 3, 20, 11, 4}, false, Op::Find, 15, 0, 1},
    {"range find miss", 3, {10, 0, 3, 20, 11, 4}, false, Op::Find, 100, 0, kNone},
    {"range position", 3, {10, 0, 3, 20, 11, 4}, false, Op::MapPosition, 1, 0, 4},
    {"range entry value is lower", 3, {10, 0, 3, 20, 11, 4}, false, Op::EntryValue, 1, 0, 11},
    {"range entry value past", 3, {10, 0, 3, 20, 11, 4}, false, Op::EntryValue, 2, 0, kRaw},
    // Other kinds find nothing.
    {"kind 7", 7, {5, 17}, false, Op::MapValue, 5, 0, kNone},
};

uint16_t EntryCount(uint16_t kind, size_t words) {
  return static_cast<uint16_t>(words / (kind == 3 ? 3 : 2));
}

// The same list as resource list 0 and text list 0.
std::vector<uint8_t> ImageWithList(const ListCase& c) {
  ImageBytes img;
  const uint32_t list = img.List(c.kind, EntryCount(c.kind, c.entryWords.size()), c.entryWords);
  img.SetHeader(7, img.RefTable({list}));
  img.SetHeader(8, img.RefTable({list}));
  if (c.flagBit0) img.SetHeader(19, img.Words({1}));
  return img.Take();
}

TEST(ListTest, EvaluatesEveryKindAndMode) {
  for (const ListCase& c : kListCases) {
    SCOPED_TRACE(c.name);
    CPRDataManager dm;
    ASSERT_TRUE(dm.AdoptImage(ImageWithList(c)));
    DataValue value;
    value.SetValue(DataValue::kInt32, static_cast<uint32_t>(c.v));
    uint8_t resourceStatus = 77, textStatus = 77;
    switch (c.op) {
      case Op::MapValue:
        EXPECT_EQ(dm.MapResourceListValue(0, &value, c.bit), c.expected);
        EXPECT_EQ(dm.MapTextListValue(0, &value, c.bit), c.expected);
        break;
      case Op::MapPosition:
        EXPECT_EQ(dm.MapResourceListPosition(0, c.v), c.expected);
        EXPECT_EQ(dm.MapTextListPosition(0, c.v), c.expected);
        break;
      case Op::Find:
        EXPECT_EQ(dm.FindResourceListEntry(0, &value, c.bit), c.expected);
        EXPECT_EQ(dm.FindTextListEntry(0, &value, c.bit), c.expected);
        break;
      case Op::EntryValue:
        EXPECT_EQ(dm.GetResourceListEntryValue(0, c.v, &resourceStatus), c.expected);
        EXPECT_EQ(dm.GetTextListEntryValue(0, c.v, &textStatus), c.expected);
        EXPECT_EQ(resourceStatus, c.expected == kRaw ? 128 : 0);
        EXPECT_EQ(textStatus, resourceStatus);
        break;
    }
  }
}

TEST(ListTest, AbsentListsFindNothing) {
  CPRDataManager dm;
  DataValue value;
  value.SetValue(DataValue::kInt32, 5);
  uint8_t status = 0;
  EXPECT_EQ(dm.MapResourceListValue(0, &value, 0), -1);  // no image
  ASSERT_TRUE(dm.AdoptImage(ImageBytes().Take()));
  EXPECT_EQ(dm.MapResourceListValue(0, &value, 0), -1);
  EXPECT_EQ(dm.MapTextListPosition(0, 0), -1);
  EXPECT_EQ(dm.GetTextListEntryValue(3, 0, &status), kListNotFound);
  EXPECT_EQ(status, 128);
  EXPECT_EQ(dm.MapResourceListInteger(0, &value, 0), kListNotFound);
  EXPECT_EQ(dm.GetResourceListSize(0), 0u);
  uint16_t kind = 0;
  EXPECT_FALSE(dm.GetListKind(0, 1, &kind));
}

class RichListTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dm.AdoptImage(test::BuildRichImage().bytes)); }
  static std::u16string Text(const ImageRef& text) {
    std::u16string s;
    if (!text.ReadCountedString(s)) return u"<none>";
    return s;
  }
  CPRDataManager dm;
};

TEST_F(RichListTest, TextsThroughListsAndDefaults) {
  DataValue value;
  value.SetValue(DataValue::kUInt8, 3);
  EXPECT_EQ(Text(dm.GetTextForValue(0, &value, 0)), u"Valve");
  value.SetValue(DataValue::kUInt8, 9);
  EXPECT_EQ(Text(dm.GetTextForValue(0, &value, 0)), u"Valve");  // the list default, text 4
  EXPECT_EQ(Text(dm.GetTextForValue(2, &value, 0)), u"Valve");
  value.SetValue(DataValue::kUInt8, 11);
  EXPECT_EQ(Text(dm.GetTextForValue(2, &value, 0)), u"<none>");  // no default for list 2
  EXPECT_EQ(Text(dm.GetTextForPosition(0, 0)), u"Pump");
  EXPECT_EQ(Text(dm.GetTextForPosition(0, 2)), u"<none>");
  EXPECT_EQ(Text(dm.GetTextListDefault(0)), u"Valve");
  EXPECT_EQ(Text(dm.GetTextListDefault(1)), u"<none>");
  ASSERT_TRUE(dm.SetLanguage(1, false));
  EXPECT_EQ(Text(dm.GetTextForPosition(1, 1)), u"Pompe");
}

TEST_F(RichListTest, ResourcesThroughListsAndDefaults) {
  DataValue value;
  value.SetValue(DataValue::kInt16, 5);
  EXPECT_EQ(dm.GetResourceForValue(0, &value, 0).U32(0), 0xA0u);
  value.SetValue(DataValue::kInt16, 6);
  EXPECT_FALSE(dm.GetResourceForValue(0, &value, 0));  // resource 1: first word 0
  value.SetValue(DataValue::kInt16, 99);
  EXPECT_EQ(dm.GetResourceForValue(0, &value, 0).U32(0), 0xA0u);  // default resource 0
  EXPECT_EQ(dm.GetResourceForPosition(1, 0).U32(0), 0xA0u);
  EXPECT_FALSE(dm.GetResourceForPosition(1, 1));
  EXPECT_EQ(dm.GetResourceListDefault(0).U32(0), 0xA0u);
  EXPECT_FALSE(dm.GetResourceListDefault(1));  // default 2 has reference 0
  EXPECT_FALSE(dm.GetResourceListDefault(2));
  EXPECT_EQ(dm.GetResourceListDefaultIndex(1), 2);
  EXPECT_EQ(dm.GetResourceListDefaultIndex(2), -1);
  ASSERT_TRUE(dm.SetLanguage(1, false));
  EXPECT_EQ(dm.GetResourceListDefault(0).U32(0), 0xB0u);
}

TEST_F(RichListTest, IntegerMappingUsesTheConvertedValue) {
  struct Case {
    uint32_t list;
    uint8_t type;
    uint32_t payload;
    int32_t expected;
  };
  const Case cases[] = {
      {0, DataValue::kInt8, 0x106, 1},    // converted: 6
      {0, DataValue::kInt32, 8, 0},       // no match: default index 0
      {1, DataValue::kInt16, 0xFFFF, 2},  // -1 below the range: default index 2
      {1, DataValue::kUInt16, 9, 0},
      {2, DataValue::kInt32, 1, -1},  // kind 7, no default
      {3, DataValue::kInt32, 1, kListNotFound},
  };
  for (const Case& c : cases) {
    DataValue value;
    value.SetValue(c.type, c.payload);
    EXPECT_EQ(dm.MapResourceListInteger(c.list, &value, 0), c.expected) << c.list << "/" << c.payload;
  }
}

TEST_F(RichListTest, KindsAndSizes) {
  uint16_t kind = 0;
  ASSERT_TRUE(dm.GetListKind(1, 1, &kind));
  EXPECT_EQ(kind, 1);
  ASSERT_TRUE(dm.GetListKind(2, 0, &kind));
  EXPECT_EQ(kind, 7);
  EXPECT_FALSE(dm.GetListKind(3, 0, &kind));
  EXPECT_FALSE(dm.GetListKind(0, 2, &kind));
  EXPECT_FALSE(dm.GetListKind(0, 0, nullptr));
  EXPECT_EQ(dm.GetTextListSize(0), 2u);
  EXPECT_EQ(dm.GetTextListSize(2), 1u);
  EXPECT_EQ(dm.GetResourceListSize(1), 1u);
  EXPECT_EQ(dm.GetResourceListSize(5), 0u);
}

}  // namespace
}  // namespace prt
