#pragma once
// The enciphered .qml file: 8 key bytes (two little-endian seeds), then the
// text padded with spaces to whole 32-bit words, XORed with the keystream.
// The plain length is not stored, so deciphering keeps the padding.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace prt {

using CipherKey = std::array<uint8_t, 8>;

// The low 32 bits of the monotonic clock in nanoseconds.
uint32_t ClockSeed();
// Eight key bytes: the top 8 bits of successive outputs of a fresh
// MT19937 seeded with `seed`.
CipherKey DrawKey(uint32_t seed);

// Pads `plain` (non-empty) and enciphers it under `key` into `out`, the
// whole file content; the storage of `out` is reused.
void EncipherContent(std::string_view plain, const CipherKey& key, std::string& out);
// The padded plain text of an enciphered file; nullopt when the size is not
// 8 + 4k bytes.
std::optional<std::string> DecipherContent(std::string_view file);

// Enciphers the file at `path` in place under a fresh key. Fails with a
// Step::Encipher error for an empty path, an empty or unreadable file and a
// file that cannot be written.
Status Encrypt(const std::u16string& path);
// The same for `content`, the file's plain text (the file itself need not
// exist yet); what was written goes to `sealed` when given, in its storage
// (a caller that enciphers many files keeps one buffer), and the file's
// status as written to `made`.
Status EncryptContent(const std::u16string& path, std::string_view content, std::string* sealed = nullptr,
                      platform::FileInfo* made = nullptr);
// Writes `data` as the whole file. When the write fails, a file left with
// the wrong length is removed (the error says so).
Status SaveFile(std::string_view data, const std::u16string& path, platform::FileInfo* made = nullptr);
// The whole file as bytes; empty when it cannot be opened.
std::string ReadFileContent(const std::u16string& path);

}  // namespace prt
