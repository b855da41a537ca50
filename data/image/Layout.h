#pragma once
// Where everything lies in a data file: the transfer container around the
// payload, and the runtime image the payload becomes. The reader, the data
// set's lookups and the builder's writers all take their offsets from here.
#include <array>
#include <cstdint>

namespace prt::layout {

// ---- The transfer container (numbers in the file's byte order) ----------

inline constexpr char kContainerMagic[] = "Tr@NQ-Transfer";
inline constexpr uint32_t kContainerMagicSize = 14;
inline constexpr uint32_t kByteOrderMarkByte = 14;  // FF FE: little-endian, FE FF: big-endian
inline constexpr uint32_t kReservedByte = 16;       // 3 bytes, not read
inline constexpr uint32_t kModeByte = 19;           // how doubles are stored
inline constexpr uint32_t kHeadBytesByte = 20;      // 4 bytes, kept, not interpreted
inline constexpr uint32_t kHeaderLengthByte = 24;   // H: where the sections end
inline constexpr uint32_t kFirstSectionByte = 28;

// A section head: u32 type, 4 bytes not interpreted, u32 length counted
// from the head's first byte.
inline constexpr uint32_t kSectionHeadSize = 12;
enum SectionType : uint32_t {
  kLayoutSection = 1000,   // {u8 kind, u8 count} entries
  kPointerSection = 2000,  // u32 base B, u32 null value Z, then pointer positions
  kListA = 3000,           // u32 word of its own, then payload positions
  kListB = 4000,           // likewise
  kNameSection = 5000,     // u16 count, then 16-bit units of an 8-bit name
  kListC = 6000,           // payload positions
  kListD = 7000,           // likewise
};

// Layout kinds of section 1000, and the width of one value of each; kinds
// past the table describe nothing.
enum class FieldKind : uint8_t { Opaque = 0, Int16 = 1, Int32 = 2, Int64 = 3, Float = 4, Double = 5 };
inline constexpr std::array<uint8_t, 6> kKindWidth{1, 2, 4, 8, 4, 8};

// ---- The runtime image (little-endian; references are image offsets) ----

inline constexpr char kImageMagic[] = "Tr@NQ-RTData";
inline constexpr uint32_t kImageMagicLength = 12;

// Header words (byte = 4 × word).
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
// The header words that hold references in every image.
inline constexpr uint32_t kReferenceWords[] = {kLanguageHeader, kTextLists,     kResourceLists,  kFontTable,
                                               kBlock11,        kBlock13,       kObjectTextMap,  kKeyTable,
                                               kObjectTextMap2, kListDefaultMap, kProjectSettings, kRuntimeSettings};

// Header word 21 + 2t: record size of type t; word 22 + 2t: its record table.
inline constexpr uint32_t kTypePairsWord = 21;
inline constexpr uint32_t RecordSizeByte(uint32_t t) { return 4 * (kTypePairsWord + 2 * t); }
inline constexpr uint32_t RecordTableByte(uint32_t t) { return RecordSizeByte(t) + 4; }

// A record table: u32 count, then the records. A record: word 0 refers to
// its link list, word 1 is the object's own reference (top 8 bits the type,
// low 24 the index); the controls see the record from word 1 on.
inline constexpr uint32_t kRecordLinksByte = 0;
inline constexpr uint32_t kRecordOwnReferenceByte = 4;
inline constexpr uint32_t kIndexMask = 0xFFFFFF;

// A link list: u32 count, then 8-byte entries.
inline constexpr uint32_t kLinkEntrySize = 8;
inline constexpr uint32_t kLinkKindByte = 0;
inline constexpr uint32_t kLinkPresentByte = 1;  // non-zero: the entry names a target
inline constexpr uint32_t kLinkSlotByte = 2;
inline constexpr uint32_t kLinkSpareByte = 3;  // not read
inline constexpr uint32_t kLinkTargetByte = 4;

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
// A font number's entry of a font array: four u16 font indexes, one per variant.
inline constexpr uint32_t kFontVariantsSize = 8;

// A font record of the font table, and the face block it refers to.
inline constexpr uint32_t kFontByte0 = 0;      // not interpreted
inline constexpr uint32_t kFontStyleByte = 1;  // bit 0 bold, bit 1 italic
inline constexpr uint32_t kFontSizeByte = 2;   // u16 point size
inline constexpr uint32_t kFontFaceByte = 4;   // reference to the face block
inline constexpr uint32_t kFontRecordSize = 8;
inline constexpr uint32_t kFaceNameByte = 4;  // zero-terminated 8-bit name
inline constexpr uint32_t kFaceNameBytes = 32;
inline constexpr uint32_t kFaceDataByte = 36;

// A DefaultMap: u32 group count, then {u32 key, reference to a table of
// {u32 identifier, u32 value}} groups.
inline constexpr uint32_t kMapEntrySize = 8;

// A text or resource list: u16 kind, u16 entry count, then u32 entries.
inline constexpr uint32_t kListKindByte = 0;
inline constexpr uint32_t kListCountByte = 2;
inline constexpr uint32_t kListEntriesByte = 4;

// The project settings block.
inline constexpr uint32_t kProjectWord15Byte = 15;
inline constexpr uint32_t kProjectWord19Byte = 19;
inline constexpr uint32_t kProjectFlagByte = 23;  // bit 0
inline constexpr uint32_t kProjectSettingsSize = 24;

// The runtime settings block.
inline constexpr uint32_t kRuntimeFlagsByte = 0;
inline constexpr uint32_t kRuntimeWord1Byte = 4;
inline constexpr uint32_t kRuntimeWord2Byte = 8;
inline constexpr uint32_t kRuntimeByteRefByte = 12;
inline constexpr uint32_t kRuntimeTable16Byte = 16;  // {count; {u32 number, 4-byte name}}
inline constexpr uint32_t kRuntimeTable20Byte = 20;
inline constexpr uint32_t kRuntimeSettingsSize = 24;

// Block 11: word 4 is the highest valid entry; entry n (1..12) lies at
// byte 68 - 4n.
inline constexpr uint32_t kBlock11HighestByte = 16;
inline constexpr uint32_t kBlock11Entries = 12;
inline constexpr uint32_t kBlock11Size = 68;
inline constexpr uint32_t Block11EntryByte(uint32_t n) { return kBlock11Size - 4 * n; }

}  // namespace prt::layout
