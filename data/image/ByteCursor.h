#pragma once
// Checked access to fixed-width numbers in a byte buffer. Every read
// reports failure as a value instead of reading past the end.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "data/image/ContainerError.h"
#include "data/image/TransferFileReader.h"

namespace prt {

// A container that breaks `rule` at `offset` of `part`.
ContainerError ContainerFault(ContainerError::Part part, uint32_t section, uint64_t offset, std::string rule);

// "0x1f40": offsets and values as the error texts show them.
std::string Hex(uint64_t value);

// A forward reader over a byte buffer in a chosen byte order, with a sticky
// error: the first read that does not fit (or the first Fail) records where
// and why; from then on every read answers 0 and the position stays, so a
// parser reads a whole group of fields and checks once.
class ByteCursor {
 public:
  explicit ByteCursor(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  void SetOrder(ByteOrder order) { order_ = order; }
  // The part of the file the next reads belong to, named in their errors.
  void SetPlace(ContainerError::Part place, uint32_t section = 0) {
    place_ = place;
    section_ = section;
  }
  uint64_t Position() const { return pos_; }
  // May move past the end; reads from there fail. Ignored after a failure.
  void Seek(uint64_t pos) {
    if (!Failed()) pos_ = pos;
  }
  // Bytes from the position to the end (0 when past it).
  uint64_t Remaining() const { return pos_ < bytes_.size() ? bytes_.size() - pos_ : 0; }

  uint8_t U8() { return static_cast<uint8_t>(Read(1)); }
  uint16_t U16() { return static_cast<uint16_t>(Read(2)); }
  uint32_t U32() { return static_cast<uint32_t>(Read(4)); }
  // Copies `out.size()` bytes; on failure `out` is zeroed.
  void Bytes(std::span<uint8_t> out);
  // The next `count` bytes in place, for a run of entries read in bulk;
  // empty on failure.
  std::span<const uint8_t> Take(uint64_t count);
  void Skip(uint64_t count);

  // Records that `rule` failed at `offset` in the current place, unless an
  // earlier failure is recorded already.
  void Fail(uint64_t offset, std::string rule);
  bool Failed() const { return error_.has_value(); }
  const std::optional<ContainerError>& Fault() const { return error_; }

 private:
  uint64_t Read(unsigned width);
  // False (and the error recorded) when `width` bytes are not left.
  bool Fits(uint64_t width);

  std::span<const uint8_t> bytes_;
  uint64_t pos_ = 0;
  ByteOrder order_ = ByteOrder::Little;
  ContainerError::Part place_ = ContainerError::Part::Head;
  uint32_t section_ = 0;
  std::optional<ContainerError> error_;
};

}  // namespace prt
