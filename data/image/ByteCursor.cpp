#include "data/image/ByteCursor.h"

#include <algorithm>
#include <cstdio>

#include "platform/Endian.h"

namespace prt {

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
  const uint64_t value = platform::LoadUnsigned(bytes_.data() + pos_, width, order_ == ByteOrder::Big);
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

ContainerError ContainerFault(ContainerError::Part part, uint32_t section, uint64_t offset, std::string rule) {
  return {.part = part, .section = section, .offset = offset, .rule = std::move(rule)};
}

void ByteCursor::Fail(uint64_t offset, std::string rule) {
  if (!Failed()) error_ = ContainerFault(place_, section_, offset, std::move(rule));
}

}  // namespace prt
