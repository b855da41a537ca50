#include "cipher/FileCipher.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <tuple>
#include <system_error>

#include "cipher/XorCrypt.h"
#include "platform/Endian.h"
#include "platform/FileSystem.h"
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


Error EncipherError(const std::u16string& path, std::error_code code, bool reading) {
  Error error;
  error.step = Error::Step::Encipher;
  error.path = path;
  error.code = code;
  error.reading = reading;
  return error;
}

Unexpected<Error> EmptyContent(const std::u16string& path, std::error_code readError) {
  Error error = EncipherError(path, readError, true);
  error.rule = "empty";
  return Fail(std::move(error));
}

}  // namespace

uint32_t ClockSeed() {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<uint32_t>(static_cast<uint64_t>(ns.count()));
}

CipherKey DrawKey(uint32_t seed) {
  // The first eight outputs of a freshly seeded MT19937, without the whole
  // engine: output i twists state words i, i + 1 and i + 397, so only the
  // seeding's first 406 words are needed (a full engine costs some 4 us
  // per file, most of it a twist of all 624 words).
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

Status Encrypt(const std::u16string& path) {
  if (path.empty()) return Fail(EncipherError(path, {}, false));
  std::string content;
  const std::error_code readError = platform::ReadWholeFile(path, content);
  if (content.empty()) return EmptyContent(path, readError);
  return EncryptContent(path, content);
}

Status EncryptContent(const std::u16string& path, std::string_view content, std::string* sealed,
                      platform::FileInfo* made) {
  if (path.empty()) return Fail(EncipherError(path, {}, false));
  if (content.empty()) return EmptyContent(path, {});
  std::string own;
  std::string& out = sealed ? *sealed : own;
  EncipherContent(content, DrawKey(ClockSeed()), out);
  return SaveFile(out, path, made);
}

Status SaveFile(std::string_view data, const std::u16string& path, platform::FileInfo* made) {
  const std::error_code ec = platform::OverwriteWholeFile(path, data, made);
  if (!ec) return {};
  Error error = EncipherError(path, ec, false);
  // A write that stopped part way leaves a file of neither length.
  if (const auto size = platform::ReadableFileSize(path); size && *size != data.size()) {
    error.truncated = true;
    std::error_code removeError;
    if (!std::filesystem::remove(platform::ToPath(path), removeError)) error.removeFailure = removeError.value();
  }
  return Fail(std::move(error));
}

std::string ReadFileContent(const std::u16string& path) {
  return platform::ReadWholeFile(path).value_or(std::string());
}

}  // namespace prt
