#include "controls/VectorGraphics.h"

#include <array>

#include "controls/ControlFactory.h"

namespace prt {

ControlPtr CreateVectorGraphic(ImageRef record) {
  // Indexed by the shape byte.
  static constexpr std::array<ControlCreator, 5> kShapes = {
      &Create<VectorGfxPolyline>, &Create<VectorGfxEllipse>, &Create<VectorGfxRectangle>,
      &Create<VectorGfxPolygon>, &Create<VectorGfxFlowBlock>};
  if (!record) return nullptr;
  const uint8_t shape = record.U8(kShapeOffset);
  if (shape >= kShapes.size()) return nullptr;
  return kShapes[shape](record);
}

}  // namespace prt
