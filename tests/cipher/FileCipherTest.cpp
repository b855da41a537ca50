#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <random>
#include <vector>

#include "cipher/FileCipher.h"
#include "platform/Text.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

using platform::FromPath;
using namespace test;

// Key bytes 01 00 00 00 01 00 00 00 seed the keystream with (1, 1), whose
// first values are known independently of the cipher code.
constexpr CipherKey kKeyOneOne = {1, 0, 0, 0, 1, 0, 0, 0};
constexpr uint32_t kStreamOneOne[] = {2147482884u, 2092764894u, 1390461064u};

// The plain text padded with spaces to whole words: the file is the key,
// then each little-endian word XORed with the keystream.
TEST(FileCipher, EnciphersPaddedWords) {
  const struct { std::string plain; std::string padded; } cases[] = {
      {"x", "x   "},  // 12-byte file
      {"hello", "hello   "},
      {"abcdefgh", "abcdefgh"},
      {std::string("\0\r\n\xff", 4), std::string("\0\r\n\xff", 4)},
  };
  for (const auto& c : cases) {
    std::string expected(reinterpret_cast<const char*>(kKeyOneOne.data()), 8);
    for (size_t w = 0; w * 4 < c.padded.size(); ++w) {
      uint32_t word = 0;
      for (int i = 3; i >= 0; --i) word = word << 8 | static_cast<unsigned char>(c.padded[w * 4 + i]);
      word ^= kStreamOneOne[w];
      for (int i = 0; i < 4; ++i) expected += static_cast<char>(word >> (8 * i));
    }
    std::string sealed;
    EncipherContent(c.plain, kKeyOneOne, sealed);
    EXPECT_EQ(sealed, expected) << c.plain;

    TempDir dir;
    for (const char* name : {"a.qml", "b.qml"}) {
      WriteFile(dir / name, c.plain);
      ASSERT_TRUE(Encrypt(dir.Wide(name)));
      const std::string stored = ReadFile(dir / name);
      EXPECT_EQ(stored.size(), 8 + c.padded.size());
      EXPECT_EQ(DecipherContent(stored), c.padded);
    }
    // Each file draws a key of its own.
    EXPECT_NE(ReadFile(dir / "a.qml").substr(0, 8), ReadFile(dir / "b.qml").substr(0, 8));
  }
}

TEST(FileCipher, DecipherRejectsSizesThatAreNotKeyPlusWords) {
  for (size_t size : {0u, 1u, 7u, 9u, 10u, 11u, 13u})
    EXPECT_FALSE(DecipherContent(std::string(size, 'a'))) << size;
  EXPECT_EQ(DecipherContent(std::string(8, 'a')), std::string());
}

TEST(FileCipher, DrawKeyTakesTopByteOfEachMersenneOutput) {
  // The key is drawn without the whole engine: against the standard engine,
  // on its default seed, the edge seeds and random ones.
  std::vector<uint32_t> seeds = {5489, 0, 1, 0x7fffffffu, 0x80000000u, 0xffffffffu};
  std::mt19937 pick(20261206);
  for (int i = 0; i < 2000; ++i) seeds.push_back(static_cast<uint32_t>(pick()));
  for (const uint32_t seed : seeds) {
    std::mt19937 engine(seed);
    CipherKey expected{};
    for (auto& byte : expected) byte = static_cast<uint8_t>(engine() >> 24);
    ASSERT_EQ(DrawKey(seed), expected) << seed;
  }
}

// An empty file fails as empty; a missing one also carries the system's
// reason.
TEST(FileCipher, EmptyOrMissingFileFailsWithMessageAndStaysUnchanged) {
  TempDir dir;
  WriteFile(dir / "empty.qml", "");
  const struct { const char* name; std::error_code error; } cases[] = {
      {"empty.qml", {}}, {"missing.qml", std::make_error_code(std::errc::no_such_file_or_directory)}};
  for (const auto& c : cases) {
    const Expected<void, CipherError> status = Encrypt(dir.Wide(c.name));
    ASSERT_FALSE(status);
    EXPECT_TRUE(status.Error().empty);
    EXPECT_EQ(status.Error().path, dir.Wide(c.name));
    EXPECT_EQ(status.Error().code, c.error) << c.name;
  }
  // The workers encipher the bytes they compiled; none are no text either.
  auto folder = platform::FolderHandle::Open(dir.Wide());
  ASSERT_TRUE(folder);
  std::string sealed;
  const auto none = EncryptContent(*folder, u"empty.qml", {}, sealed);
  ASSERT_FALSE(none);
  EXPECT_TRUE(none.Error().empty);
  EXPECT_EQ(std::filesystem::file_size(dir / "empty.qml"), 0u);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing.qml"));
}

// A file-size limit makes the write stop short, as a full disk would: the
// file of the wrong length is removed and the encryption fails with the
// system's reason.
[[noreturn]] void EncryptUnderSizeLimit(const std::filesystem::path& path) {
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  limit.rlim_cur = limit.rlim_max = 100;
  setrlimit(RLIMIT_FSIZE, &limit);
  const Expected<void, CipherError> status = Encrypt(FromPath(path));
  std::exit(status || status.Error().path != FromPath(path) || !status.Error().truncated ||
                    status.Error().removeFailure != -1
                ? 1
                : status.Error().code.value());
}

TEST(FileCipherDeathTest, ShortWriteRemovesFileAndFails) {
  TempDir dir;
  WriteFile(dir / "short.qml", std::string(150, 'a'));
  EXPECT_EXIT(EncryptUnderSizeLimit(dir / "short.qml"), testing::ExitedWithCode(EFBIG), "");
  EXPECT_FALSE(std::filesystem::exists(dir / "short.qml"));
}

}  // namespace
}  // namespace prt
