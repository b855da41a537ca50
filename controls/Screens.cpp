#include "controls/Screens.h"

#include <algorithm>

#include "controls/Gradient.h"

namespace prt {

namespace {
// The page fill: a GradientInfo at record offset 36, whose orientation byte
// reads 1 as horizontal here (GradientToText reads 2 as vertical).
constexpr uint32_t kFill = 36;
// The stop index is a byte.
constexpr uint32_t kMaxBackgroundStops = 255;
}  // namespace

void IComplexView::WriteBackground(ImageRef record) {
  const Gradient fill(record.At(kFill));
  const uint8_t count = fill.Count();
  if (count == 0) return;
  owner->WriteStringProperty(u"color", IControl::ColorToText(fill.Colour(0)));
  if (count < 2) return;

  QmlGenerator* out = owner->GetOutput();
  if (out == nullptr) return;
  out->stream << u"gradient: Gradient {\n";
  owner->WriteRawProperty(u"orientation",
                          fill.Orientation() == 1 ? u"Qt.Horizontal" : u"Qt.Vertical");
  const uint32_t stops = std::min(fill.StoredPositions(), kMaxBackgroundStops);
  for (uint32_t i = 0; i < stops; ++i) {
    out->stream << u"GradientStop {\n";
    owner->WriteFixedProperty(u"position", static_cast<double>(fill.Position(i)));
    owner->WriteStringProperty(u"color", IControl::ColorToText(fill.Colour(i)));
    out->stream << u"}\n";
  }
  out->stream << u"}\n";
}

bool Page::WriteProperties() {
  if (!record || output == nullptr) return false;
  WriteBackground(record);
  if (usesTemplate) WriteRawProperty(u"useTemplate", u"true");
  return true;
}

}  // namespace prt
