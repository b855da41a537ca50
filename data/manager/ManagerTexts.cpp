// Texts, languages and fonts of the data manager.
#include <algorithm>
#include <ranges>
#include <string>

#include "data/manager/CPRFileServices.h"
#include "data/manager/CPRDataManager.h"
#include "data/set/ImageLayout.h"
#include "platform/Endian.h"

namespace prt {

using layout::CountedTable;
using layout::FitsArray;
using layout::ReadCountedTable;

ImageRef CPRDataManager::GetTextForLanguage(uint32_t number, uint32_t languageId) {
  const int32_t language = FindLanguageIndex(languageId);
  return language < 0 || !set_ ? ImageRef() : set_->Text(number, static_cast<uint32_t>(language));
}

int32_t CPRDataManager::FindLanguageIndex(uint32_t languageId) {
  if (!set_) return 0;
  const uint32_t count = GetLanguageCount();
  for (uint32_t i = 0; i < count; ++i)
    if (LanguageEntry(i).U32(0) == languageId) return static_cast<int32_t>(i);
  return -1;
}

ImageRef CPRDataManager::GetTextByKey(uint32_t key, int32_t languageId) {
  const CountedTable keys = ReadCountedTable(HeaderRef(layout::kKeyTable), 8);
  // Lower bound over the ascending keys.
  const auto indexes = std::views::iota(0u, keys.count);
  const auto first = std::ranges::partition_point(indexes, [&](uint32_t i) { return keys.Item(i, 8).U32(0) < key; });
  const ImageRef entry = keys.Item(static_cast<uint32_t>(first - indexes.begin()), 8);
  if (!entry || entry.U32(0) != key) return {};
  const uint32_t number = entry.U32(4);
  if (languageId != -1) return GetTextForLanguage(number, static_cast<uint32_t>(languageId));
  return GetText(number);
}

bool CPRDataManager::GetObjectTextEx(const uint32_t& reference, DataValue* value) {
  if (!value) return false;
  value->Clear(0, DataValue::kEmpty);  // releases a text the caller still held
  uint32_t number = 0;
  if (!DefaultMap(kObjectTexts2).Find(reference >> 24, GetObjectIndex(reference), &number)) return false;
  const ImageRef text = GetText(number);
  if (!text || text.U16(0) == 0) return false;
  value->SetText(text.Image()->Data() + text.Offset(), false, DataValue::kStatusGood);
  return true;
}

// ---- Per-language resources --------------------------------------------------

ImageRef CPRDataManager::GetLanguageResourceTable() {
  const uint32_t count = GetLanguageResourceCount();
  if (count == 0) return {};
  const ImageRef resources = LanguageEntry(currentLanguage_).Ref(layout::kResourceArrayByte);
  if (!FitsArray(resources, 0, count, 4)) return {};
  return resources;
}

ImageRef CPRDataManager::GetLanguageResource(uint32_t number) {
  if (number >= GetLanguageResourceCount()) return {};
  const ImageRef block = GetLanguageResourceTable().Ref(4 * number);
  if (!block.Has(0, 4) || block.U32(0) == 0) return {};
  return block.At(4);
}

bool CPRDataManager::GetObjectText(const uint32_t& reference, DataValue* value) {
  if (!value) return false;
  value->Clear(0, DataValue::kEmpty);  // releases a text the caller still held
  if (const std::optional<uint32_t> number = set_ ? set_->ObjectTextNumber(reference) : std::nullopt) {
    if (const ImageRef text = GetText(*number)) {
      value->SetText(text.Image()->Data() + text.Offset(), false, DataValue::kStatusGood);
      return false;
    }
  }
  const std::string placeholder =
      std::to_string(reference >> 24) + "#" + std::to_string(GetObjectIndex(reference));
  OwnedString* text = OwnedString::Create(std::u16string(placeholder.begin(), placeholder.end()));
  if (!text) {
    value->status = DataValue::kStatusNoCopy;
    return true;
  }
  value->SetOwnedText(text, DataValue::kStatusGood);
  return true;
}

bool CPRDataManager::SetLanguage(int16_t index, bool store) {
  const uint32_t count = GetLanguageCount();
  if (index == -1) {
    currentLanguage_ = currentLanguage_ + 1 < count ? currentLanguage_ + 1 : 0;
  } else if (index >= 0 && static_cast<uint32_t>(index) < count) {
    currentLanguage_ = static_cast<uint32_t>(index);
  } else {
    return false;
  }
  if (!store) return true;

  auto& files = CPRFileServices::GetInstance();
  FileHandle* file = files.Open(languageFile_, kOpenUpdate, kPathKindProject);
  if (!file) return false;
  uint8_t bytes[4];
  platform::StoreLE32(bytes, currentLanguage_);
  files.Seek(file, 0);
  files.Write(file, bytes, 4);
  files.Close(file);
  return true;
}

// ---- Fonts -----------------------------------------------------------------

ImageRef CPRDataManager::GetFontRecord(uint32_t index, ImageRef* record) {
  if (record) *record = {};
  const CountedTable fonts = ReadCountedTable(HeaderRef(layout::kFontTable), 4);
  const ImageRef font = index < fonts.count ? fonts.table.Ref(4 + 4 * index) : ImageRef();
  const ImageRef face = font.Has(0, 8) ? font.Ref(4) : ImageRef();
  if (face && record) *record = font;
  return face;
}

}  // namespace prt
