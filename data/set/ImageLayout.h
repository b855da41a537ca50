#pragma once
// The checked table reads every lookup of the data set and the data manager
// share; the positions they read are in data/image/Layout.h.
#include <cstdint>

#include "data/image/Layout.h"
#include "data/image/RuntimeImage.h"

namespace prt::layout {

// True when `count` items of `width` bytes from `at` lie inside the image.
inline bool FitsArray(const ImageRef& r, uint32_t at, uint32_t count, uint32_t width) {
  const uint64_t total = static_cast<uint64_t>(count) * width;
  return total <= UINT32_MAX && r.Has(at, static_cast<uint32_t>(total));
}

// A u32 count followed by `count` items of `width` bytes, all inside the
// image; count 0 and a null table when anything is missing or leaves it.
struct CountedTable {
  ImageRef table;
  uint32_t count = 0;

  ImageRef Item(uint32_t i, uint32_t width) const {
    if (i >= count) return {};
    return table.At(4 + i * width);
  }
};

inline CountedTable ReadCountedTable(const ImageRef& table, uint32_t width) {
  if (!table || !table.Has(0, 4)) return {};
  const uint32_t count = table.U32(0);
  if (!FitsArray(table, 4, count, width)) return {};
  return {table, count};
}

// A CountedString reference that lies wholly inside the image, or null.
inline ImageRef CheckedText(const ImageRef& text) {
  if (!text.Has(0, 2) || !text.Has(2, 2u * text.U16(0))) return {};
  return text;
}

// DefaultMap lookup: first group with `key`, then the first entry of its
// table whose low 24 bits equal `id`.
inline bool LookupDefaultMap(const ImageRef& map, uint32_t key, uint32_t id, uint32_t* value) {
  const CountedTable groups = ReadCountedTable(map, kMapEntrySize);
  for (uint32_t g = 0; g < groups.count; ++g) {
    const ImageRef group = groups.Item(g, kMapEntrySize);
    if (group.U32(0) != key) continue;
    const CountedTable entries = ReadCountedTable(group.Ref(4), kMapEntrySize);
    for (uint32_t e = 0; e < entries.count; ++e) {
      const ImageRef entry = entries.Item(e, kMapEntrySize);
      if ((entry.U32(0) & kIndexMask) == id) {
        if (value) *value = entry.U32(4);
        return true;
      }
    }
    return false;
  }
  return false;
}

}  // namespace prt::layout
