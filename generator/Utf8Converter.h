#pragma once
// The process-wide converter between the tool's 16-bit text and UTF-8.
// It works in code points up to U+FFFF: every UTF-16 unit is taken as one
// code point, so surrogates are never paired.
#include <string>
#include <string_view>

namespace prt {

class Utf8Converter {
 public:
  static const Utf8Converter& Instance();

  // A sequence that is not valid UTF-8, or that encodes a code point above
  // U+FFFF, becomes one U+FFFD: the stream never holds a half character.
  std::u16string FromUtf8(std::string_view utf8) const;
  // A surrogate unit has no UTF-8 form of its own and becomes U+FFFD
  // (EF BF BD); no byte order mark is written.
  std::string ToUtf8(std::u16string_view text) const;
};

}  // namespace prt
