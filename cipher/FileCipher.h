#pragma once
// The enciphered .qml file: 8 key bytes (two little-endian seeds), then the
// text padded with spaces to whole 32-bit words, XORed with the keystream.
// The plain length is not stored, so deciphering keeps the padding.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Folders.h"

namespace prt {

using CipherKey = std::array<uint8_t, 8>;

// Why a document was not enciphered.
struct CipherError {
  std::u16string path;
  std::error_code code;    // the system's reason, when it gave one
  bool empty = false;      // the document holds no text: nothing to encipher
  bool reading = false;    // the step that failed read the file rather than wrote it
  bool truncated = false;  // a write stopped part way; the file of the wrong length was removed
  int removeFailure = -1;  // the error value of that removal when it failed, else -1

  std::string Reason() const { return code ? code.message() : empty ? "the document is empty" : "no file"; }
};

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

// Enciphers the file at `path` in place under a fresh key: an empty path,
// an empty or unreadable file and a file that cannot be written fail.
Expected<void, CipherError> Encrypt(const std::u16string& path);
// Writes `content`, a document's plain text, enciphered under a fresh key as
// the file `name` in `folder` (which need not exist yet), overwriting it in
// place. What was written goes to `sealed`, whose storage a caller that
// enciphers many files keeps; answers the file's status as written. When
// the write fails, a file left with the wrong length is removed (the error
// says so).
Expected<platform::FileInfo, CipherError> EncryptContent(const platform::FolderHandle& folder,
                                                         const std::u16string& name, std::string_view content,
                                                         std::string& sealed);
// The whole file as bytes; empty when it cannot be opened.
std::string ReadFileContent(const std::u16string& path);

}  // namespace prt
