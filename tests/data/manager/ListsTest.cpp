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

TEST(ListTest, MapsAndFindsValues) {
  const struct { const char *name, *list; bool flagBit0; int32_t v; uint32_t bit; int32_t map, find; } cases[] = {
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
    // The same list as text list 0 and resource list 0; flag bit 0 of the
    // settings makes value lists match by mask.
    const std::string list = c.list;
    CPRDataManager dm;
    EXPECT_TRUE(dm.AdoptImage(test::ImageFromJson(R"({"textLists": [)" + list + R"(], "resourceLists": [)" + list +
                                                  R"(], "runtimeSettings": {"flags": )" + (c.flagBit0 ? "1}}" : "0}}"))));
    DataValue value;
    value.SetValue(DataValue::kInt32, static_cast<uint32_t>(c.v));
    EXPECT_EQ(dm.MapResourceListValue(0, &value, c.bit), c.map);
    EXPECT_EQ(dm.MapTextListValue(0, &value, c.bit), c.map);
    EXPECT_EQ(dm.FindResourceListEntry(0, &value, c.bit), c.find);
    EXPECT_EQ(dm.FindTextListEntry(0, &value, c.bit), c.find);
  }
}


}  // namespace
}  // namespace prt
