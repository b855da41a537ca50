#include "platform/Text.h"

namespace prt::platform {

namespace {
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}
}  // namespace

namespace {

// Decodes UTF-8; `invalid` receives each byte that starts no valid sequence
// (the decoder then moves on by that one byte, or past the whole broken
// sequence when `skipBroken`).
template <typename OnInvalid>
std::u16string Decode(std::string_view in, bool skipBroken, OnInvalid invalid) {
  std::u16string out;
  out.reserve(in.size());
  size_t i = 0;
  while (i < in.size()) {
    const auto b0 = static_cast<unsigned char>(in[i]);
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
      cp = b0;
    } else if ((b0 & 0xE0) == 0xC0) {
      extra = 1, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
      extra = 2, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
      extra = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
      invalid(out, b0);
      ++i;
      continue;
    }
    size_t j = 1;
    for (; j <= static_cast<size_t>(extra); ++j) {
      if (i + j >= in.size()) break;
      const auto b = static_cast<unsigned char>(in[i + j]);
      if ((b & 0xC0) != 0x80) break;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (j <= static_cast<size_t>(extra) || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      invalid(out, b0);
      i += skipBroken ? j : 1;
      continue;
    }
    AppendUtf16(out, cp);
    i += j;
  }
  return out;
}

// Encodes UTF-16; `lone` writes a surrogate that is not part of a pair.
template <typename OnLone>
std::string Encode(std::u16string_view in, OnLone lone) {
  std::string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    char32_t cp = in[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      lone(out, static_cast<char16_t>(cp));
      continue;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

constexpr char16_t kEscapeBase = 0xDC00;

}  // namespace

std::u16string Widen(std::string_view in) {
  return Decode(in, true, [](std::u16string& out, unsigned char) { out.push_back(kReplacement); });
}

std::string Narrow(std::u16string_view in) {
  return Encode(in, [](std::string& out, char16_t) { AppendUtf8(out, kReplacement); });
}

std::u16string WidenPath(std::string_view bytes) {
  return Decode(bytes, false,
                [](std::u16string& out, unsigned char b) { out.push_back(static_cast<char16_t>(kEscapeBase + b)); });
}

std::string NarrowPath(std::u16string_view widePath) {
  return Encode(widePath, [](std::string& out, char16_t unit) {
    // Only U+DC80..U+DCFF can come from WidenPath; any other lone
    // surrogate was never a byte of a name.
    if (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
      out.push_back(static_cast<char>(unit - kEscapeBase));
    } else {
      AppendUtf8(out, kReplacement);
    }
  });
}

std::filesystem::path ToPath(std::u16string_view widePath) { return std::filesystem::path(NarrowPath(widePath)); }

std::u16string FromPath(const std::filesystem::path& path) { return WidenPath(path.native()); }

}  // namespace prt::platform
