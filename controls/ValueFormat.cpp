// Colour, gradient, fill, image address and font texts of the controls.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

#include "controls/Gradient.h"
#include "controls/IControl.h"
#include "data/manager/IPRDataManager.h"

namespace prt {

namespace {

constexpr uint8_t kMaxGradientStops = 8;

// Selecting a language takes a 16-bit index; the ones beyond can never be
// selected, and a corrupt count must not make us write billions of lines.
constexpr uint32_t kMaxFontLanguages = 32768;

void AppendHex(std::u16string& out, uint8_t byte) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  out.push_back(kDigits[byte >> 4]);
  out.push_back(kDigits[byte & 0x0F]);
}

}  // namespace

std::u16string IControl::ColorToText(ImageRef colour) {
  std::u16string text = u"#";
  AppendHex(text, colour.U8(3));
  AppendHex(text, colour.U8(0));
  AppendHex(text, colour.U8(1));
  AppendHex(text, colour.U8(2));
  return text;
}

std::u16string IControl::GradientToText(ImageRef info) {
  const Gradient gradient(info);
  const uint32_t n = std::min(gradient.Count(), kMaxGradientStops);

  std::u16string text = u"Gradient {\n";
  text += u"orientation: ";
  text += gradient.Orientation() == 2 ? u"Qt.Vertical" : u"Qt.Horizontal";
  text += u"\nstops: \n";
  for (uint32_t i = 0; i < n; ++i) {
    float position = gradient.Position(i);
    if (i + 1 < n) {
      // Two stops at one position: pull the first one back a little so the
      // runtime sees a hard edge instead of dropping a stop.
      const float next = gradient.Position(i + 1);
      if (std::fabs(position - next) < FLT_EPSILON) {
        const float shift = static_cast<float>(n - i) * 1e-05f + 1e-04f;
        position = std::max(position - shift, 0.0f);
      }
    }
    text += u"GradientStop { position: ";
    text += ShortFloatText(static_cast<double>(position));
    text += u"; color: \"";
    text += ColorToText(gradient.Colour(i));
    text += u"\" }\n";
  }
  text += u"}";
  return text;
}

void IControl::WriteFillProperty(std::u16string_view name, ImageRef gradient, bool solid,
                                 std::u16string_view alternateName) {
  if (const Gradient fill(gradient); fill.Count() == 1 && solid) {
    WriteStringProperty(alternateName.empty() ? name : alternateName, ColorToText(fill.Colour(0)));
    return;
  }
  WriteRawProperty(name, GradientToText(gradient));
}

std::u16string IControl::ImageUrl(uint32_t id) {
  return u"image://OrvixImageProvider/" + UnsignedText(id);
}

std::optional<uint32_t> IControl::FontArrayLeaves(ImageRef fontReference) {
  IPRDataManager& data = ControlDataManager();
  const uint32_t count = std::min(data.GetLanguageCount(), kMaxFontLanguages);
  FontInfo font;
  for (uint32_t i = 0; i < count; ++i)
    if (!data.GetLanguageFontInfo(i, fontReference.U16(0), fontReference.U16(2), &font)) return i;
  if (count == 0) return std::nullopt;
  return count - 1;
}

bool IControl::WriteFontArray(ImageRef fontReference) {
  IPRDataManager& data = ControlDataManager();
  const uint16_t fontNumber = fontReference.U16(0);
  const uint16_t styleNumber = fontReference.U16(2);
  const uint32_t count = std::min(data.GetLanguageCount(), kMaxFontLanguages);

  std::vector<FontInfo> fonts(count);
  for (uint32_t i = 0; i < count; ++i) {
    if (!data.SetLanguage(static_cast<int16_t>(i), false)) continue;
    if (!data.GetCurrentLanguageFontInfo(fontNumber, styleNumber, &fonts[i])) {
      if (output != nullptr) output->notices += "GetCurrentLanguageFontInfo failed!";
      return false;
    }
  }
  if (output == nullptr) return false;

  QmlStream& out = output->stream;
  out << u"fontArray: [\n";
  for (const FontInfo& font : fonts) {
    out << u"Qt.font({family:\"";
    out.WriteUtf8(font.faceName);
    out << u"\",pointSize:";
    out.WriteUnsigned(font.pointSize);
    if (font.italic) out << u",italic:true";
    if (font.bold) out << u",bold:true";
    if (font.underline) out << u",underline:true";
    if (!font.bold && !font.italic &&
        (font.faceName.find("KestrelSans Pro") != std::string::npos ||
         font.faceName.find("Kestrel Sans Global") != std::string::npos)) {
      out << u",styleName:\"Roman\"";
    }
    out << u"}),\n";
  }
  out << u"]" << u"\n" << u"\n";
  return true;
}

}  // namespace prt
