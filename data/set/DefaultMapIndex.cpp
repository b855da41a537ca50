#include "data/set/DefaultMapIndex.h"

#include <algorithm>
#include <unordered_set>

#include "data/set/ImageLayout.h"

namespace prt {

namespace {

constexpr uint32_t kIdMask = 0xFFFFFFu;
constexpr uint32_t kEntrySize = 8;
constexpr uint64_t kPresent = uint64_t{1} << 32;

bool ById(const std::pair<uint32_t, uint32_t>& a, const std::pair<uint32_t, uint32_t>& b) {
  return a.first < b.first;
}

}  // namespace

namespace {

// The entries of one table by id, of equal ids the first in the table.
void ReadEntries(const layout::CountedTable& table, std::vector<std::pair<uint32_t, uint32_t>>& entries) {
  entries.clear();
  for (uint32_t e = 0; e < table.count; ++e) {
    const ImageRef entry = table.Item(e, kEntrySize);
    entries.emplace_back(entry.U32(0) & kIdMask, entry.U32(4));
  }
  // Stable, so of equal ids the first entry of the table leads and stays.
  // Tables are mostly in id order already.
  if (!std::is_sorted(entries.begin(), entries.end(), ById)) std::stable_sort(entries.begin(), entries.end(), ById);
  entries.erase(std::unique(entries.begin(), entries.end(),
                            [](const auto& a, const auto& b) { return a.first == b.first; }),
                entries.end());
}

}  // namespace

void DefaultMapIndex::Add(uint32_t key, const std::vector<std::pair<uint32_t, uint32_t>>& entries) {
  size_ += entries.size();
  Group indexed;
  indexed.key = key;
  indexed.first = entries.front().first;
  const uint64_t span = uint64_t{entries.back().first} - indexed.first + 1;
  indexed.dense = span <= 2 * uint64_t{entries.size()};
  if (indexed.dense) {
    indexed.begin = cells_.size();
    cells_.resize(indexed.begin + span, 0);
    for (const auto& [id, value] : entries) cells_[indexed.begin + (id - indexed.first)] = kPresent | value;
    indexed.end = cells_.size();
  } else {
    indexed.begin = pairs_.size();
    pairs_.insert(pairs_.end(), entries.begin(), entries.end());
    indexed.end = pairs_.size();
  }
  groups_.push_back(indexed);
}

DefaultMapIndex DefaultMapIndex::Build(const ImageRef& map) {
  DefaultMapIndex index;
  const layout::CountedTable groups = layout::ReadCountedTable(map, kEntrySize);
  if (groups.count == 0) return index;
  // Disjoint tables hold at most this many entries; more means tables that
  // share bytes, and indexing them could cost the square of the image size.
  const uint64_t budget = map.Image()->Size() / kEntrySize;
  // Room for every dense table at once (each spans at most twice its
  // entries), rather than cells copied and faulted in again group by group.
  uint64_t room = 0;
  for (uint32_t g = 0; g < groups.count && room <= budget; ++g)
    room += layout::ReadCountedTable(groups.Item(g, kEntrySize).Ref(4), kEntrySize).count;
  if (room <= budget) index.cells_.reserve(static_cast<size_t>(2 * room));
  uint64_t total = 0;
  std::unordered_set<uint32_t> seen;
  std::vector<std::pair<uint32_t, uint32_t>> entries;
  for (uint32_t g = 0; g < groups.count; ++g) {
    const ImageRef group = groups.Item(g, kEntrySize);
    const uint32_t key = group.U32(0);
    // Only the first group of a key is ever searched, even when its table
    // is damaged or lacks the id.
    if (!seen.insert(key).second) continue;
    const layout::CountedTable table = layout::ReadCountedTable(group.Ref(4), kEntrySize);
    total += table.count;
    if (total > budget) {
      index = {};
      index.walk_ = map;
      return index;
    }
    if (table.count == 0) continue;
    ReadEntries(table, entries);
    index.Add(key, entries);
  }
  std::sort(index.groups_.begin(), index.groups_.end(), [](const Group& a, const Group& b) { return a.key < b.key; });
  return index;
}

bool DefaultMapIndex::Find(uint32_t key, uint32_t id, uint32_t* value) const {
  if (walk_) return layout::LookupDefaultMap(walk_, key, id, value);
  // A stored id is compared in its low 24 bits only: a wider id never matches.
  if (id > kIdMask) return false;
  const auto group = std::lower_bound(groups_.begin(), groups_.end(), key,
                                      [](const Group& g, uint32_t k) { return g.key < k; });
  if (group == groups_.end() || group->key != key) return false;
  uint32_t found = 0;
  if (group->dense) {
    // An id below `first` wraps round to a large offset.
    if (id - group->first >= group->end - group->begin) return false;
    const uint64_t cell = cells_[group->begin + (id - group->first)];
    if (cell == 0) return false;
    found = static_cast<uint32_t>(cell);
  } else {
    const auto first = pairs_.begin() + static_cast<ptrdiff_t>(group->begin);
    const auto last = pairs_.begin() + static_cast<ptrdiff_t>(group->end);
    const auto it = std::lower_bound(first, last, std::pair<uint32_t, uint32_t>(id, 0), ById);
    if (it == last || it->first != id) return false;
    found = it->second;
  }
  if (value) *value = found;
  return true;
}

void DefaultMapIndex::Clear() { *this = {}; }

}  // namespace prt
