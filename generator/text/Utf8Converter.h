#pragma once
// The process-wide converter between the tool's 16-bit text and UTF-8.
// It works in code points up to U+FFFF: every UTF-16 unit is taken as one
// code point, so surrogates are never paired.
#include <cstddef>
#include <string>
#include <string_view>

namespace prt {

class Utf8Converter {
 public:
  static const Utf8Converter& Instance();

  // A sequence that is not valid UTF-8, or that encodes a code point above
  // U+FFFF, becomes one U+FFFD: the stream never holds a half character.
  std::u16string FromUtf8(std::string_view utf8) const;
  // The same into `out`, which must have room for one unit per byte of
  // `utf8`; answers the number of units written.
  size_t DecodeUtf8(std::string_view utf8, char16_t* out) const;

  // A surrogate unit has no UTF-8 form of its own and becomes U+FFFD
  // (EF BF BD); no byte order mark is written.
  std::string ToUtf8(std::u16string_view text) const;
  // The same into `out`, which must have room for kMaxUtf8PerUnit bytes per
  // unit of `text`; answers the number of bytes written.
  static constexpr size_t kMaxUtf8PerUnit = 3;
  size_t EncodeUtf8(std::u16string_view text, char* out) const;
};

}  // namespace prt
