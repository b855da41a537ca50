#include "controls/Screens.h"

#include <algorithm>

namespace prt {

namespace {
// The page fill: a GradientInfo at record offset 36, whose orientation byte
// reads 1 as horizontal here (GradientToText reads 2 as vertical).
constexpr uint32_t kFill = 36;
constexpr uint32_t kFillCount = 0;
constexpr uint32_t kFillOrientation = 1;
constexpr uint32_t kFillPositions = 4;
constexpr uint32_t kFillColours = 8;
// The stop index is a byte.
constexpr uint32_t kMaxBackgroundStops = 255;

ImageRef ArrayEntry(const ImageRef& array, uint32_t i) {
  if (!array || i >= array.U32(0)) return {};
  return array.At(4 + 4 * i);
}
}  // namespace

void IComplexView::WriteBackground(ImageRef record) {
  const ImageRef fill = record.At(kFill);
  const uint8_t count = fill.U8(kFillCount);
  if (count == 0) return;
  const ImageRef colours = fill.Ref(kFillColours);
  owner->WriteStringProperty(u"color", IControl::ColorToText(ArrayEntry(colours, 0)));
  if (count < 2) return;

  QmlGenerator* out = owner->GetOutput();
  if (out == nullptr) return;
  out->stream << u"gradient: Gradient {\n";
  owner->WriteRawProperty(u"orientation",
                          fill.U8(kFillOrientation) == 1 ? u"Qt.Horizontal" : u"Qt.Vertical");
  const ImageRef positions = fill.Ref(kFillPositions);
  const uint32_t stops = positions ? std::min(positions.U32(0), kMaxBackgroundStops) : 0;
  for (uint32_t i = 0; i < stops; ++i) {
    const ImageRef position = ArrayEntry(positions, i);
    out->stream << u"GradientStop {\n";
    owner->WriteFixedProperty(u"position", static_cast<double>(position.F32(0)));
    owner->WriteStringProperty(u"color", IControl::ColorToText(ArrayEntry(colours, i)));
    out->stream << u"}\n";
  }
  out->stream << u"}\n";
}

bool Page::WriteBegin() {
  if (output == nullptr) return false;
  WriteImports();
  return IControlGroup::WriteBegin();
}

bool Page::WriteProperties() {
  if (!record || output == nullptr) return false;
  WriteBackground(record);
  if (usesTemplate) WriteRawProperty(u"useTemplate", u"true");
  return true;
}

bool Template::WriteBegin() {
  if (output == nullptr) return false;
  WriteImports();
  return IControlGroup::WriteBegin();
}

bool ReportPage::WriteBegin() {
  if (output == nullptr) return false;
  WriteImports();
  return IControl::WriteBegin();
}

}  // namespace prt
