#pragma once
// The one UTF-8 codec: between the UTF-16 text the tool works in and the
// UTF-8 of documents, the file system and the command line.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace prt::platform {

// Full UTF-8 decode; invalid sequences become U+FFFD.
std::u16string Widen(std::string_view utf8);
// Full UTF-16 encode (pairs joined); lone surrogates become U+FFFD.
std::string Narrow(std::u16string_view utf16);

// Documents work in code points up to U+FFFF: every UTF-16 unit is one
// code point, so surrogates are never paired. Decoding, a sequence that is
// not valid UTF-8 or that encodes a code point above U+FFFF becomes one
// U+FFFD (a document never holds half a character). Encoding, every
// surrogate unit becomes U+FFFD (EF BF BD); no byte order mark.
std::u16string WidenUnits(std::string_view utf8);
std::string NarrowUnits(std::u16string_view text);
// The same into `out`, which has room for one unit per byte of `utf8`;
// answers the number of units written.
size_t WidenUnits(std::string_view utf8, char16_t* out);
// The same into `out`, which has room for kMaxUtf8PerUnit bytes per unit of
// `text`; answers the number of bytes written, and sets `replaced` when a
// surrogate was. Documents are almost all ASCII, and this is on their hot path.
inline constexpr size_t kMaxUtf8PerUnit = 3;
size_t NarrowUnits(std::u16string_view text, char* out, bool* replaced = nullptr);

// Paths and arguments: a Linux name is bytes, not always UTF-8. Each byte
// that does not decode (0x80..0xFF) is carried as the lone surrogate
// U+DC00 + byte (U+DC80..U+DCFF), and NarrowPath gives that byte back, so
// every byte string survives the round trip; valid UTF-8 decodes as Widen.
std::u16string WidenPath(std::string_view bytes);
std::string NarrowPath(std::u16string_view widePath);

// 67072 as "67,072", for the numbers of messages.
std::string GroupedDigits(uint64_t n);

// The file-system boundary: wide paths are converted only here, with
// WidenPath and NarrowPath.
std::filesystem::path ToPath(std::u16string_view widePath);
std::u16string FromPath(const std::filesystem::path& path);

}  // namespace prt::platform
