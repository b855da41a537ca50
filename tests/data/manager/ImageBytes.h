#pragma once
// Assembles runtime images byte by byte for the data manager tests, so a
// test can also write counts and references that a real data set never has.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace prt::test {

struct LinkData {
  uint8_t kind = 0;
  uint8_t present = 1;
  uint8_t slot = 0;
  uint32_t target = 0;
};

class ImageBytes {
 public:
  // A header with room for the pairs of type numbers 0 to lastType.
  explicit ImageBytes(uint32_t lastType = 80) {
    const char magic[] = "Tr@NQ-RTData";
    bytes_.assign(88 + 8 * (lastType + 1), 0);
    std::memcpy(bytes_.data(), magic, 12);
  }

  uint32_t Size() const { return static_cast<uint32_t>(bytes_.size()); }

  uint32_t U8(uint8_t v) {
    bytes_.push_back(v);
    return Size() - 1;
  }
  uint32_t U16(uint16_t v) {
    const uint32_t at = Size();
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
    return at;
  }
  uint32_t U32(uint32_t v) {
    const uint32_t at = Size();
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
    return at;
  }
  uint32_t Words(const std::vector<uint32_t>& words) {
    const uint32_t at = Size();
    for (uint32_t w : words) U32(w);
    return at;
  }
  uint32_t Bytes(std::string_view raw) {
    const uint32_t at = Size();
    bytes_.insert(bytes_.end(), raw.begin(), raw.end());
    return at;
  }
  void Align4() {
    while (Size() % 4) U8(0);
  }
  void Patch32(uint32_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
  }
  void Patch16(uint32_t at, uint16_t v) {
    bytes_.at(at) = static_cast<uint8_t>(v);
    bytes_.at(at + 1) = static_cast<uint8_t>(v >> 8);
  }
  void SetHeader(uint32_t word, uint32_t value) { Patch32(4 * word, value); }

  // A CountedString; answers the offset of its length word.
  uint32_t Counted(std::u16string_view text) {
    Align4();
    const uint32_t at = U16(static_cast<uint16_t>(text.size()));
    for (char16_t c : text) U16(c);
    return at;
  }

  // A link list {count; entries}.
  uint32_t Links(const std::vector<LinkData>& links) {
    Align4();
    const uint32_t at = U32(static_cast<uint32_t>(links.size()));
    for (const LinkData& l : links) {
      U8(l.kind);
      U8(l.present);
      U8(l.slot);
      U8(0);
      U32(l.target);
    }
    return at;
  }

  // The record table of type t; each record is given from word 2 on, word 0
  // is its link list and word 1 is filled with its own reference.
  struct Record {
    uint32_t links = 0;
    std::vector<uint32_t> words;
  };
  uint32_t Records(uint8_t t, uint32_t recordSize, const std::vector<Record>& records) {
    Align4();
    const uint32_t table = U32(static_cast<uint32_t>(records.size()));
    for (size_t i = 0; i < records.size(); ++i) {
      const uint32_t start = Size();
      bytes_.resize(start + recordSize, 0);
      Patch32(start, records[i].links);
      Patch32(start + 4, (static_cast<uint32_t>(t) << 24) | static_cast<uint32_t>(i));
      for (size_t w = 0; w < records[i].words.size() && 8 + 4 * w + 4 <= recordSize; ++w)
        Patch32(start + 8 + 4 * static_cast<uint32_t>(w), records[i].words[w]);
    }
    SetHeader(21 + 2 * t, recordSize);
    SetHeader(22 + 2 * t, table);
    return table;
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

  // A text or resource list {u16 kind, u16 count, entries}.
  uint32_t List(uint16_t kind, uint16_t count, const std::vector<uint32_t>& entryWords) {
    Align4();
    const uint32_t at = U16(kind);
    U16(count);
    Words(entryWords);
    return at;
  }
  // A counted table of references {u32 count, references}.
  uint32_t RefTable(const std::vector<uint32_t>& refs) {
    Align4();
    const uint32_t at = U32(static_cast<uint32_t>(refs.size()));
    Words(refs);
    return at;
  }

  std::vector<uint8_t> Take() const { return bytes_; }
  std::vector<uint8_t>& Raw() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

// One language of a language header.
struct LanguageData {
  uint32_t id = 0;
  std::vector<std::u16string> texts;        // empty text "\x01" stands for "no text"
  std::vector<uint32_t> resources;          // resource block references
  std::vector<std::vector<uint16_t>> fonts;  // per font number: four indexes
  std::vector<uint16_t> selectors;
};

// Marker for a text slot holding reference 0.
inline const std::u16string kNoText = u"\x01<none>";

// Writes a language header and its arrays; sets header word 6.
inline uint32_t WriteLanguages(ImageBytes& img, uint32_t textCount, uint32_t resourceCount, uint32_t fontCount,
                               uint32_t styleCount, const std::vector<LanguageData>& languages) {
  struct Arrays {
    uint32_t texts = 0, resources = 0, fonts = 0, styles = 0;
  };
  std::vector<Arrays> arrays;
  for (const LanguageData& lang : languages) {
    Arrays a;
    std::vector<uint32_t> textRefs;
    for (const std::u16string& t : lang.texts) textRefs.push_back(t == kNoText ? 0 : img.Counted(t));
    img.Align4();
    if (!textRefs.empty()) a.texts = img.Words(textRefs);
    if (!lang.resources.empty()) a.resources = img.Words(lang.resources);
    std::vector<uint32_t> fontRefs;
    for (const auto& variants : lang.fonts) {
      img.Align4();
      const uint32_t at = img.Size();
      for (uint16_t v : variants) img.U16(v);
      fontRefs.push_back(at);
    }
    img.Align4();
    if (!fontRefs.empty()) a.fonts = img.Words(fontRefs);
    if (!lang.selectors.empty()) {
      a.styles = img.Size();
      for (uint16_t s : lang.selectors) img.U16(s);
    }
    arrays.push_back(a);
  }
  img.Align4();
  const uint32_t header =
      img.Words({textCount, resourceCount, fontCount, styleCount, static_cast<uint32_t>(languages.size())});
  for (size_t i = 0; i < languages.size(); ++i)
    img.Words({languages[i].id, arrays[i].texts, arrays[i].resources, arrays[i].fonts, arrays[i].styles});
  img.SetHeader(6, header);
  return header;
}

// A font record {unused, flags, size, face} and its face block; answers the
// record. faceName empty: face reference 0.
inline uint32_t WriteFont(ImageBytes& img, uint8_t flags, uint16_t pointSize, const std::string& faceName) {
  uint32_t face = 0;
  if (!faceName.empty()) {
    img.Align4();
    face = img.U32(0);
    std::string name = faceName;
    name.resize(32, '\0');
    img.Bytes(name);
    img.Words({0xFACEDA7A});
  }
  img.Align4();
  const uint32_t at = img.U8(0);
  img.U8(flags);
  img.U16(pointSize);
  img.U32(face);
  return at;
}

inline uint32_t WriteFontTable(ImageBytes& img, const std::vector<uint32_t>& fonts) {
  img.Align4();
  const uint32_t at = img.U32(static_cast<uint32_t>(fonts.size()));
  img.Words(fonts);
  img.SetHeader(10, at);
  return at;
}

}  // namespace prt::test
