#include "controls/VectorGraphics.h"

#include <array>

#include "controls/ControlFactory.h"

namespace prt {

VectorGfxEllipse::VectorGfxEllipse(ImageRef record) : VectorGfxBase(kIdentity, record) {
  if (record && record.I32(rec::kHeight) == record.I32(rec::kWidth)) typeCode = kCircleCode;
}

ControlPtr CreateVectorGraphic(ImageRef record) {
  // Indexed by the shape byte.
  static constexpr std::array<ControlCreator, 5> kShapes = {
      &Create<VectorGfxPolyline>, &Create<VectorGfxEllipse>, &Create<VectorGfxRectangle>,
      &Create<VectorGfxPolygon>, &Create<VectorGfxFlowBlock>};
  if (!record) return nullptr;
  const uint8_t shape = record.U8(VectorGfxBase::kShapeOffset);
  if (shape >= kShapes.size()) return nullptr;
  return kShapes[shape](record);
}

}  // namespace prt
