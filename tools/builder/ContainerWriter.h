#pragma once
// Writes the transfer container around a finished image: head, sections
// (layout, pointers, position lists, name, foreign sections) and the payload
// in the chosen byte order and double layout. Named corruptions produce the
// broken files that the loader must refuse.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/builder/ImageWriter.h"

namespace prt::builder {

enum class Endian : uint8_t { Little, Big };

enum class Corruption : uint8_t {
  None,
  BadMagic,                   // container magic differs in one character
  BadByteOrderMark,           // FF FF instead of a valid mark
  TruncatedPayload,           // the file ends one byte before the payload does
  PointerPositionOutOfRange,  // pointer position P-2: the field leaves the payload
  PointerValueOutOfRange,     // first pointer field holds B+P
  WrongImageMagic,            // twelfth byte of the image magic changed
  PositionListOutOfRange,     // position P in list C
  TruncatedHeader,            // the file ends inside the header length field
  TruncatedSection,           // the file ends inside the first section's entries
  DuplicatePointerPosition,   // the first pointer position listed twice in a row
  UnorderedPointerPositions,  // the first two pointer positions swapped
};

// Parses a corruption name as used in descriptions ("badMagic", ...).
std::optional<Corruption> CorruptionFromName(const std::string& name);

struct PositionList {
  uint32_t word = 0;  // leading word (sections 3000 and 4000 only)
  std::vector<uint32_t> positions;
};

// A section written as given; `type` may be any number.
struct RawSection {
  uint32_t type = 0;
  std::array<uint8_t, 4> headBytes{};
  std::vector<uint8_t> body;
  std::optional<uint32_t> length;  // stored L; default 12 + body size
  std::optional<uint32_t> insertAt;  // index among the sections; default: last
};

struct LayoutInsert {
  uint32_t at = 0;  // index in the layout list
  LayoutEntry entry;
};

struct ContainerOptions {
  Endian order = Endian::Little;
  uint8_t mode = 0;
  uint32_t pointerBase = 0x00010000;
  uint32_t nullValue = 0;
  std::optional<std::u16string> name;  // section 5000 when set
  std::array<uint8_t, 3> reserved{};   // bytes 16..18
  std::array<uint8_t, 4> headerBytes{};
  std::optional<PositionList> listA, listB, listC, listD;  // sections 3000, 4000, 6000, 7000
  std::vector<RawSection> extraSections;
  std::vector<LayoutInsert> layoutInserts;  // entries the payload does not need (kind 6+, count 0)
  std::vector<uint8_t> trailing;            // bytes after the payload
  Corruption corrupt = Corruption::None;
};

// Byte offsets of the parts of a written container, for tests.
struct ContainerLayout {
  uint32_t headerLength = 0;  // H
  uint32_t payloadStart = 0;
  uint32_t payloadSize = 0;  // P
  std::vector<std::pair<uint32_t, uint32_t>> sections;  // (type, start offset)
};

class ContainerWriter {
 public:
  // The largest container written: the image (at most ImageWriter::kMaxSize)
  // with its layout and pointer lists. The 3,200-screen benchmark project
  // needs about 32 MB.
  static constexpr uint32_t kMaxSize = 256u << 20;

  // The file, or why a request cannot be met (e.g. a pointer corruption in
  // an image without pointers).
  static Built<std::vector<uint8_t>> Write(const FinishedImage& image, const ContainerOptions& options,
                                           ContainerLayout* layout = nullptr);
};

}  // namespace prt::builder
