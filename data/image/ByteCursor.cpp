#include "data/image/ByteCursor.h"

#include <algorithm>
#include <cstdio>

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

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

bool ByteCursor::Fits(uint64_t width) {
  if (Failed()) return false;
  if (Remaining() >= width) return true;
  std::string rule = "the file ends at " + Hex(bytes_.size());
  if (pos_ < bytes_.size()) rule += ", inside a " + std::to_string(width) + "-byte field";
  Fail(pos_, std::move(rule));
  return false;
}

uint64_t ByteCursor::Read(unsigned width) {
  if (!Fits(width)) return 0;
  const uint64_t value = *LoadUInt(bytes_, static_cast<size_t>(pos_), width, order_);
  pos_ += width;
  return value;
}

void ByteCursor::Bytes(std::span<uint8_t> out) {
  if (!Fits(out.size())) {
    std::fill(out.begin(), out.end(), uint8_t{0});
    return;
  }
  const auto from = bytes_.subspan(static_cast<size_t>(pos_), out.size());
  std::copy(from.begin(), from.end(), out.begin());
  pos_ += out.size();
}

std::span<const uint8_t> ByteCursor::Take(uint64_t count) {
  if (!Fits(count)) return {};
  const auto taken = bytes_.subspan(static_cast<size_t>(pos_), static_cast<size_t>(count));
  pos_ += count;
  return taken;
}

void ByteCursor::Skip(uint64_t count) {
  if (Fits(count)) pos_ += count;
}

Error ContainerFault(Error::Part part, uint32_t section, uint64_t offset, std::string rule) {
  return {.step = Error::Step::Container, .rule = std::move(rule), .part = part, .section = section, .offset = offset};
}

void ByteCursor::Fail(uint64_t offset, std::string rule) {
  if (!Failed()) error_ = ContainerFault(place_, section_, offset, std::move(rule));
}

}  // namespace prt
