#include "generator/Utf8Converter.h"

namespace prt {

namespace {
constexpr char16_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }
}  // namespace

const Utf8Converter& Utf8Converter::Instance() {
  static const Utf8Converter converter;
  return converter;
}

std::u16string Utf8Converter::FromUtf8(std::string_view in) const {
  std::u16string out;
  out.reserve(in.size());
  size_t i = 0;
  while (i < in.size()) {
    const auto lead = static_cast<unsigned char>(in[i]);
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    size_t extra = 0;
    char32_t cp = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
      extra = 1, cp = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, cp = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, cp = lead & 0x07, least = 0x10000;
    } else {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    size_t taken = 1;
    while (taken <= extra && i + taken < in.size() &&
           IsContinuation(static_cast<unsigned char>(in[i + taken]))) {
      cp = (cp << 6) | (static_cast<unsigned char>(in[i + taken]) & 0x3F);
      ++taken;
    }
    const bool complete = taken == extra + 1;
    if (!complete || cp < least || cp > 0xFFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(kReplacement);
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += taken;
  }
  return out;
}

std::string Utf8Converter::ToUtf8(std::u16string_view text) const {
  std::string out;
  out.reserve(text.size());
  for (char16_t unit : text) {
    char32_t cp = unit;
    if (cp >= 0xD800 && cp <= 0xDFFF) cp = kReplacement;
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace prt
