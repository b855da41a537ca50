#pragma once
// The readable model of a runtime data set: objects with their record fields
// and link lists, texts per language, fonts, labelled blocks and header
// words. Build() lays it all out through an ImageWriter.
#include <array>
#include <bit>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/builder/ImageWriter.h"

namespace prt::builder {

// The value of a pointer field: a label (plus a delta), a raw offset, or none.
struct Ref {
  std::string label;  // empty: `offset` is the raw target
  uint32_t offset = 0;

  static Ref None() { return {}; }
  static Ref Raw(uint32_t target) { return {{}, target}; }
  static Ref To(std::string label, uint32_t delta = 0) { return {std::move(label), delta}; }
};

// A typed value at an offset of a record or block.
struct Field {
  // U8 to F64 in the order of FieldKind: a value field's kind is its type.
  enum class Type : uint8_t { U8, U16, U32, U64, F32, F64, Bytes, Ref };
  uint32_t at = 0;
  Type type = Type::U32;
  uint64_t bits = 0;  // a float or double as its bit pattern
  std::vector<uint8_t> bytes;
  prt::builder::Ref ref;

  static Field U8(uint32_t at, uint8_t v) { return {at, Type::U8, v}; }
  static Field U16(uint32_t at, uint16_t v) { return {at, Type::U16, v}; }
  static Field U32(uint32_t at, uint32_t v) { return {at, Type::U32, v}; }
  static Field I32(uint32_t at, int32_t v) { return {at, Type::U32, static_cast<uint32_t>(v)}; }
  static Field U64(uint32_t at, uint64_t v) { return {at, Type::U64, v}; }
  static Field F32(uint32_t at, float v) { return {at, Type::F32, std::bit_cast<uint32_t>(v)}; }
  static Field F64(uint32_t at, double v) { return {at, Type::F64, std::bit_cast<uint64_t>(v)}; }
  static Field Bytes(uint32_t at, std::vector<uint8_t> b) { return {at, Type::Bytes, 0, std::move(b)}; }
  static Field Pointer(uint32_t at, prt::builder::Ref r) { return {at, Type::Ref, 0, {}, std::move(r)}; }

  // Bytes the field occupies.
  uint32_t Width() const;
  FieldKind Kind() const { return static_cast<FieldKind>(type); }
};

// A colour as the image stores it: red, green, blue, alpha.
using Colour = std::array<uint8_t, 4>;
// "#aarrggbb" or "#rrggbb" (opaque); nullopt when malformed.
std::optional<Colour> ParseColour(const std::string& text);
// 0xAARRGGBB.
Colour ColourFromArgb(uint32_t argb);

// Fill descriptor (colour count, orientation, stop positions, colours).
struct Gradient {
  std::optional<uint8_t> count;  // default: number of colours
  uint8_t orientation = 0;
  std::optional<std::vector<float>> positions;  // nullopt: reference 0
  std::optional<std::vector<Colour>> colours;   // nullopt: reference 0
};

struct Link {
  uint8_t kind = 0;
  uint8_t present = 1;
  uint8_t slot = 0;
  uint8_t spare = 0;
  std::string object;   // object label; empty: `target` is the raw reference
  uint32_t target = 0;
};

struct Object {
  uint8_t type = 0;
  std::optional<uint32_t> index;  // default: next free index of the type
  std::string label;              // for links; optional
  std::optional<uint32_t> text;   // text number in the object text map
  std::vector<Field> fields;      // offsets as the controls see the record: 0 = own reference
  std::vector<Link> links;
  bool emptyLinkList = false;     // write a link list of count 0 when there are no links
  std::optional<uint32_t> ownReference;  // record word 1; default type << 24 | index
};

using ObjectId = size_t;

// A block of the image reachable through a label.
struct Block {
  std::string label;
  uint32_t size = 0;  // grown to cover the fields
  uint32_t align = 4;
  std::vector<Field> fields;
};

struct FontRecord {
  uint16_t size = 0;
  bool bold = false;
  bool italic = false;
  uint8_t flags = 0;   // further bits of byte 1
  uint8_t byte0 = 0;
  std::optional<std::string> face;  // nullopt: face block reference 0
  std::vector<uint8_t> faceData;    // from face block byte 36
};

// A text in every language, or one per language (none: no text there).
struct TextRow {
  std::optional<std::u16string> all;
  std::vector<std::optional<std::u16string>> perLanguage;
};

// The four font indexes (variants 0..3) of one font number.
using FontVariants = std::array<uint16_t, 4>;

struct Language {
  std::optional<uint32_t> id;  // default: the language's index
  std::vector<std::optional<FontVariants>> fonts;  // per font number; nullopt: reference 0
  std::vector<uint16_t> selectors;                 // style selectors
};

// A group of a DefaultMap: key, then (identifier, value) entries.
struct MapGroup {
  uint32_t key = 0;
  std::vector<std::pair<uint32_t, uint32_t>> entries;
  bool nullTable = false;  // group table reference 0
};

// A text or resource list: u16 kind, u16 entry count, then u32 entries
// (2 words each for kinds 1 and 2, 3 words for kind 3).
struct ValueList {
  uint16_t kind = 2;
  std::vector<std::vector<uint32_t>> entries;
  std::optional<uint16_t> count;  // stored count; default: number of entries
};

// A per-language resource: a block whose first word must be non-zero.
struct Resource {
  uint32_t first = 1;
  std::vector<uint8_t> data;  // from byte 4
};

// Overrides of the language header's counts (T, R, F, S, N); the arrays
// keep the sizes the content needs.
struct LanguageCounts {
  std::optional<uint32_t> texts, resources, fonts, selectors, languages;
};

struct ProjectSettings {
  uint32_t word15 = 0;
  uint32_t word19 = 0;
  bool flag = false;   // bit 0 of byte 23
  uint8_t byte23 = 0;
  uint32_t size = layout::kProjectSettingsSize;
};

struct RuntimeSettings {
  uint32_t flags = 0;
  uint32_t word1 = 0;
  uint32_t word2 = 0;
  std::optional<uint8_t> byte;  // word 3 refers to it; nullopt: reference 0
  std::optional<std::vector<std::pair<uint32_t, std::string>>> table16;  // number, name (4 bytes)
  std::optional<std::vector<uint32_t>> table20;  // raw words
};

// Block 11: entry n (1..12) at byte 68 - 4n; word 4 the highest valid entry.
struct Block11 {
  std::optional<uint32_t> highest;  // default: highest entry given
  std::map<uint32_t, Ref> entries;
  std::map<uint32_t, std::vector<Ref>> lists;  // entries that are lists {count; references}
};

class ProjectBuilder {
 public:
  static constexpr uint32_t kDefaultRecordSize = 72;
  static constexpr uint32_t kHeaderTypes = 256;

