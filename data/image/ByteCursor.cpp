#include "data/image/ByteCursor.h"

#include <algorithm>

#include "platform/Endian.h"

namespace prt {

namespace {

bool SwapsHalves(ByteOrder order, uint8_t mode) { return order == ByteOrder::Little && (mode == 1 || mode == 2); }

}  // namespace

std::optional<uint64_t> LoadUInt(std::span<const uint8_t> bytes, size_t at, unsigned width, ByteOrder order) {
  if (width == 0 || width > 8 || at > bytes.size() || width > bytes.size() - at) return std::nullopt;
  return platform::LoadUnsigned(bytes.data() + at, width, order == ByteOrder::Big);
}

bool StoreUInt(std::span<uint8_t> bytes, size_t at, unsigned width, ByteOrder order, uint64_t value) {
  if (width == 0 || width > 8 || at > bytes.size() || width > bytes.size() - at) return false;
  platform::StoreUnsigned(bytes.data() + at, width, value, order == ByteOrder::Big);
  return true;
}

std::optional<uint64_t> LoadDouble(std::span<const uint8_t> bytes, size_t at, ByteOrder order, uint8_t mode) {
  if (!SwapsHalves(order, mode)) return LoadUInt(bytes, at, 8, order);
  const auto high = LoadUInt(bytes, at, 4, order);
  const auto low = at <= SIZE_MAX - 4 ? LoadUInt(bytes, at + 4, 4, order) : std::nullopt;
  if (!high || !low) return std::nullopt;
  return (*high << 32) | *low;
}

bool StoreDouble(std::span<uint8_t> bytes, size_t at, ByteOrder order, uint8_t mode, uint64_t bits) {
  if (!SwapsHalves(order, mode)) return StoreUInt(bytes, at, 8, order, bits);
  if (at > bytes.size() || bytes.size() - at < 8) return false;
  return StoreUInt(bytes, at, 4, order, bits >> 32) && StoreUInt(bytes, at + 4, 4, order, bits & 0xFFFFFFFFu);
}

bool ByteCursor::Bytes(std::span<uint8_t> out) {
  if (Remaining() < out.size()) return false;
  const auto from = bytes_.subspan(static_cast<size_t>(pos_), out.size());
  std::copy(from.begin(), from.end(), out.begin());
  pos_ += out.size();
  return true;
}

bool ByteCursor::Skip(uint64_t count) {
  if (Remaining() < count) return false;
  pos_ += count;
  return true;
}

}  // namespace prt
