#include "tools/builder/ImageWriter.h"

#include <algorithm>
#include <cstring>

#include "platform/Endian.h"

namespace prt::builder {

uint32_t KindWidth(FieldKind kind) {
  const auto k = static_cast<size_t>(kind);
  return k < layout::kKindWidth.size() ? layout::kKindWidth[k] : 1;
}

void ImageWriter::Fail(std::string message) {
  if (!error_) error_ = BuildError{std::move(message)};
}

uint32_t ImageWriter::Allocate(uint32_t size, uint32_t align) {
  if (align == 0) align = 1;
  uint64_t start = bytes_.size();
  start = (start + align - 1) / align * align;
  const uint64_t end = start + size;
  if (end > kMaxSize && !error_)
    Fail("the image would take " + std::to_string(end) + " bytes (limit " + std::to_string(kMaxSize) + ")");
  if (error_) return 0;
  // Growth stops at the limit, not at twice the last size.
  if (end > bytes_.capacity()) {
    const size_t capacity = std::min<uint64_t>(std::max<uint64_t>(end, 2 * bytes_.capacity()), kMaxSize);
    bytes_.reserve(capacity);
    kinds_.reserve(capacity);
  }
  bytes_.resize(end, 0);
  kinds_.resize(end, 0);
  return static_cast<uint32_t>(start);
}

bool ImageWriter::Check(uint32_t at, uint32_t width) {
  if (!error_ && (at > bytes_.size() || width > bytes_.size() - at))
    Fail("write of " + std::to_string(width) + " bytes at " + std::to_string(at) + " outside the image of " +
         std::to_string(bytes_.size()) + " bytes");
  return !error_;
}

void ImageWriter::Clear(uint32_t at, uint32_t width) {
  for (uint32_t b = at; b < at + width; ++b) {
    if (kinds_[b] == 0) continue;
    uint32_t start = b;
    while (kinds_[start] == kContinuation) --start;
    const uint32_t w = KindWidth(static_cast<FieldKind>(kinds_[start] & ~kPointer));
    for (uint32_t i = start; i < start + w; ++i) kinds_[i] = 0;
    fixups_.erase(start);
  }
}

void ImageWriter::Mark(uint32_t at, FieldKind kind) {
  const uint32_t w = KindWidth(kind);
  Clear(at, w);
  if (kind == FieldKind::Opaque) return;
  kinds_[at] = static_cast<uint8_t>(kind);
  for (uint32_t i = 1; i < w; ++i) kinds_[at + i] = kContinuation;
}

void ImageWriter::Put(uint32_t at, FieldKind kind, uint64_t bits) {
  if (!Check(at, KindWidth(kind))) return;
  Mark(at, kind);
  platform::StoreUnsigned(bytes_.data() + at, KindWidth(kind), bits);
}

void ImageWriter::PutBytes(uint32_t at, std::span<const uint8_t> data) {
  const uint32_t n = static_cast<uint32_t>(data.size());
  if (!Check(at, n)) return;
  Clear(at, n);
  if (n) std::memcpy(bytes_.data() + at, data.data(), n);
}

void ImageWriter::PutRef(uint32_t at, uint32_t target) {
  Put(at, FieldKind::Int32, target);
  if (!error_) kinds_[at] |= kPointer;
}

void ImageWriter::PutRef(uint32_t at, const std::string& label, uint32_t delta) {
  PutRef(at, 0);
  if (!error_) fixups_[at] = Fixup{label, delta};
}

uint32_t ImageWriter::AddCountedString(std::u16string_view text) {
  if (text.size() > 0xFFFF) Fail("text longer than 65535 units");
  if (error_) return 0;
  const uint32_t n = static_cast<uint32_t>(text.size());
  const uint32_t at = Allocate(2 + 2 * n, 2);
  Put(at, FieldKind::Int16, n);
  for (uint32_t i = 0; i < n; ++i) Put(at + 2 + 2 * i, FieldKind::Int16, text[i]);
  return at;
}

void ImageWriter::SetLabel(const std::string& label, uint32_t offset) {
  if (!labels_.emplace(label, offset).second) Fail("label \"" + label + "\" defined twice");
}

Built<FinishedImage> ImageWriter::Finish() const {
  if (error_) return Unexpected(*error_);
  FinishedImage out;
  out.bytes = bytes_;
  for (const auto& [at, fix] : fixups_) {
    const auto label = labels_.find(fix.label);
    if (label == labels_.end()) return Unexpected(BuildError{"unknown label \"" + fix.label + "\""});
    const uint64_t target = static_cast<uint64_t>(label->second) + fix.delta;
    if (target > UINT32_MAX) return Unexpected(BuildError{"reference to \"" + fix.label + "\" overflows"});
    platform::StoreLE32(out.bytes.data() + at, static_cast<uint32_t>(target));
  }
  out.labels = labels_;

  // Runs of equal kind; counts are 8-bit.
  const uint32_t size = Size();
  uint32_t i = 0;
  while (i < size) {
    const uint8_t kind = kinds_[i] & ~kPointer;
    const uint32_t w = KindWidth(static_cast<FieldKind>(kind));
    uint32_t count = 0;
    while (i < size && (kinds_[i] & ~kPointer) == kind && count < 255) {
      if (kinds_[i] & kPointer) out.pointers.push_back(i);
      i += w;
      ++count;
    }
    out.layout.push_back({kind, static_cast<uint8_t>(count)});
  }
  return out;
}

}  // namespace prt::builder
