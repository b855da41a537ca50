#pragma once
// Conversions between the UTF-16 text the tool works in and the UTF-8 the
// file system and the command line use.
#include <filesystem>
#include <string>
#include <string_view>

namespace prt::platform {

// Full UTF-8 decode; invalid sequences become U+FFFD.
std::u16string Widen(std::string_view utf8);
// Full UTF-16 encode (pairs joined); lone surrogates become U+FFFD.
std::string Narrow(std::u16string_view utf16);

// Paths and arguments: a Linux name is bytes, not always UTF-8. Each byte
// that does not decode (0x80..0xFF) is carried as the lone surrogate
// U+DC00 + byte (U+DC80..U+DCFF), and NarrowPath gives that byte back, so
// every byte string survives the round trip; valid UTF-8 decodes as Widen.
std::u16string WidenPath(std::string_view bytes);
std::string NarrowPath(std::u16string_view widePath);

// The file-system boundary: wide paths are converted only here, with
// WidenPath and NarrowPath.
std::filesystem::path ToPath(std::u16string_view widePath);
std::u16string FromPath(const std::filesystem::path& path);

}  // namespace prt::platform
