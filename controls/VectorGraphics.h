#pragma once
// Drawn shapes: one type number (40) whose record byte 55 picks the shape.
#include "controls/IControl.h"

namespace prt {

class VectorGfxBase : public IControl {
 public:
  static constexpr uint32_t kShapeOffset = 55;
  static constexpr int32_t kTypeNumber = 40;

  using IControl::IControl;
  bool WriteProperties() override { return true; }
};

class VectorGfxPolyline final : public VectorGfxBase {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(kTypeNumber, 0);
  explicit VectorGfxPolyline(ImageRef record) : VectorGfxBase(kIdentity, record) {}
};

// A circle is an ellipse of equal sides; it keeps the ellipse's QML type
// but takes the code "crcl".
class VectorGfxEllipse final : public VectorGfxBase {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(kTypeNumber, 1);
  static constexpr const char* kCircleCode = "crcl";
  explicit VectorGfxEllipse(ImageRef record);
};

class VectorGfxRectangle final : public VectorGfxBase {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(kTypeNumber, 2);
  explicit VectorGfxRectangle(ImageRef record) : VectorGfxBase(kIdentity, record) {}
};

class VectorGfxPolygon final : public VectorGfxBase {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(kTypeNumber, 3);
  explicit VectorGfxPolygon(ImageRef record) : VectorGfxBase(kIdentity, record) {}
};

class VectorGfxFlowBlock final : public VectorGfxBase {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(kTypeNumber, 4);
  explicit VectorGfxFlowBlock(ImageRef record) : VectorGfxBase(kIdentity, record) {}
};

// The creator registered for type 40; empty for a shape byte of 5 or more.
ControlPtr CreateVectorGraphic(ImageRef record);

}  // namespace prt