  // Objects. The index is fixed when the object is added.
  ObjectId AddObject(Object object);
  Object& GetObject(ObjectId id) { return objects_.at(id); }
  uint32_t ReferenceOf(ObjectId id) const;
  std::optional<ObjectId> FindObject(const std::string& label) const;

  // Bytes the record table of a type takes (count word and records up to the
  // highest index), so that callers can refuse a table before it is built.
  Built<uint64_t> RecordTableBytes(uint8_t type) const;

  // The first thing added that could not be (an index or a label taken, a
  // name too long); Build answers it.
  const std::optional<BuildError>& Error() const { return error_; }

  // Texts: one row per text number, one column per language.
  uint32_t AddText(std::u16string text);                              // same in every language
  uint32_t AddTexts(std::vector<std::optional<std::u16string>> perLanguage);
  uint32_t AddTexts(TextRow row);
  uint32_t TextCount() const { return static_cast<uint32_t>(texts_.size()); }

  void AddLanguage(Language language) { languages_.push_back(std::move(language)); }
  std::vector<Language>& Languages() { return languages_; }
  uint32_t AddFont(FontRecord font);

  // Labelled blocks and strings.
  void AddBlock(Block block);
  // A CountedString block; answers its label (generated when empty).
  std::string AddStringBlock(std::u16string text, std::string label = {});
  // Blocks for a fill descriptor's arrays; answers the fields of the 12-byte
  // descriptor placed at `at`.
  std::vector<Field> GradientFields(uint32_t at, const Gradient& gradient);
  bool HasBlock(const std::string& label) const { return blockLabels_.count(label) > 0; }
  // A fresh label for generated blocks.
  std::string NewLabel(const std::string& hint);

  // Second object text map (header word 16) entries: object -> text number.
  void SetObjectTextEx(ObjectId id, uint32_t textNumber) { textEx_[id] = textNumber; }
  // Per-language resources: one row per resource number.
  uint32_t AddResource(std::vector<std::optional<Resource>> perLanguage);

  // What the image takes as given rather than derived from the objects;
  // each part left empty is derived or absent.
  struct Given {
    // Record size of a type (table record, link word included); fields
    // beyond it are an error.
    std::map<uint8_t, uint32_t> recordSizes;
    // Record tables with count 0 (instead of reference 0) for types without objects.
    std::vector<uint8_t> emptyTables;
    // Header words (word index): a reference or a plain value.
    std::map<uint32_t, Ref> headerRefs;
    std::map<uint32_t, uint32_t> headerValues;
    uint32_t headerTypes = kHeaderTypes;  // (size, table) pairs in the header
    std::optional<std::vector<MapGroup>> objectTextMap;
    std::optional<std::vector<MapGroup>> secondTextMap;  // header word 16
    // List default map (header word 17); group 0 text lists, group 1 resource lists.
    std::optional<std::vector<MapGroup>> listDefaultMap;
    // Sorted key table (header word 15), written in the given order.
    std::optional<std::vector<std::pair<uint32_t, uint32_t>>> keyTable;
    // Text and resource list tables (header words 7 and 8); nullopt entries: reference 0.
    std::optional<std::vector<std::optional<ValueList>>> textLists, resourceLists;
    LanguageCounts languageCounts;
    std::optional<ProjectSettings> projectSettings;
    std::optional<RuntimeSettings> runtimeSettings;
    std::optional<Block11> block11;
  } given;

  Built<FinishedImage> Build() const;

 private:
  void Fail(std::string message);
  Built<uint32_t> RecordSize(uint8_t type) const;
  uint32_t WriteLanguages(ImageWriter& w) const;
  void WriteRecordTable(ImageWriter& w, uint8_t type) const;
  uint32_t WriteLinks(ImageWriter& w, const std::vector<Link>& links) const;
  void WriteHeaderParts(ImageWriter& w) const;
  std::vector<MapGroup> DerivedObjectTextMap() const;
  std::vector<MapGroup> DerivedSecondTextMap() const;

  std::vector<Object> objects_;
  std::map<std::string, ObjectId> objectLabels_;
  std::map<uint8_t, std::map<uint32_t, ObjectId>> byType_;  // type -> index -> object
  std::vector<TextRow> texts_;
  std::vector<Language> languages_;
  std::vector<FontRecord> fonts_;
  std::vector<Block> blocks_;
  std::map<std::string, size_t> blockLabels_;
  std::map<ObjectId, uint32_t> textEx_;
  std::vector<std::vector<std::optional<Resource>>> resources_;
  uint32_t nextLabel_ = 0;
  std::optional<BuildError> error_;
};

}  // namespace prt::builder
