#include "data/set/DataSet.h"

#include <algorithm>
#include <cstring>

#include "data/set/ImageLayout.h"

namespace prt {

// The checked table reads and the language header's words.
using namespace layout;

std::optional<DataSet> DataSet::FromImage(std::span<const uint8_t> image, uint32_t storedLanguage) {
  platform::ByteBlock block(image.size());
  if (!block.Valid()) return std::nullopt;
  std::copy(image.begin(), image.end(), block.Data());
  std::optional<DataSet> data = FromImage(std::move(block), 0, image.size());
  if (data) data->SetStoredLanguage(storedLanguage);
  return data;
}

std::optional<DataSet> DataSet::FromImage(platform::ByteBlock block, size_t offset, size_t size) {
  if (offset > block.Size() || size > block.Size() - offset) return std::nullopt;
  const uint8_t* image = block.Data() + offset;
  if (size < layout::kImageMagicLength || std::memcmp(image, layout::kImageMagic, layout::kImageMagicLength) != 0)
    return std::nullopt;
  // References are 32-bit offsets: a larger block could not be addressed.
  if (size > UINT32_MAX) return std::nullopt;
  return DataSet(std::move(block), offset, static_cast<uint32_t>(size), 0);
}

DataSet::DataSet(platform::ByteBlock block, size_t offset, uint32_t size, uint32_t storedLanguage)
    : image_(std::make_unique<RuntimeImage>(std::move(block), offset, size)) {
  objectTexts_ = DefaultMapIndex::Build(HeaderRef(layout::kObjectTextMap));
  const ImageRef root = image_->Root();
  for (uint32_t type = 0; type < records_.size(); ++type) {
    if (!root.Has(layout::RecordSizeByte(type), 8)) continue;
    const uint32_t size = root.U32(layout::RecordSizeByte(type));
    const ImageRef table = root.Ref(layout::RecordTableByte(type));
    if (!table.Has(0, 4)) continue;
    const uint32_t count = table.U32(0);
    // Every record holds at least its link list and its own reference.
    if ((count > 0 && size < 8) || !FitsArray(table, 4, count, size)) continue;
    records_[type] = {table, count, size};
  }
  SetStoredLanguage(storedLanguage);
}

DataSet::Links DataSet::ObjectLinks(uint32_t reference) const {
  const CountedTable links = ReadCountedTable(RecordStart(reference).Ref(kRecordLinksByte), kLinkEntrySize);
  return {links.table, links.count};
}

ImageRef DataSet::LanguageHeader() const {
  const ImageRef header = HeaderRef(layout::kLanguageHeader);
  if (!header.Has(0, kLanguagesByte)) return {};
  if (!FitsArray(header, kLanguagesByte, header.U32(kLanguageCountByte), kLanguageEntrySize)) return {};
  return header;
}

ImageRef DataSet::LanguageEntry(uint32_t language) const {
  const ImageRef header = LanguageHeader();
  if (language >= header.U32(kLanguageCountByte)) return {};
  return header.At(kLanguagesByte + language * kLanguageEntrySize);
}

uint32_t DataSet::LanguageCount() const { return LanguageHeader().U32(kLanguageCountByte); }

uint32_t DataSet::TextCount() const { return LanguageHeader().U32(kTextCountByte); }

ImageRef DataSet::Text(uint32_t number, uint32_t language) const {
  // The header is checked once here rather than again by LanguageEntry:
  // every object text of a document comes through this.
  const ImageRef header = LanguageHeader();
  const uint32_t count = header.U32(kTextCountByte);
  if (count == 0 || number >= count || language >= header.U32(kLanguageCountByte)) return {};
  const ImageRef texts = header.At(kLanguagesByte + language * kLanguageEntrySize).Ref(kTextArrayByte);
  if (!FitsArray(texts, 0, count, 4)) return {};
  return CheckedText(texts.Ref(4 * number));
}

std::optional<uint32_t> DataSet::ObjectTextNumber(uint32_t reference) const {
  uint32_t number = 0;
  if (!objectTexts_.Find(reference >> 24, reference & 0xFFFFFFu, &number)) return std::nullopt;
  return number;
}

ImageRef DataSet::ObjectText(uint32_t reference, uint32_t language) const {
  const std::optional<uint32_t> number = ObjectTextNumber(reference);
  return number ? Text(*number, language) : ImageRef();
}

uint16_t DataSet::StyleSelector(uint32_t language, uint16_t styleNumber) const {
  const uint32_t count = LanguageHeader().U32(kStyleCountByte);
  if (styleNumber >= count) return 0;
  const ImageRef selectors = LanguageEntry(language).Ref(kStyleArrayByte);
  if (!FitsArray(selectors, 0, count, 2)) return 0;
  return selectors.U16(2u * styleNumber);
}

uint16_t DataSet::FontIndex(uint32_t language, uint16_t fontNumber, uint16_t selector) const {
  const uint32_t count = LanguageHeader().U32(kFontNumberCountByte);
  if (count == 0 || fontNumber >= count) return 0;
  const ImageRef fonts = LanguageEntry(language).Ref(kFontArrayByte);
  if (!FitsArray(fonts, 0, count, 4)) return 0;
  const ImageRef variants = fonts.Ref(4u * fontNumber);
  if (!variants.Has(0, kFontVariantsSize)) return 0;
  return variants.U16(2u * (selector & 3u));
}

bool DataSet::LanguageFontInfo(uint32_t language, uint16_t fontNumber, uint16_t styleNumber, FontInfo& info) const {
  const uint16_t selector = StyleSelector(language, styleNumber);
  const uint16_t index = FontIndex(language, fontNumber, selector);
  const CountedTable fonts = ReadCountedTable(HeaderRef(layout::kFontTable), 4);
  if (index >= fonts.count) return false;
  const ImageRef font = fonts.table.Ref(4 + 4u * index);
  if (!font.Has(0, kFontRecordSize)) return false;
  info.pointSize = font.U16(kFontSizeByte);
  info.bold = font.U8(kFontStyleByte) & 1u;
  info.italic = (font.U8(kFontStyleByte) >> 1) & 1u;
  info.underline = (selector >> 2) & 1u;
  const ImageRef face = font.Ref(kFontFaceByte);
  if (!face) return false;
  info.faceName = face.ReadCString(kFaceNameByte);
  info.faceData = face.At(kFaceDataByte);
  return true;
}

}  // namespace prt
