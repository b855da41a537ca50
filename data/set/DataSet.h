#pragma once
// A loaded data set as a value: the runtime image with the questions the
// conversion asks of it. Every query is const and reads only the image, so
// any number of threads may ask at once; nothing here has a current
// language: texts and fonts are asked for a given one.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "data/files/WorkingCopy.h"
#include "data/image/RuntimeImage.h"
#include "data/set/DefaultMapIndex.h"

namespace prt {

// One font of one language, as a font array writes it.
struct FontInfo {
  std::string faceName;  // 8-bit face name
  ImageRef faceData;     // face block byte 36
  uint32_t pointSize = 0;
  uint8_t bold = 0;
  uint8_t italic = 0;
  uint8_t underline = 0;
};

class DataSet {
 public:
  // Takes the image as loaded; nullopt when it does not start with the
  // image magic or is too large for 32-bit references.
  static std::optional<DataSet> FromImage(std::span<const uint8_t> image, uint32_t storedLanguage = 0);
  // The same for the image as the `size` bytes of `block` from `offset` on.
  static std::optional<DataSet> FromImage(platform::ByteBlock block, size_t offset, size_t size);

  DataSet(DataSet&&) noexcept = default;
  DataSet& operator=(DataSet&&) noexcept = default;

  const RuntimeImage& Image() const { return *image_; }
  // The name the data file's container gives the data set.
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  // Keeps the working folder the image was loaded from locked as long as
  // the data set lives.
  void HoldWorkingFolder(WorkingCopy copy) { heldCopy_.emplace(std::move(copy)); }
  uint32_t ImageSize() const { return image_->Size(); }
  // The reference stored in header word `word`.
  ImageRef HeaderRef(uint32_t word) const { return image_->Root().Ref(4 * word); }

  // ---- Objects ----
  struct RecordTable {
    ImageRef table;
    uint32_t count = 0;
    uint32_t size = 0;
    // Record i from its link-list word; null past the count.
    ImageRef Record(uint32_t i) const { return i < count ? table.At(4 + i * size) : ImageRef(); }
  };
  // The record table of a type, validated against the image.
  RecordTable Records(uint32_t typeNumber) const {
    return typeNumber < records_.size() ? records_[typeNumber] : RecordTable();
  }
  uint32_t ObjectCount(uint32_t typeNumber) const { return Records(typeNumber).count; }
  // The record as the controls read it: from the object's own reference on.
  ImageRef ObjectRecord(uint32_t reference) const { return RecordStart(reference).At(4); }
  // Record word 0 (the link list reference) of an object; null when absent.
  ImageRef RecordStart(uint32_t reference) const { return Records(reference >> 24).Record(reference & 0xFFFFFFu); }
  // An object's link list, found once: entry k (8 bytes), null past its end.
  struct Links {
    ImageRef table;
    uint32_t count = 0;
    ImageRef operator[](uint32_t k) const { return k < count ? table.At(4 + k * 8) : ImageRef(); }
  };
  Links ObjectLinks(uint32_t reference) const;
  ImageRef ObjectLink(uint32_t reference, uint32_t k) const { return ObjectLinks(reference)[k]; }
  uint32_t ObjectLinkCount(uint32_t reference) const { return ObjectLinks(reference).count; }

  // ---- Languages, texts and fonts ----
  uint32_t LanguageCount() const;
  // The language the project's language file names (0 when it names none
  // below the count).
  uint32_t StoredLanguage() const { return storedLanguage_; }
  void SetStoredLanguage(uint32_t language) { storedLanguage_ = language < LanguageCount() ? language : 0; }
  uint32_t TextCount() const;
  // Text `number` of `language`: a CountedString wholly inside the image, or null.
  ImageRef Text(uint32_t number, uint32_t language) const;
  // The object's text number from the object text map.
  std::optional<uint32_t> ObjectTextNumber(uint32_t reference) const;
  // The object's text in `language`; null when it has none there.
  ImageRef ObjectText(uint32_t reference, uint32_t language) const;
  // The language header with its entries inside the image; null when not.
  ImageRef LanguageHeader() const;
  // The language's entry of the language header; null past the count.
  ImageRef LanguageEntry(uint32_t language) const;
  uint16_t StyleSelector(uint32_t language, uint16_t styleNumber) const;
  uint16_t FontIndex(uint32_t language, uint16_t fontNumber, uint16_t selector) const;
  // Fills `info` for a font number and style of `language`; false when the
  // font or its face cannot be found (size and flags may be filled then).
  bool LanguageFontInfo(uint32_t language, uint16_t fontNumber, uint16_t styleNumber, FontInfo& info) const;

 private:
  DataSet(platform::ByteBlock block, size_t offset, uint32_t size, uint32_t storedLanguage);

  // On the heap: references into the image hold its address.
  std::unique_ptr<RuntimeImage> image_;
  DefaultMapIndex objectTexts_;
  std::array<RecordTable, 256> records_;  // by type, validated once: trees look them up per link
  uint32_t storedLanguage_ = 0;
  std::string name_;
  std::optional<WorkingCopy> heldCopy_;
};

}  // namespace prt
