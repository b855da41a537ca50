#include "data/manager/DefaultMapIndex.h"

#include <algorithm>
#include <unordered_set>

#include "data/manager/ImageLayout.h"

namespace prt {

namespace {

constexpr uint32_t kIdMask = 0xFFFFFFu;
constexpr uint32_t kEntrySize = 8;

uint64_t Key(uint32_t key, uint32_t id) { return (static_cast<uint64_t>(key) << 32) | id; }

}  // namespace

DefaultMapIndex DefaultMapIndex::Build(const ImageRef& map) {
  DefaultMapIndex index;
  const layout::CountedTable groups = layout::ReadCountedTable(map, kEntrySize);
  if (groups.count == 0) return index;
  // Disjoint tables hold at most this many entries; more means tables that
  // share bytes, and indexing them could cost the square of the image size.
  const uint64_t budget = map.Image()->Size() / kEntrySize;
  uint64_t total = 0;
  std::unordered_set<uint32_t> seen;
  std::vector<Entry>& entries = index.entries_;
  for (uint32_t g = 0; g < groups.count; ++g) {
    const ImageRef group = groups.Item(g, kEntrySize);
    const uint32_t key = group.U32(0);
    // Only the first group of a key is ever searched, even when its table
    // is damaged or lacks the id.
    if (!seen.insert(key).second) continue;
    const layout::CountedTable table = layout::ReadCountedTable(group.Ref(4), kEntrySize);
    total += table.count;
    if (total > budget) {
      index.entries_ = {};
      index.walk_ = map;
      return index;
    }
    for (uint32_t e = 0; e < table.count; ++e) {
      const ImageRef entry = table.Item(e, kEntrySize);
      entries.push_back({Key(key, entry.U32(0) & kIdMask), entry.U32(4)});
    }
  }
  // Stable, so of equal ids the first entry of the table leads and stays.
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
  entries.erase(std::unique(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.key == b.key; }),
                entries.end());
  entries.shrink_to_fit();
  return index;
}

bool DefaultMapIndex::Find(uint32_t key, uint32_t id, uint32_t* value) const {
  if (walk_) return layout::LookupDefaultMap(walk_, key, id, value);
  // A stored id is compared in its low 24 bits only: a wider id never matches.
  if (id > kIdMask) return false;
  const uint64_t wanted = Key(key, id);
  const auto it = std::lower_bound(entries_.begin(), entries_.end(), wanted,
                                   [](const Entry& e, uint64_t k) { return e.key < k; });
  if (it == entries_.end() || it->key != wanted) return false;
  if (value) *value = it->value;
  return true;
}

void DefaultMapIndex::Clear() {
  entries_ = {};
  walk_ = {};
}

}  // namespace prt
