#pragma once
// The one reader of a GradientInfo as the image stores it: a stop count
// byte, an orientation byte, then references to the counted arrays of stop
// positions (floats) and colours (four bytes each).
#include <cstdint>

#include "data/image/RuntimeImage.h"

namespace prt {

class Gradient {
 public:
  explicit Gradient(ImageRef info);

  uint8_t Count() const { return info_.U8(0); }
  uint8_t Orientation() const { return info_.U8(1); }
  // The positions the array itself holds (0 without one).
  uint32_t StoredPositions() const;
  // Stop i's position; 0 past the array.
  float Position(uint32_t i) const;
  // Stop i's colour; null past the array.
  ImageRef Colour(uint32_t i) const;

 private:
  ImageRef info_;
  ImageRef positions_;
  ImageRef colours_;
};

}  // namespace prt
