#pragma once
// Screens and controls in the form the controls read them: geometry, flags,
// fills, popup frames and nested children, laid out as records of a
// ProjectBuilder with the right fields at the right offsets.
#include <optional>
#include <string>
#include <vector>

#include "tools/builder/ProjectBuilder.h"

namespace prt::builder {

// Record offsets as the controls see them (0 = own reference).
namespace offsets {
constexpr uint32_t kWord8 = 8, kX = 12, kY = 16, kSubRecord = 20, kW = 24, kH = 28, kFlags = 32;
constexpr uint32_t kBackground = 36, kBorderColour = 52, kBorderWidth = 56, kBorderRadius = 58,
                   kTitle = 60, kShape = 55;
constexpr uint32_t kSubRecordWord = 16;  // in the sub-record
constexpr uint32_t kNamedTable = 12;  // record word 4: {count; 24-byte entries, word 0 a name}
constexpr uint32_t kNamedEntrySize = 24;
constexpr uint32_t kPageNumber = 56;  // record word 15
}  // namespace offsets

constexpr uint32_t kFlagOutside = 0x10;  // bit 4: moved to (-w, -h)
constexpr uint32_t kFlagHidden = 0x8000;  // bit 15: hidden when word 8 is non-zero

// A popup title's font: a font number and a style number.
struct TitleFont {
  uint16_t number = 0;
  uint16_t style = 0;
};

struct PopupTitle {
  int32_t icon = -1;
  uint32_t textId = 0;
  Colour textColour = {0, 0, 0, 0xFF};
  std::optional<Gradient> background;  // absent: DefaultFill()
  TitleFont font;
  uint16_t height = 0;
  bool closeButton = false;  // flag bit 0
  uint8_t flags = 0;
};

// The fill of a page, popup or title written without one: a single white
// stop. A fill of no stops gives an empty Gradient, which Qt refuses.
Gradient DefaultFill();

// A text by number, or one added for it.
struct TextRef {
  std::optional<TextRow> text;
  uint32_t number = 0;
};

// An entry of a named table: a name and fields relative to the entry.
struct NamedEntry {
  std::u16string name;
  std::vector<Field> fields;
};

struct ControlForm {
  uint8_t type = 0;
  std::string typeName;  // the name the type was given by; empty for a number
  std::optional<uint8_t> shape;  // byte 55 (vector graphics)
  // Write geometry, flags and sub-record (and a page's or popup's frame)
  // even when not given; false writes only what is set.
  bool standard = true;
  std::string label;
  std::optional<uint32_t> index;
  std::optional<uint32_t> ownReference;
  std::optional<uint32_t> recordSize;  // for the whole type
  bool emptyLinkList = false;

  std::optional<TextRow> text;  // object text map entry with a new text
  std::optional<uint32_t> textId;  // or with this text number
  std::optional<TextRef> textEx;  // entry of the second object text map

  std::optional<int32_t> x, y, w, h;
  std::optional<uint32_t> flags, word8;
  bool hidden = false;   // flag bit 15, and word 8 = 1 unless given
  bool outside = false;  // flag bit 4
  std::optional<uint32_t> subRecordWord;  // a new sub-record with this u32 at 16
  std::optional<Ref> subRecord;           // or a reference to an existing block

  std::optional<Gradient> background;
  std::optional<Colour> borderColour;
  std::optional<uint16_t> borderWidth, borderRadius;
  std::optional<PopupTitle> title;
  bool nullTitle = false;  // write reference 0 at 60 for a non-popup

  // Raw fields, written after the forms above in this order; offsets as the
  // record is seen from its own reference.
  std::vector<Field> recordWords, recordBytes;
  std::optional<uint32_t> pageNumber;  // record word 15
  std::optional<std::vector<NamedEntry>> namedEntries;  // record word 4; see AddNamedEntries
  std::vector<Field> fields;

  // This object's entry in its parent's link list.
  bool linked = true;
  uint8_t linkKind = 0;
  uint8_t linkSlot = 0;
  // Set: this child entry is a raw link only; nothing else is used.
  std::optional<Link> rawLink;

  std::string templateLabel;  // a link to this template comes first
  std::vector<ControlForm> children;
  std::vector<Link> links;  // raw links after the children
};

// Lays out the named tables of the form and its children, in that order,
// each as a field in front of the form's `fields`.
void AddNamedEntries(ProjectBuilder& builder, ControlForm& form);

// Adds the object and, recursively, its children (indexes in pre-order);
// answers the object's id.
ObjectId AddControl(ProjectBuilder& builder, const ControlForm& form);

}  // namespace prt::builder
