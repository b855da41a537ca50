#include "generator/text/Utf8Converter.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace prt {

namespace {
constexpr char16_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Documents are almost all ASCII: runs of ASCII units are narrowed sixteen
// (with SSE2) or four at a time.
constexpr uint64_t kNonAsciiUnits = 0xFF80FF80FF80FF80ull;
}  // namespace

const Utf8Converter& Utf8Converter::Instance() {
  static const Utf8Converter converter;
  return converter;
}

std::u16string Utf8Converter::FromUtf8(std::string_view in) const {
  // A UTF-8 sequence never yields more units than it has bytes.
  std::u16string out(in.size(), u'\0');
  out.resize(DecodeUtf8(in, out.data()));
  return out;
}

size_t Utf8Converter::DecodeUtf8(std::string_view in, char16_t* out) const {
  char16_t* const begin = out;
  size_t i = 0;
  while (i < in.size()) {
    const auto lead = static_cast<unsigned char>(in[i]);
    if (lead < 0x80) {
      *out++ = lead;
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
      *out++ = kReplacement;
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
      *out++ = kReplacement;
    } else {
      *out++ = static_cast<char16_t>(cp);
    }
    i += taken;
  }
  return static_cast<size_t>(out - begin);
}

std::string Utf8Converter::ToUtf8(std::u16string_view text) const {
  std::string out(text.size() * kMaxUtf8PerUnit, '\0');
  out.resize(EncodeUtf8(text, out.data()));
  return out;
}

size_t Utf8Converter::EncodeUtf8(std::u16string_view text, char* out) const {
  char* const begin = out;
  const char16_t* in = text.data();
  const char16_t* const end = in + text.size();
  while (in != end) {
#if defined(__SSE2__)
    if (end - in >= 16) {
      const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
      const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8));
      const __m128i wide = _mm_and_si128(_mm_or_si128(low, high), _mm_set1_epi16(static_cast<short>(0xFF80)));
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(wide, _mm_setzero_si128())) == 0xFFFF) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(low, high));
        out += 16;
        in += 16;
        continue;
      }
    }
#endif
    if (end - in >= 4) {
      uint64_t four;
      std::memcpy(&four, in, sizeof four);
      if ((four & kNonAsciiUnits) == 0) {
        out[0] = static_cast<char>(in[0]);
        out[1] = static_cast<char>(in[1]);
        out[2] = static_cast<char>(in[2]);
        out[3] = static_cast<char>(in[3]);
        out += 4;
        in += 4;
        continue;
      }
    }
    char32_t cp = *in++;
    if (cp >= 0xD800 && cp <= 0xDFFF) cp = kReplacement;
    if (cp < 0x80) {
      *out++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
      *out++ = static_cast<char>(0xC0 | (cp >> 6));
      *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      *out++ = static_cast<char>(0xE0 | (cp >> 12));
      *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return static_cast<size_t>(out - begin);
}

}  // namespace prt
