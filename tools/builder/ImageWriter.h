#pragma once
// Assembles a little-endian runtime image and remembers, for every field
// written, how the container must convert it: the field layout list and the
// positions of the pointer fields come out of the same calls that write them.
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data/image/Layout.h"
#include "platform/Expected.h"

namespace prt::builder {

// Why the builder could not make a data set: what and where (the place
// in the description, and for a JSON text the line and column from 1).
struct BuildError {
  std::string message;
  size_t line = 0, column = 0;
};
template <typename T>
using Built = Expected<T, BuildError>;
inline Unexpected<BuildError> Refuse(std::string message) { return Unexpected(BuildError{std::move(message)}); }

using layout::FieldKind;

// Width in bytes of one value of `kind` (opaque: one byte).
uint32_t KindWidth(FieldKind kind);

struct LayoutEntry {
  uint8_t kind = 0;
  uint8_t count = 0;
  bool operator==(const LayoutEntry&) const = default;
};

// The finished image: bytes in little-endian order with plain doubles,
// pointer fields holding the target offset (0 = none).
struct FinishedImage {
  std::vector<uint8_t> bytes;
  std::vector<LayoutEntry> layout;
  std::vector<uint32_t> pointers;  // ascending
  std::map<std::string, uint32_t> labels;  // where each labelled block went
};

class ImageWriter {
 public:
  // The largest image the builder makes (the 3,200-screen benchmark project
  // needs about 26 MB); Allocate refuses to grow beyond it.
  static constexpr uint32_t kMaxSize = 128u << 20;

  uint32_t Size() const { return static_cast<uint32_t>(bytes_.size()); }

  // The first request that could not be met: from then on the writer
  // ignores every other, and Finish answers it.
  bool Failed() const { return error_.has_value(); }
  void Fail(std::string message);

  // Appends `size` zeroed opaque bytes at the next multiple of `align`;
  // answers their offset.
  uint32_t Allocate(uint32_t size, uint32_t align = 4);

  // A field of `kind` holding `bits` (a float or double as its bit pattern;
  // opaque: one byte).
  void Put(uint32_t at, FieldKind kind, uint64_t bits);
  // Opaque bytes, never converted.
  void PutBytes(uint32_t at, std::span<const uint8_t> data);

  // A 32-bit pointer field holding `target` (0 = none).
  void PutRef(uint32_t at, uint32_t target);
  // A pointer field to a label, resolved by Finish (target = label + delta).
  void PutRef(uint32_t at, const std::string& label, uint32_t delta = 0);

  // Allocates a CountedString (u16 length, then UTF-16 units); answers its offset.
  uint32_t AddCountedString(std::u16string_view text);

  void SetLabel(const std::string& label, uint32_t offset);

  // Resolves the label references and derives the layout list.
  Built<FinishedImage> Finish() const;

 private:
  static constexpr uint8_t kContinuation = 0x80;
  static constexpr uint8_t kPointer = 0x40;  // on a field start: a pointer field

  // False (and failed) unless `width` bytes from `at` lie in the image.
  bool Check(uint32_t at, uint32_t width);
  // Turns every field overlapping [at, at+width) back into opaque bytes.
  void Clear(uint32_t at, uint32_t width);
  void Mark(uint32_t at, FieldKind kind);

  struct Fixup {
    std::string label;
    uint32_t delta;
  };

  std::vector<uint8_t> bytes_;
  // Per byte: 0 opaque, 1..5 field start (| kPointer), kContinuation. One
  // byte per image byte keeps the bookkeeping within the image limit.
  std::vector<uint8_t> kinds_;
  std::map<uint32_t, Fixup> fixups_;
  std::map<std::string, uint32_t> labels_;
  std::optional<BuildError> error_;
};

}  // namespace prt::builder
