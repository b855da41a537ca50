#pragma once
// Drawn shapes: one type number (40) whose record byte 55 picks the shape.
#include "controls/IControl.h"

namespace prt {

inline constexpr uint8_t kVectorType = 40;
inline constexpr uint32_t kShapeOffset = 55;

// The shape `kShape`; a circle is an ellipse (shape 1) of equal sides: it
// keeps the ellipse's QML type but takes the code "crcl".
template <int kShape>
class VectorGfx final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(kVectorType, kShape);
  static constexpr const char* kCircleCode = "crcl";
  explicit VectorGfx(ImageRef record) : IControl(kIdentity, record) {
    if (kShape == 1 && record && record.I32(rec::kHeight) == record.I32(rec::kWidth)) typeCode = kCircleCode;
  }
  bool WriteProperties() override { return true; }
};

using VectorGfxPolyline = VectorGfx<0>;
using VectorGfxEllipse = VectorGfx<1>;
using VectorGfxRectangle = VectorGfx<2>;
using VectorGfxPolygon = VectorGfx<3>;
using VectorGfxFlowBlock = VectorGfx<4>;

// The creator registered for type 40; empty for a shape byte of 5 or more.
ControlPtr CreateVectorGraphic(ImageRef record);

}  // namespace prt
