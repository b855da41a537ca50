#include "cipher/FileCipher.h"

#include <chrono>
#include <cstring>
#include <iterator>
#include <tuple>
#include <system_error>

#include "cipher/XorCrypt.h"
#include "platform/Endian.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace prt {

namespace {

using platform::LoadLE32;
using platform::StoreLE32;

// The file format is defined on little-endian words, whatever the host's
// byte order, so words are loaded and stored explicitly.
void XorText(char* text, uint32_t wordCount, uint32_t seed1, uint32_t seed2) {
  CXorCrypt crypt;
  crypt.SetSeed(seed1, seed2);
  uint32_t keystream[1024];
  while (wordCount > 0) {
    const uint32_t n = wordCount < 1024 ? wordCount : 1024;
    crypt.NextValues(keystream, n);
    for (uint32_t i = 0; i < n; ++i) StoreLE32(text + 4 * i, LoadLE32(text + 4 * i) ^ keystream[i]);
    text += 4 * size_t{n};
    wordCount -= n;
  }
}

}  // namespace

uint32_t ClockSeed() {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<uint32_t>(static_cast<uint64_t>(ns.count()));
}

CipherKey DrawKey(uint32_t seed) {
  // The first eight outputs of a freshly seeded MT19937, without the whole
  // engine and its twist of all 624 words: output i twists state words i,
  // i + 1 and i + 397, so only the seeding's first 406 words are needed.
  constexpr size_t kShift = 397, kWanted = std::tuple_size_v<CipherKey>;
  uint32_t state[kShift + kWanted + 1];
  state[0] = seed;
  for (uint32_t i = 1; i < std::size(state); ++i) state[i] = 1812433253u * (state[i - 1] ^ (state[i - 1] >> 30)) + i;
  CipherKey key{};
  for (size_t i = 0; i < kWanted; ++i) {
    const uint32_t mixed = (state[i] & 0x80000000u) | (state[i + 1] & 0x7fffffffu);
    uint32_t y = state[i + kShift] ^ (mixed >> 1) ^ ((mixed & 1u) ? 0x9908b0dfu : 0u);
    y ^= y >> 11;
    y ^= (y << 7) & 0x9d2c5680u;
    y ^= (y << 15) & 0xefc60000u;
    y ^= y >> 18;
    key[i] = static_cast<uint8_t>(y >> 24);
  }
  return key;
}

void EncipherContent(std::string_view plain, const CipherKey& key, std::string& out) {
  // One buffer: the key, then the text padded with spaces to whole words.
  const size_t outLength = (plain.size() + 3) / 4 * 4;
  out.assign(key.size() + outLength, ' ');
  std::memcpy(out.data(), key.data(), key.size());
  std::memcpy(out.data() + key.size(), plain.data(), plain.size());
  const char* k = reinterpret_cast<const char*>(key.data());
  XorText(out.data() + key.size(), static_cast<uint32_t>(outLength / 4), LoadLE32(k), LoadLE32(k + 4));
}

std::optional<std::string> DecipherContent(std::string_view file) {
  if (file.size() < 8 || (file.size() - 8) % 4 != 0) return std::nullopt;
  std::string text(file.substr(8));
  XorText(text.data(), static_cast<uint32_t>(text.size() / 4), LoadLE32(file.data()),
          LoadLE32(file.data() + 4));
  return text;
}

namespace {

std::u16string Shown(const platform::FolderHandle& folder, const std::u16string& name) {
  return folder.Path().ends_with(u'/') ? folder.Path() + name : folder.Path() + u"/" + name;
}

// Writes `data` as the whole file `name`, or removes a file left with the
// wrong length.
Expected<platform::FileInfo, CipherError> SaveSealed(const platform::FolderHandle& folder, const std::u16string& name,
                                                     std::string_view data) {
  platform::SysResult<platform::FileInfo> saved = folder.Overwrite(name, data);
  if (saved) return *saved;
  CipherError error{.path = Shown(folder, name), .code = saved.Error().code};
  // A write that stopped part way leaves a file of neither length.
  if (const auto left = folder.Stat(name); left && left->regular && left->size != data.size()) {
    error.truncated = true;
    if (const platform::SysStatus removed = folder.Remove(name); !removed) error.removeFailure = removed.Error().code.value();
  }
  return Fail(std::move(error));
}

}  // namespace

Expected<void, CipherError> Encrypt(const std::u16string& path) {
  if (path.empty()) return Fail(CipherError{});
  platform::SysResult<std::string> content = platform::ReadWholeFile(path);
  if (!content || content->empty())
    return Fail(CipherError{.path = path, .code = content ? std::error_code() : content.Error().code, .empty = true,
                            .reading = true});
  const auto [folderPath, name] = platform::SplitFolder(path);
  const platform::SysResult<platform::FolderHandle> folder = platform::FolderHandle::Open(folderPath);
  if (!folder) return Fail(CipherError{.path = path, .code = folder.Error().code});
  std::string sealed;
  auto saved = EncryptContent(*folder, name, *content, sealed);
  if (!saved) {
    CipherError error = saved.Error();
    error.path = path;
    return Fail(std::move(error));
  }
  return {};
}

Expected<platform::FileInfo, CipherError> EncryptContent(const platform::FolderHandle& folder,
                                                         const std::u16string& name, std::string_view content,
                                                         std::string& sealed) {
  if (content.empty()) return Fail(CipherError{.path = Shown(folder, name), .empty = true, .reading = true});
  EncipherContent(content, DrawKey(ClockSeed()), sealed);
  return SaveSealed(folder, name, sealed);
}

std::string ReadFileContent(const std::u16string& path) {
  platform::SysResult<std::string> content = platform::ReadWholeFile(path);
  return content ? std::move(*content) : std::string();
}

}  // namespace prt
