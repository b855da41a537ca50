#pragma once
// One sweep of the data manager's operations over whatever image it holds,
// for the hardening tests and the data-set fuzzer: the first objects (up to
// 8) of every type present and the one after them, their links, texts and
// the maps built from them; the lists of both tables (up to the first
// missing one) by position and by their own entries' values; texts, languages, fonts, settings tables and
// connection records. Under a sanitizer a read outside the image aborts.
#include <algorithm>
#include <cstring>

#include "data/manager/CPRDataManager.h"

namespace prt::test {

// False when a text handed out leaves the image, an object has no text (not
// even its placeholder) or a stored connection record does not load back
// as stored.
inline bool SweepManager(CPRDataManager& dm) {
  bool ok = true;
  auto inside = [&ok](const ImageRef& text) { ok = ok && (!text || text.Has(0, 2 + 2u * text.U16(0))); };
  DataValue value;
  std::vector<uint32_t> found;
  uint32_t out = 0;
  for (uint32_t type = 0; type < 256; ++type) {
    const uint32_t count = std::min(dm.GetObjectCount(type), 8u);
    for (uint32_t i = 0; count > 0 && i <= count; ++i) {
      const uint32_t reference = (type << 24) | i;
      dm.GetObjectRecord(reference);
      for (uint32_t k = 0; k <= std::min(dm.GetObjectLinkCount(reference), 8u); ++k) dm.GetObjectLink(reference, k);
      dm.FindObjectLink(reference, 2, static_cast<uint8_t>(i));
      dm.GetPageNumber(reference);
      dm.GetObjectTextEx(reference, &value);
      dm.GetObjectText(reference, &value);
      const std::optional<std::u16string> text = value.TextCopy();
      ok = ok && text;
      dm.FindObjectByName(value.ReadText(), &out);
      if (!text) continue;
      dm.FindReferencesByText(type, text->data(), static_cast<uint32_t>(text->size()), &found);
      dm.FindCachedReference(reference, *text);
    }
  }
  uint8_t status = 0;
  uint16_t kind = 0;
  for (uint32_t list = 0; list < 8 && (dm.GetListKind(list, 0, &kind) || dm.GetListKind(list, 1, &kind)); ++list) {
    const int32_t size = static_cast<int32_t>(std::min(dm.GetResourceListSize(list) + dm.GetTextListSize(list), 8u));
    for (int32_t position = -1; position <= size; ++position) {
      inside(dm.GetTextForPosition(list, position));
      for (int32_t entry : {dm.GetResourceListEntryValue(list, position, &status),
                            dm.GetTextListEntryValue(list, position, &status)}) {
        value.SetValue(DataValue::kInt32, static_cast<uint32_t>(entry));
        for (uint32_t bit : {0u, 5u, 32u}) {
          dm.FindResourceListEntry(list, &value, bit);
          dm.MapResourceListInteger(list, &value, bit);
          dm.GetResourceForValue(list, &value, bit);
          dm.FindTextListEntry(list, &value, bit);
          inside(dm.GetTextForValue(list, &value, bit));
        }
      }
    }
  }
  for (uint32_t n = 0; n <= std::min(dm.GetTextCount(), 16u); ++n) {
    for (uint32_t language = 0; language <= std::min(dm.GetLanguageCount(), 4u); ++language)
      inside(dm.GetTextForLanguage(n, dm.GetLanguageId(language)));
    inside(dm.GetTextByKey(n, -1));
    inside(dm.GetType15Text(n));
    dm.SelectPage(n, 0, -1, false);
    dm.GetLanguageResource(n);
  }
  FontInfo info;
  for (uint32_t language = 0; language <= std::min(dm.GetLanguageCount(), 4u); ++language) {
    dm.SetLanguage(static_cast<int16_t>(language), language == 1);
    for (uint16_t font = 0; font < 36; ++font) {
      dm.GetCurrentLanguageFontInfo(font / 4, font % 4, &info);
      dm.GetFontRecordForStyle(font / 4, font % 4);
    }
  }
  dm.SetLanguage(-1, true);
  for (uint32_t n = 0; n < 14; ++n) {
    dm.GetHeaderBlock11Item(n % 4, n);
    dm.GetSettingsTable20Entry(n, &out);
    dm.FindSettingsEntry(n);
  }
  dm.GetSettingsTable20Trailer(&out);
  // A record of each length in turn under two keys: whatever the file held
  // (without a file, storing fails).
  const uint8_t data[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  for (const auto& [key, length] : {std::pair<uint32_t, uint16_t>{0, 0}, {0, 9}, {~0u, 0}, {~0u, 9}}) {
    uint8_t back[9] = {};
    uint16_t backLength = 0xFFFF;
    if (dm.StoreConnectionRecord(&key, data, length))
      ok = ok && dm.LoadConnectionRecord(&key, back, &backLength) && backLength == length &&
           std::memcmp(back, data, length) == 0;
  }
  return ok;
}

}  // namespace prt::test
