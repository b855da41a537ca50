#include "generator/FileCipher.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <system_error>
#include <vector>

#include "generator/XorCrypt.h"
#include "platform/Text.h"

namespace prt {

namespace {

uint32_t LoadLE32(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

void StoreLE32(char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// The file format is defined on little-endian words, whatever the host's
// byte order, so words are loaded and stored explicitly.
void XorText(char* text, uint32_t wordCount, uint32_t seed1, uint32_t seed2) {
  std::vector<uint32_t> words(wordCount);
  for (uint32_t i = 0; i < wordCount; ++i) words[i] = LoadLE32(text + 4 * i);
  CXorCrypt crypt;
  crypt.SetSeed(seed1, seed2);
  crypt.XorWords(words.data(), wordCount);
  for (uint32_t i = 0; i < wordCount; ++i) StoreLE32(text + 4 * i, words[i]);
}

void ErrorLine(const std::string& text) { std::cerr << text + "\n" << std::flush; }

}  // namespace

uint32_t ClockSeed() {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<uint32_t>(static_cast<uint64_t>(ns.count()));
}

CipherKey DrawKey(uint32_t seed) {
  std::mt19937 engine(seed);
  CipherKey key{};
  for (auto& byte : key) byte = static_cast<uint8_t>(engine() >> 24);
  return key;
}

std::string EncipherContent(std::string plain, const CipherKey& key) {
  const size_t n = plain.size();
  size_t outLength = n;
  if (n % 4 != 0) {
    plain.append(4, ' ');
    outLength = (n + 3) / 4 * 4;
  }
  const auto wordCount = static_cast<uint32_t>(outLength / 4);
  const char* k = reinterpret_cast<const char*>(key.data());
  XorText(plain.data(), wordCount, LoadLE32(k), LoadLE32(k + 4));
  std::string out(k, key.size());
  out.append(plain, 0, outLength);
  return out;
}

std::optional<std::string> DecipherContent(std::string_view file) {
  if (file.size() < 8 || (file.size() - 8) % 4 != 0) return std::nullopt;
  std::string text(file.substr(8));
  XorText(text.data(), static_cast<uint32_t>(text.size() / 4), LoadLE32(file.data()),
          LoadLE32(file.data() + 4));
  return text;
}

bool Encrypt(const std::u16string& path) {
  if (path.empty()) return false;
  std::string content = ReadFileContent(path);
  if (content.empty()) {
    ErrorLine("Encryptqml file content is empty!!!");
    return false;
  }
  const std::string output = EncipherContent(std::move(content), DrawKey(ClockSeed()));
  SaveFile(output, path);
  return true;
}

bool SaveFile(std::string_view data, const std::u16string& path) {
  const std::filesystem::path p = platform::ToPath(path);
  {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
  }
  std::streamoff stored = 0;
  {
    std::ifstream in(p, std::ios::binary);
    if (in) {
      in.seekg(0, std::ios::end);
      stored = in.tellg();
    }
  }
  if (stored >= 0 && static_cast<uint64_t>(stored) == data.size()) return true;
  ErrorLine("SaveFileSave file with error length! Will remove it.");
  std::error_code ec;
  if (!std::filesystem::remove(p, ec)) {
    std::cerr << "SaveFileRemove invalid cache file failed, error code " + std::to_string(ec.value())
              << std::flush;
  }
  return false;
}

std::string ReadFileContent(const std::u16string& path) {
  std::ifstream in(platform::ToPath(path), std::ios::binary);
  if (!in) return {};
  // One read of the whole file; a file that cannot seek is read to its end.
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size > 0) {
    std::string content(static_cast<size_t>(size), '\0');
    in.seekg(0);
    if (in.read(content.data(), size)) return content;
  }
  in.clear();
  in.seekg(0);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace prt
