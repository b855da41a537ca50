// The DefaultMap index against the plain walk from the map's start, and the
// data manager's use of it across image changes.
#include <gtest/gtest.h>

#include <thread>

#include "data/manager/CPRDataManager.h"
#include "data/set/DefaultMapIndex.h"
#include "data/set/ImageLayout.h"
#include "platform/Endian.h"
#include "tests/support/Dataset.h"

namespace prt {
namespace {

struct Answer { bool found = false; uint32_t value = 0; bool operator==(const Answer&) const = default; };

Answer Walk(const ImageRef& map, uint32_t key, uint32_t id) {
  uint32_t value = 0;  // braced initialisers run in order: read after the lookup
  return {layout::LookupDefaultMap(map, key, id, &value), value};
}

Answer Indexed(const DefaultMapIndex& index, uint32_t key, uint32_t id) {
  uint32_t value = 0;
  return {index.Find(key, id, &value), value};
}

// Writes a map group by group, so tests know where each table lies.
struct MapWriter {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(16);  // offset 0 stays "no table"
  uint32_t map = 0;

  uint32_t Words(std::initializer_list<uint32_t> words) {
    const auto at = static_cast<uint32_t>(bytes.size());
    bytes.resize(at + 4 * words.size());
    for (uint32_t i = 0; uint32_t w : words) Patch32(at + 4 * i++, w);
    return at;
  }
  void Patch32(uint32_t at, uint32_t v) { platform::StoreLE32(&bytes.at(at + 3) - 3, v); }
  uint32_t Table(const std::vector<std::pair<uint32_t, uint32_t>>& entries) {
    const uint32_t at = Words({static_cast<uint32_t>(entries.size())});
    for (auto [id, value] : entries) Words({id, value});
    return at;
  }
  // Groups as {key, table offset}.
  uint32_t Groups(const std::vector<std::pair<uint32_t, uint32_t>>& groups) {
    map = Words({static_cast<uint32_t>(groups.size())});
    for (auto [key, table] : groups) Words({key, table});
    return map;
  }
};

TEST(DefaultMapIndex, KeepsFirstMatchSemantics) {
  MapWriter w;
  const uint32_t t0 = w.Table({{5, 50}, {0x01000005, 51}, {6, 60}, {6, 61}, {0xFF000007, 70}, {0x00000007, 71}});
  const uint32_t t1 = w.Table({{5, 150}, {8, 180}});
  const uint32_t t2 = w.Table({{9, 290}});
  const uint32_t truncated = w.Table({{3, 30}, {4, 40}});
  w.Groups({{1, t0}, {1, t1}, {2, 0}, {2, t2}, {3, truncated}, {4, t2}});
  // The truncated table claims more entries than there are bytes left.
  w.Patch32(truncated, 0x10000000);
  const RuntimeImage image(w.bytes);
  const ImageRef map = image.Resolve(w.map);
  const DefaultMapIndex index = DefaultMapIndex::Build(map);

  const struct { const char* name; uint32_t key, id; Answer want; } cases[] = {
      {"first entry of a duplicated id", 1, 6, {true, 60}},
      {"first of ids equal in the low 24 bits", 1, 5, {true, 50}},
      {"top 8 bits of the stored id are not compared", 1, 7, {true, 70}},
      {"a wider id never matches", 1, 0x01000005, {false, 0}},
      {"a later group with the same key is never searched", 1, 8, {false, 0}},
      {"a first group without a table hides the later one", 2, 9, {false, 0}},
      {"a table that leaves the image holds nothing", 3, 3, {false, 0}},
      {"two keys may share a table", 4, 9, {true, 290}},
      {"absent key", 99, 5, {false, 0}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Walk(map, c.key, c.id), c.want) << c.name;
    EXPECT_EQ(Indexed(index, c.key, c.id), c.want) << c.name;
  }

  uint32_t untouched = 0xDEAD;
  EXPECT_EQ(index.Size(), 4u);  // ids 5, 6, 7 of key 1 and 9 of key 4
  EXPECT_FALSE(index.Find(1, 8, &untouched));
  EXPECT_EQ(untouched, 0xDEADu);
  EXPECT_TRUE(index.Find(1, 5, nullptr));
  EXPECT_FALSE(DefaultMapIndex::Build(ImageRef()).Find(0, 0, nullptr));
}

// The manager's own index (the second object text map) is built on first
// use, by one of the threads that ask at once, and each image gets its own:
// the second image numbers its text 1, so an index kept from the first would
// answer "filler".
std::u16string ObjectTextEx(CPRDataManager& dm) {
  DataValue value;
  return dm.GetObjectTextEx(29u << 24, &value) ? *value.TextCopy() : u"<none>";
}

TEST(DefaultMapIndex, ManagerIndexesEachImageOnceUnderConcurrentFirstUse) {
  CPRDataManager dm;
  const struct { const char* image; std::u16string text; } steps[] = {
      {"", u"<none>"},  // nothing loaded
      {R"({"records": [{"type": 29, "textEx": "Motor"}]})", u"Motor"},
      {R"({"texts": ["filler"], "records": [{"type": 29, "textEx": "Pump"}]})", u"Pump"},
      {nullptr, u"<none>"},  // unloaded
      {R"({"texts": ["filler", "Valve"], "records": [{"type": 29}]})", u"<none>"},
  };
  for (const auto& s : steps) {
    if (!s.image) {
      dm.Uninitialize();
    } else if (*s.image) {
      ASSERT_TRUE(dm.AdoptImage(test::ImageFromJson(s.image)));
    }
    std::vector<std::u16string> seen(3);
    std::vector<std::thread> threads;
    for (auto& text : seen) threads.emplace_back([&] { text = ObjectTextEx(dm); });
    for (auto& t : threads) t.join();
    EXPECT_EQ(seen, std::vector<std::u16string>(3, s.text)) << (s.image ? s.image : "unloaded");
  }
}

}  // namespace
}  // namespace prt
