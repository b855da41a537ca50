#pragma once
// Positions in the runtime image and the checked table reads every lookup
// of the data set and the data manager share.
#include <cstdint>

#include "data/image/RuntimeImage.h"

namespace prt::layout {

// Header words of the image (byte = 4 × word).
inline constexpr uint32_t kLanguageHeader = 6;
inline constexpr uint32_t kTextLists = 7;
inline constexpr uint32_t kResourceLists = 8;
inline constexpr uint32_t kFontTable = 10;
inline constexpr uint32_t kBlock11 = 11;
inline constexpr uint32_t kBlock13 = 13;
inline constexpr uint32_t kObjectTextMap = 14;
inline constexpr uint32_t kKeyTable = 15;
inline constexpr uint32_t kObjectTextMap2 = 16;
inline constexpr uint32_t kListDefaultMap = 17;
inline constexpr uint32_t kProjectSettings = 18;
inline constexpr uint32_t kRuntimeSettings = 19;

// The language header: counts of texts, resources, font numbers, styles
// and languages, then one entry per language {id, texts, resources, fonts,
// styles}, each a word.
inline constexpr uint32_t kTextCountByte = 0;
inline constexpr uint32_t kResourceCountByte = 4;
inline constexpr uint32_t kFontNumberCountByte = 8;
inline constexpr uint32_t kStyleCountByte = 12;
inline constexpr uint32_t kLanguageCountByte = 16;
inline constexpr uint32_t kLanguagesByte = 20;
inline constexpr uint32_t kLanguageEntrySize = 20;
inline constexpr uint32_t kTextArrayByte = 4;
inline constexpr uint32_t kResourceArrayByte = 8;
inline constexpr uint32_t kFontArrayByte = 12;
inline constexpr uint32_t kStyleArrayByte = 16;

inline constexpr char kImageMagic[] = "Tr@NQ-RTData";
inline constexpr uint32_t kImageMagicLength = 12;

// Header word 21 + 2t: record size; word 22 + 2t: record table.
inline constexpr uint32_t RecordSizeByte(uint32_t t) { return 84 + 8 * t; }
inline constexpr uint32_t RecordTableByte(uint32_t t) { return 88 + 8 * t; }

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
  const CountedTable groups = ReadCountedTable(map, 8);
  for (uint32_t g = 0; g < groups.count; ++g) {
    const ImageRef group = groups.Item(g, 8);
    if (group.U32(0) != key) continue;
    const CountedTable entries = ReadCountedTable(group.Ref(4), 8);
    for (uint32_t e = 0; e < entries.count; ++e) {
      const ImageRef entry = entries.Item(e, 8);
      if ((entry.U32(0) & 0xFFFFFFu) == id) {
        if (value) *value = entry.U32(4);
        return true;
      }
    }
    return false;
  }
  return false;
}

}  // namespace prt::layout
