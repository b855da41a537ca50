// Bit, value and range lists in their modes, as text and resource lists.
#include <gtest/gtest.h>

#include "tests/data/manager/RichDataset.h"

namespace prt {
namespace {

using test::TextOf;

enum class Op { MapValue, MapPosition, Find, EntryValue };
constexpr int32_t kNone = -1;
constexpr int32_t kRaw = kListNotFound;  // what the entry-value mode reports

const char* const kBit1 = R"({"kind": "bit", "entries": [[1, 40]]})";
const char* const kBit2 = R"({"kind": "bit", "entries": [[0, 10], [1, 11]]})";
const char* const kValues = R"({"kind": "value", "entries": [[5, 17], [3, 30], [1, 50]]})";
const char* const kRanges = R"({"kind": "range", "entries": [[10, 0, 3], [20, 11, 4]]})";

// flagBit0: settings flag bit 0, with which value lists match by mask.
const struct ListCase {
  const char* name;
  const char* list;
  bool flagBit0;
  Op op;
  int32_t v;
  uint32_t bit;
  int32_t expected;
} kListCases[] = {
    // Bit lists: a single entry answers only its own bit state.
    {"bit1 state matches", kBit1, false, Op::MapValue, 8, 3, 40},
    {"bit1 state differs", kBit1, false, Op::MapValue, 0, 3, kNone},
    {"bit1 state 0", R"({"kind": "bit", "entries": [[0, 40]]})", true, Op::MapValue, 0, 3, 40},
    {"bit1 low byte only", R"({"kind": "bit", "entries": [[257, 40]]})", false, Op::MapValue, 8, 3, 40},
    {"bit2 state 1", kBit2, false, Op::MapValue, 8, 3, 11},
    {"bit2 state 0", kBit2, true, Op::MapValue, 0, 3, 10},
    {"bit2 bit 31 of -1", kBit2, false, Op::MapValue, -1, 31, 11},
    {"bit2 bit 32", kBit2, false, Op::MapValue, 8, 32, kNone},
    {"bit2 position 1", kBit2, false, Op::MapPosition, 1, 0, 11},
    {"bit2 position 2", kBit2, false, Op::MapPosition, 2, 0, kNone},
    {"bit2 position -1", kBit2, false, Op::MapPosition, -1, 0, kNone},
    {"bit1 find match", kBit1, false, Op::Find, 8, 3, 0},
    {"bit1 find miss", kBit1, false, Op::Find, 0, 3, kNone},
    {"bit2 find 1", kBit2, false, Op::Find, 8, 3, 1},
    {"bit2 entry value", kBit2, false, Op::EntryValue, 1, 0, 1},
    {"bit2 entry value past", kBit2, false, Op::EntryValue, 2, 0, kRaw},
    // Value lists: equality, or mask matching with flag bit 0.
    {"value equal", kValues, false, Op::MapValue, 5, 0, 17},
    {"value no mask", kValues, false, Op::MapValue, 7, 0, kNone},
    {"value mask first", kValues, true, Op::MapValue, 7, 0, 17},
    {"value mask 3", kValues, true, Op::MapValue, 3, 0, 30},
    {"value mask none", kValues, true, Op::MapValue, 8, 0, kNone},
    {"value find smallest", kValues, true, Op::Find, 7, 0, 2},
    {"value find equal", kValues, false, Op::Find, 3, 0, 1},
    {"value find miss", kValues, false, Op::Find, 9, 0, kNone},
    {"value find first of equals", R"({"kind": "value", "entries": [[4, 1], [4, 2]]})", false, Op::Find, 4, 0, 0},
    {"value find unsigned", R"({"kind": "value", "entries": [[4294967295, 1], [1, 2]]})", true, Op::Find, -1, 0, 1},
    {"value position", kValues, true, Op::MapPosition, 1, 0, 30},
    {"value entry value", kValues, false, Op::EntryValue, 2, 0, 1},
    {"value entry value -1", kValues, false, Op::EntryValue, -1, 0, kRaw},
    {"value empty list", R"({"kind": "value"})", false, Op::MapValue, 0, 0, kNone},
    // Range lists {upper, lower, result}, signed bounds.
    {"range lower bound", kRanges, false, Op::MapValue, 0, 0, 3},
    {"range upper bound", kRanges, true, Op::MapValue, 10, 0, 3},
    {"range second", kRanges, false, Op::MapValue, 11, 0, 4},
    {"range above", kRanges, false, Op::MapValue, 21, 0, kNone},
    {"range negative", R"({"kind": "range", "entries": [[10, 0, 3], [4294967295, 4294967286, 5]]})", false,
     Op::MapValue, -5, 0, 5},
    {"range find", kRanges, false, Op::Find, 15, 0, 1},
    {"range position", kRanges, false, Op::MapPosition, 1, 0, 4},
    {"range entry value is lower", kRanges, false, Op::EntryValue, 1, 0, 11},
    {"kind 7 finds nothing", R"({"kind": 7, "entries": [[5, 17]]})", false, Op::MapValue, 5, 0, kNone},
};

TEST(ListTest, EvaluatesEveryKindInEveryMode) {
  for (const ListCase& c : kListCases) {
    SCOPED_TRACE(c.name);
    const std::string list = c.list;
    CPRDataManager dm;
    const std::string flags = c.flagBit0 ? "1" : "0";
    ASSERT_TRUE(dm.AdoptImage(test::ImageFromJson(R"({"textLists": [)" + list + R"(], "resourceLists": [)" + list +
                                                  R"(], "runtimeSettings": {"flags": )" + flags + "}}")));
    DataValue value;
    value.SetValue(DataValue::kInt32, static_cast<uint32_t>(c.v));
    uint8_t rs = 77, ts = 77;  // statuses of the entry-value mode
    int32_t resource = 0, text = 0;  // the answers of the resource list and the text list
    switch (c.op) {
      case Op::MapValue:
        resource = dm.MapResourceListValue(0, &value, c.bit), text = dm.MapTextListValue(0, &value, c.bit);
        break;
      case Op::MapPosition:
        resource = dm.MapResourceListPosition(0, c.v), text = dm.MapTextListPosition(0, c.v);
        break;
      case Op::Find:
        resource = dm.FindResourceListEntry(0, &value, c.bit), text = dm.FindTextListEntry(0, &value, c.bit);
        break;
      case Op::EntryValue:
        resource = dm.GetResourceListEntryValue(0, c.v, &rs), text = dm.GetTextListEntryValue(0, c.v, &ts);
        break;
    }
    EXPECT_EQ(resource, c.expected);
    EXPECT_EQ(text, c.expected);
    EXPECT_TRUE(c.op != Op::EntryValue || (rs == (c.expected == kRaw ? 128 : 0) && ts == rs)) << int(rs);
  }
}

using ListsTest = test::RichTest;

TEST_F(ListsTest, TextsAndResourcesThroughListsAndDefaults) {
  DataValue value;
  // {list, value, text}: 9 is not in list 0 but its default; 11 is outside list 2, which has none.
  for (auto [list, v, text] :
       {std::tuple{0u, 3u, u"Valve"}, {0u, 9u, u"Valve"}, {2u, 9u, u"Valve"}, {2u, 11u, u"<none>"}}) {
    value.SetValue(DataValue::kUInt8, v);
    EXPECT_EQ(TextOf(dm.GetTextForValue(list, &value, 0)), text) << list << "/" << v;
  }
  EXPECT_EQ(TextOf(dm.GetTextForPosition(0, 0)), u"Pump");
  EXPECT_EQ(TextOf(dm.GetTextForPosition(0, 2)), u"<none>");
  EXPECT_EQ(TextOf(dm.GetTextListDefault(1)), u"<none>");
  // {value, the resource's first data word}: resource 1 has first word 0; 99 takes the default.
  for (auto [v, resource] : {std::pair{5u, 0xA0u}, {6u, 0u}, {99u, 0xA0u}}) {
    value.SetValue(DataValue::kInt16, v);
    EXPECT_EQ(dm.GetResourceForValue(0, &value, 0).U32(0), resource) << v;
  }
  EXPECT_EQ(dm.GetResourceForPosition(1, 0).U32(0), 0xA0u);
  EXPECT_FALSE(dm.GetResourceForPosition(1, 1) || dm.GetResourceListDefault(1) || dm.GetResourceListDefault(2));
  EXPECT_EQ(dm.GetResourceListDefaultIndex(1), 2);  // resource 2 has reference 0
  EXPECT_EQ(dm.GetResourceListDefaultIndex(2), -1);
  ASSERT_TRUE(dm.SetLanguage(1, false));
  EXPECT_EQ(TextOf(dm.GetTextForPosition(1, 1)), u"Pompe");
  EXPECT_EQ(dm.GetResourceListDefault(0).U32(0), 0xB0u);
}

TEST_F(ListsTest, IntegerMappingUsesTheConvertedValue) {
  const struct { uint32_t list; uint8_t type; uint32_t payload; int32_t expected; } cases[] = {
      {0, DataValue::kInt8, 0x106, 1},    // converted: 6
      {0, DataValue::kInt32, 8, 0},       // no match: default index 0
      {1, DataValue::kInt16, 0xFFFF, 2},  // -1 below the range: default index 2
      {1, DataValue::kUInt16, 9, 0},
      {2, DataValue::kInt32, 1, -1},  // kind 7, no default
      {3, DataValue::kInt32, 1, kListNotFound},
  };
  for (const auto& c : cases) {
    DataValue value;
    value.SetValue(c.type, c.payload);
    EXPECT_EQ(dm.MapResourceListInteger(c.list, &value, 0), c.expected) << c.list << "/" << c.payload;
  }
}

TEST_F(ListsTest, KindsAndSizes) {
  uint16_t text = 0, resource = 0, none = 0;
  EXPECT_TRUE(dm.GetListKind(1, 1, &text) && dm.GetListKind(2, 0, &resource));
  EXPECT_EQ(text, 1);
  EXPECT_EQ(resource, 7);
  EXPECT_FALSE(dm.GetListKind(3, 0, &none) || dm.GetListKind(0, 2, &none) || dm.GetListKind(0, 0, nullptr));
  EXPECT_EQ(dm.GetTextListSize(0), 2u);
  EXPECT_EQ(dm.GetResourceListSize(1), 1u);
  EXPECT_EQ(dm.GetResourceListSize(5), 0u);
}

}  // namespace
}  // namespace prt
