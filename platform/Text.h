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

// The file-system boundary: wide paths are converted only here.
std::filesystem::path ToPath(std::u16string_view widePath);
std::u16string FromPath(const std::filesystem::path& path);

}  // namespace prt::platform
