#include "controls/Gradient.h"

namespace prt {

namespace {

// Entry i of a counted array {u32 count; u32 entries}; null past its count.
ImageRef Entry(const ImageRef& array, uint32_t i) {
  if (!array || i >= array.U32(0) || i > (UINT32_MAX - 4) / 4) return {};
  return array.At(4 + 4 * i);
}

}  // namespace

Gradient::Gradient(ImageRef info) : info_(info), positions_(info.Ref(4)), colours_(info.Ref(8)) {}

uint32_t Gradient::StoredPositions() const { return positions_ ? positions_.U32(0) : 0; }

float Gradient::Position(uint32_t i) const { return Entry(positions_, i).F32(0); }

ImageRef Gradient::Colour(uint32_t i) const { return Entry(colours_, i); }

}  // namespace prt
