#pragma once
// Checked access to fixed-width numbers in a byte buffer. Every read
// reports failure as a value instead of reading past the end.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "data/image/TransferFileReader.h"

namespace prt {

// `width` bytes at `at` as an unsigned number in `order`; nullopt when
// they do not lie wholly inside `bytes`.
std::optional<uint64_t> LoadUInt(std::span<const uint8_t> bytes, size_t at, unsigned width, ByteOrder order);
// The inverse of LoadUInt; false when the field does not fit.
bool StoreUInt(std::span<uint8_t> bytes, size_t at, unsigned width, ByteOrder order, uint64_t value);

// A 64-bit double's bits. Modes 1 and 2 of a little-endian file keep the
// half with sign and exponent first.
std::optional<uint64_t> LoadDouble(std::span<const uint8_t> bytes, size_t at, ByteOrder order, uint8_t mode);
bool StoreDouble(std::span<uint8_t> bytes, size_t at, ByteOrder order, uint8_t mode, uint64_t bits);

// A forward reader over a byte buffer in a chosen byte order. The position
// may be moved past the end; reads from there fail.
class ByteCursor {
 public:
  explicit ByteCursor(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  void SetOrder(ByteOrder order) { order_ = order; }
  uint64_t Position() const { return pos_; }
  void Seek(uint64_t pos) { pos_ = pos; }
  // Bytes from the position to the end (0 when past it).
  uint64_t Remaining() const { return pos_ < bytes_.size() ? bytes_.size() - pos_ : 0; }

  std::optional<uint8_t> U8() { return Read<uint8_t>(1); }
  std::optional<uint16_t> U16() { return Read<uint16_t>(2); }
  std::optional<uint32_t> U32() { return Read<uint32_t>(4); }
  // Copies `out.size()` bytes; false (position unchanged) when too few are left.
  bool Bytes(std::span<uint8_t> out);
  bool Skip(uint64_t count);

 private:
  template <typename T>
  std::optional<T> Read(unsigned width) {
    if (Remaining() < width) return std::nullopt;
    const auto value = LoadUInt(bytes_, static_cast<size_t>(pos_), width, order_);
    if (!value) return std::nullopt;
    pos_ += width;
    return static_cast<T>(*value);
  }

  std::span<const uint8_t> bytes_;
  uint64_t pos_ = 0;
  ByteOrder order_ = ByteOrder::Little;
};

}  // namespace prt
