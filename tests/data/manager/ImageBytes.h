#pragma once
// Assembles runtime images word by word, for tests that need to know where
// each table lies. Whole data sets come from tests/support/Dataset.h.
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace prt::test {

class ImageBytes {
 public:
  // A header with room for the pairs of type numbers 0 to 80.
  ImageBytes() : bytes_(88 + 8 * 81, 0) { std::memcpy(bytes_.data(), "Tr@NQ-RTData", 12); }

  uint32_t U32(uint32_t v) {
    const uint32_t at = static_cast<uint32_t>(bytes_.size());
    bytes_.resize(at + 4);
    Patch32(at, v);
    return at;
  }
  uint32_t Words(const std::vector<uint32_t>& words) {
    const uint32_t at = static_cast<uint32_t>(bytes_.size());
    for (uint32_t w : words) U32(w);
    return at;
  }
  void Align4() { bytes_.resize((bytes_.size() + 3) / 4 * 4); }
  void Patch32(uint32_t at, uint32_t v) {
    for (uint32_t i = 0; i < 4; ++i) bytes_.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
  }
  void SetHeader(uint32_t word, uint32_t value) { Patch32(4 * word, value); }
  // A CountedString (u16 length, UTF-16 units), 4-aligned; answers its offset.
  uint32_t Counted(std::u16string_view text) {
    Align4();
    const uint32_t at = static_cast<uint32_t>(bytes_.size());
    for (char16_t unit : char16_t(text.size()) + std::u16string(text)) {
      bytes_.push_back(static_cast<uint8_t>(unit));
      bytes_.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return at;
  }
  // A DefaultMap: groups of {key, entries {identifier, value}}.
  struct Group {
    uint32_t key;
    std::vector<std::pair<uint32_t, uint32_t>> entries;
  };
  uint32_t DefaultMap(const std::vector<Group>& groups) {
    std::vector<uint32_t> tables;
    for (const Group& g : groups) {
      Align4();
      tables.push_back(U32(static_cast<uint32_t>(g.entries.size())));
      for (auto [id, value] : g.entries) Words({id, value});
    }
    const uint32_t at = U32(static_cast<uint32_t>(groups.size()));
    for (size_t i = 0; i < groups.size(); ++i) Words({groups[i].key, tables[i]});
    return at;
  }
  std::vector<uint8_t> Take() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

struct LanguageData {
  uint32_t id = 0;
  std::vector<std::u16string> texts;
};

// A language header {T, R, F, S, N, languages} with text arrays; sets header word 6.
inline void WriteLanguages(ImageBytes& img, uint32_t texts, uint32_t resources, uint32_t fonts, uint32_t styles,
                           const std::vector<LanguageData>& languages) {
  std::vector<uint32_t> arrays;
  for (const LanguageData& lang : languages) {
    std::vector<uint32_t> refs;
    for (const std::u16string& t : lang.texts) refs.push_back(img.Counted(t));
    img.Align4();
    arrays.push_back(refs.empty() ? 0 : img.Words(refs));
  }
  const uint32_t header = img.Words({texts, resources, fonts, styles, static_cast<uint32_t>(languages.size())});
  for (size_t i = 0; i < languages.size(); ++i) img.Words({languages[i].id, arrays[i], 0, 0, 0});
  img.SetHeader(6, header);
}

}  // namespace prt::test
