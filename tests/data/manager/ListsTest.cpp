// Bit, value and range lists in their modes, as text and resource lists.
#include <gtest/gtest.h>

#include "tests/data/manager/RichDataset.h"

namespace prt {
namespace {

using test::TextOf;

constexpr int32_t kNone = -1;
constexpr int32_t kRaw = kListNotFound;  // what the entry-value mode reports

const char* const kBit1 = R"({"kind": "bit", "entries": [[1, 40]]})";
const char* const kBit2 = R"({"kind": "bit", "entries": [[0, 10], [1, 11]]})";
const char* const kValues = R"({"kind": "value", "entries": [[5, 17], [3, 30], [1, 50]]})";
const char* const kRanges = R"({"kind": "range", "entries": [[10, 0, 3], [20, 11, 4]]})";

// The same list as text list 0 and resource list 0; flag bit 0 of the settings
// makes value lists match by mask.
CPRDataManager& Load(CPRDataManager& dm, const std::string& list, bool flagBit0) {
  EXPECT_TRUE(dm.AdoptImage(test::ImageFromJson(R"({"textLists": [)" + list + R"(], "resourceLists": [)" + list +
                                                R"(], "runtimeSettings": {"flags": )" + (flagBit0 ? "1}}" : "0}}"))));
  return dm;
}

TEST(ListTest, MapsAndFindsValues) {
  const struct {
    const char *name, *list;
    bool flagBit0;
    int32_t v;
    uint32_t bit;
    int32_t map, find;
  } cases[] = {
      // Bit lists: a single entry answers only its own bit state (low byte of its first word).
      {"bit1 state matches", kBit1, false, 8, 3, 40, 0},
      {"bit1 state differs", kBit1, false, 0, 3, kNone, kNone},
      {"bit1 state 0", R"({"kind": "bit", "entries": [[0, 40]]})", true, 0, 3, 40, 0},
      {"bit1 low byte only", R"({"kind": "bit", "entries": [[257, 40]]})", false, 8, 3, 40, 0},
      {"bit2 state 1", kBit2, false, 8, 3, 11, 1},
      {"bit2 state 0", kBit2, true, 0, 3, 10, 0},
      {"bit2 bit 31 of -1", kBit2, false, -1, 31, 11, 1},
      {"bit2 bit 32", kBit2, false, 8, 32, kNone, kNone},
      // Value lists: equality, or with flag bit 0 masks (map: first match, find: smallest matching value).
      {"value equal", kValues, false, 5, 0, 17, 0},
      {"value equal 3", kValues, false, 3, 0, 30, 1},
      {"value no mask", kValues, false, 7, 0, kNone, kNone},
      {"value mask 7", kValues, true, 7, 0, 17, 2},
      {"value mask 3", kValues, true, 3, 0, 30, 2},
      {"value mask none", kValues, true, 8, 0, kNone, kNone},
      {"value first of equals", R"({"kind": "value", "entries": [[4, 1], [4, 2]]})", false, 4, 0, 1, 0},
      {"value unsigned", R"({"kind": "value", "entries": [[4294967295, 1], [1, 2]]})", true, -1, 0, 1, 1},
      {"value empty list", R"({"kind": "value"})", false, 0, 0, kNone, kNone},
      // Range lists {upper, lower, result}, signed bounds.
      {"range lower bound", kRanges, false, 0, 0, 3, 0},
      {"range upper bound", kRanges, true, 10, 0, 3, 0},
      {"range second", kRanges, false, 11, 0, 4, 1},
      {"range above", kRanges, false, 21, 0, kNone, kNone},
      {"range negative", R"({"kind": "range", "entries": [[10, 0, 3], [4294967295, 4294967286, 5]]})", false, -5, 0,
       5, 1},
      {"kind 7", R"({"kind": 7, "entries": [[5, 17]]})", false, 5, 0, kNone, kNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CPRDataManager dm;
    Load(dm, c.list, c.flagBit0);
    DataValue value;
    value.SetValue(DataValue::kInt32, static_cast<uint32_t>(c.v));
    EXPECT_EQ(dm.MapResourceListValue(0, &value, c.bit), c.map);
    EXPECT_EQ(dm.MapTextListValue(0, &value, c.bit), c.map);
    EXPECT_EQ(dm.FindResourceListEntry(0, &value, c.bit), c.find);
    EXPECT_EQ(dm.FindTextListEntry(0, &value, c.bit), c.find);
  }
}

TEST(ListTest, MapsPositionsAndReadsEntryValues) {
  // The entry value is word 0 of bit and value entries and the lower bound of range entries.
  const struct { const char* list; int32_t position, map, entryValue; } cases[] = {
      {kBit2, 1, 11, 1},         {kBit2, 2, kNone, kRaw},     {kBit2, -1, kNone, kRaw},
      {kValues, 2, 50, 1},       {kValues, 3, kNone, kRaw},   {kValues, -1, kNone, kRaw},
      {kRanges, 1, 4, 11},       {kRanges, 2, kNone, kRaw},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.list << " @" << c.position);
    CPRDataManager dm;
    Load(dm, c.list, true);
    uint8_t resourceStatus = 77, textStatus = 77;
    EXPECT_EQ(dm.MapResourceListPosition(0, c.position), c.map);
    EXPECT_EQ(dm.MapTextListPosition(0, c.position), c.map);
    EXPECT_EQ(dm.GetResourceListEntryValue(0, c.position, &resourceStatus), c.entryValue);
    EXPECT_EQ(dm.GetTextListEntryValue(0, c.position, &textStatus), c.entryValue);
    EXPECT_EQ(resourceStatus, c.entryValue == kRaw ? 128 : 0);
    EXPECT_EQ(textStatus, resourceStatus);
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
