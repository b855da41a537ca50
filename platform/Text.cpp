#include "platform/Text.h"

#include <cstdint>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace prt::platform {

namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr char16_t kEscapeBase = 0xDC00;
constexpr char32_t kLastUnit = 0xFFFF;
constexpr char32_t kLastCodePoint = 0x10FFFF;

bool IsSurrogate(char32_t cp) { return cp >= 0xD800 && cp <= 0xDFFF; }

char16_t* PutUtf16(char16_t* out, char32_t cp) {
  if (cp < 0x10000) {
    *out++ = static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    *out++ = static_cast<char16_t>(0xD800 + (cp >> 10));
    *out++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
  return out;
}

char* PutUtf8(char* out, char32_t cp) {
  if (cp < 0x80) {
    *out++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out++ = static_cast<char>(0xC0 | (cp >> 6));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (cp >> 12));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (cp >> 18));
    *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

// Decodes UTF-8 into `out` (room for one unit per byte) and answers the end.
// A code point above `last` is invalid too. `invalid` writes for the byte
// that starts no valid sequence; the decoder then moves on by that one
// byte, or past the whole broken sequence when `skipBroken`.
template <char32_t last, typename OnInvalid>
char16_t* Decode(std::string_view in, char16_t* out, bool skipBroken, OnInvalid invalid) {
  size_t i = 0;
  while (i < in.size()) {
    const auto b0 = static_cast<unsigned char>(in[i]);
    if (b0 < 0x80) {
      *out++ = b0;
      ++i;
      continue;
    }
    size_t extra = 0;
    char32_t cp = 0;
    char32_t least = 0;
    if ((b0 & 0xE0) == 0xC0) {
      extra = 1, cp = b0 & 0x1F, least = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
      extra = 2, cp = b0 & 0x0F, least = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
      extra = 3, cp = b0 & 0x07, least = 0x10000;
    } else {
      out = invalid(out, b0);
      ++i;
      continue;
    }
    size_t j = 1;
    for (; j <= extra && i + j < in.size(); ++j) {
      const auto b = static_cast<unsigned char>(in[i + j]);
      if ((b & 0xC0) != 0x80) break;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (j <= extra || cp < least || cp > last || IsSurrogate(cp)) {
      out = invalid(out, b0);
      i += skipBroken ? j : 1;
      continue;
    }
    out = PutUtf16(out, cp);
    i += j;
  }
  return out;
}

// Runs of ASCII units are narrowed sixteen (with SSE2) or four at a time.
constexpr uint64_t kNonAsciiUnits = 0xFF80FF80FF80FF80ull;

// Encodes UTF-16 into `out` (room for kMaxUtf8PerUnit bytes per unit) and
// answers the end. With `pairs`, a surrogate pair is joined into one code
// point; every other surrogate goes to `lone`.
template <bool pairs, typename OnLone>
char* Encode(std::u16string_view text, char* out, OnLone lone) {
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
    if (IsSurrogate(cp)) {
      if (pairs && cp <= 0xDBFF && in != end && *in >= 0xDC00 && *in <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (*in++ - 0xDC00);
      } else {
        out = lone(out, static_cast<char16_t>(cp));
        continue;
      }
    }
    out = PutUtf8(out, cp);
  }
  return out;
}

// Function objects rather than functions: each use is its own template
// instance, with the call inlined on the hot path.
struct Replace {
  char16_t* operator()(char16_t* out, unsigned char) const {
    *out++ = kReplacement;
    return out;
  }
};

struct ReplaceLone {
  bool* met = nullptr;
  char* operator()(char* out, char16_t) const {
    if (met) *met = true;
    return PutUtf8(out, kReplacement);
  }
};

// A UTF-8 sequence never yields more units than it has bytes.
template <typename DecodeInto>
std::u16string Widened(std::string_view in, DecodeInto decode) {
  std::u16string out(in.size(), u'\0');
  out.resize(static_cast<size_t>(decode(in, out.data()) - out.data()));
  return out;
}

template <typename EncodeInto>
std::string Narrowed(std::u16string_view in, EncodeInto encode) {
  std::string out(in.size() * kMaxUtf8PerUnit, '\0');
  out.resize(static_cast<size_t>(encode(in, out.data()) - out.data()));
  return out;
}

}  // namespace

size_t WidenUnits(std::string_view utf8, char16_t* out) {
  return static_cast<size_t>(Decode<kLastUnit>(utf8, out, true, Replace{}) - out);
}

size_t NarrowUnits(std::u16string_view text, char* out, bool* replaced) {
  return static_cast<size_t>(Encode<false>(text, out, ReplaceLone{replaced}) - out);
}

std::u16string WidenUnits(std::string_view utf8) {
  return Widened(utf8, [](std::string_view in, char16_t* out) { return Decode<kLastUnit>(in, out, true, Replace{}); });
}

std::string NarrowUnits(std::u16string_view text) {
  return Narrowed(text, [](std::u16string_view in, char* out) { return Encode<false>(in, out, ReplaceLone{}); });
}

std::u16string Widen(std::string_view utf8) {
  return Widened(utf8,
                 [](std::string_view in, char16_t* out) { return Decode<kLastCodePoint>(in, out, true, Replace{}); });
}

std::string Narrow(std::u16string_view utf16) {
  return Narrowed(utf16, [](std::u16string_view in, char* out) { return Encode<true>(in, out, ReplaceLone{}); });
}

std::u16string WidenPath(std::string_view bytes) {
  return Widened(bytes, [](std::string_view in, char16_t* out) {
    return Decode<kLastCodePoint>(in, out, false, [](char16_t* o, unsigned char b) {
      *o++ = static_cast<char16_t>(kEscapeBase + b);
      return o;
    });
  });
}

std::string NarrowPath(std::u16string_view widePath) {
  return Narrowed(widePath, [](std::u16string_view in, char* out) {
    return Encode<true>(in, out, [](char* o, char16_t unit) {
      // Only U+DC80..U+DCFF can come from WidenPath; any other lone
      // surrogate was never a byte of a name.
      if (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
        *o++ = static_cast<char>(unit - kEscapeBase);
        return o;
      }
      return PutUtf8(o, kReplacement);
    });
  });
}

std::filesystem::path ToPath(std::u16string_view widePath) { return std::filesystem::path(NarrowPath(widePath)); }

std::u16string FromPath(const std::filesystem::path& path) { return WidenPath(path.native()); }

std::string GroupedDigits(uint64_t n) {
  std::string digits = std::to_string(n);
  for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
  return digits;
}

}  // namespace prt::platform
