#include "generator/FileCipher.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/generator/PipelineTestUtil.h"

namespace prt {
namespace {

using testutil::ReadAll;
using testutil::ScratchDir;
using testutil::Wide;
using testutil::WriteAll;

// Key bytes 01 00 00 00 01 00 00 00 seed the keystream with (1, 1), whose
// first values are known independently of the cipher code.
constexpr CipherKey kKeyOneOne = {1, 0, 0, 0, 1, 0, 0, 0};
constexpr uint32_t kStreamOneOne[] = {2147482884u, 2092764894u, 1390461064u};

std::string LE(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

uint32_t WordOf(const std::string& four) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(four[i]);
  return v;
}

struct EncipherCase {
  std::string plain;
  std::string padded;
};

class EncipherTest : public ::testing::TestWithParam<EncipherCase> {};

TEST_P(EncipherTest, KeyThenWordsXoredWithKeystream) {
  const EncipherCase& c = GetParam();
  const std::string out = EncipherContent(c.plain, kKeyOneOne);
  std::string expected(reinterpret_cast<const char*>(kKeyOneOne.data()), 8);
  for (size_t w = 0; w * 4 < c.padded.size(); ++w)
    expected += LE(WordOf(c.padded.substr(w * 4, 4)) ^ kStreamOneOne[w]);
  EXPECT_EQ(out, expected);
  EXPECT_EQ(out.size(), 8 + c.padded.size());
  EXPECT_EQ(DecipherContent(out), c.padded);
}

INSTANTIATE_TEST_SUITE_P(Lengths, EncipherTest,
                         ::testing::Values(EncipherCase{"x", "x   "},          // 1 byte: 12-byte file
                                           EncipherCase{"hello", "hello   "},  // 5 bytes: 16
                                           EncipherCase{"abcdefgh", "abcdefgh"},  // 8: no padding
                                           EncipherCase{"abcdefghij", "abcdefghij  "},
                                           EncipherCase{std::string("\0\r\n\xff", 4),
                                                        std::string("\0\r\n\xff", 4)}));

TEST(FileCipher, OneByteFileMatchesWorkedBytes) {
  // "x   " is 0x20202078; XOR 0x7FFFFD04 gives 0x5FDFDD7C.
  const std::string out = EncipherContent("x", kKeyOneOne);
  EXPECT_EQ(out, std::string("\x01\0\0\0\x01\0\0\0\x7C\xDD\xDF\x5F", 12));
}

TEST(FileCipher, DecipherRejectsSizesThatAreNotKeyPlusWords) {
  for (size_t size : {0u, 1u, 7u, 9u, 10u, 11u, 13u}) {
    EXPECT_FALSE(DecipherContent(std::string(size, 'a')).has_value()) << size;
  }
  EXPECT_EQ(DecipherContent(std::string(8, 'a')), std::string());
}

TEST(FileCipher, DrawKeyTakesTopByteOfEachMersenneOutput) {
  // The standard engine's first outputs for seed 5489 are 3499211612,
  // 581869302, 3890346734, 3586334585, 545404204, 4161255391, 3922919429,
  // 949333985.
  EXPECT_EQ(DrawKey(5489), (CipherKey{0xD0, 0x22, 0xE7, 0xD5, 0x20, 0xF8, 0xE9, 0x38}));
  EXPECT_EQ(DrawKey(0), (CipherKey{0x8C, 0x97, 0xB7, 0xD8, 0x9A, 0xDB, 0x8B, 0xD8}));
}

struct FileCase {
  std::string plain;
  size_t fileSize;
};

class EncryptFileTest : public ::testing::TestWithParam<FileCase> {};

TEST_P(EncryptFileTest, ReplacesFileAndRoundTrips) {
  const FileCase& c = GetParam();
  ScratchDir dir;
  const auto path = dir / "page16777216.qml";
  WriteAll(path, c.plain);
  ASSERT_TRUE(Encrypt(Wide(path)));
  const std::string stored = ReadAll(path);
  ASSERT_EQ(stored.size(), c.fileSize);
  const auto plain = DecipherContent(stored);
  ASSERT_TRUE(plain.has_value());
  std::string padded = c.plain;
  padded.resize(c.fileSize - 8, ' ');
  EXPECT_EQ(*plain, padded);
}

INSTANTIATE_TEST_SUITE_P(Sizes, EncryptFileTest,
                         ::testing::Values(FileCase{"x", 12}, FileCase{"hello", 16},
                                           FileCase{"abcdefgh", 16},
                                           FileCase{std::string(4099, 'q'), 8 + 4100}));

TEST(FileCipher, TwoEncryptionsOfOneTextDiffer) {
  ScratchDir dir;
  const std::string text = "import QtQuick\nOrvixPage {\n}\n";
  WriteAll(dir / "a.qml", text);
  WriteAll(dir / "b.qml", text);
  ASSERT_TRUE(Encrypt(Wide(dir / "a.qml")));
  ASSERT_TRUE(Encrypt(Wide(dir / "b.qml")));
  const std::string a = ReadAll(dir / "a.qml");
  const std::string b = ReadAll(dir / "b.qml");
  EXPECT_NE(a.substr(0, 8), b.substr(0, 8));
  EXPECT_NE(a, b);
  EXPECT_EQ(DecipherContent(a), DecipherContent(b));
}

TEST(FileCipher, EmptyOrMissingFileFailsWithMessageAndStaysUnchanged) {
  ScratchDir dir;
  const auto empty = dir / "empty.qml";
  WriteAll(empty, "");
  for (const auto& path : {empty, dir / "missing.qml"}) {
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(Encrypt(Wide(path)));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Encryptqml file content is empty!!!\n");
  }
  EXPECT_TRUE(std::filesystem::exists(empty));
  EXPECT_EQ(std::filesystem::file_size(empty), 0u);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing.qml"));
}

TEST(FileCipher, EmptyPathFailsSilently) {
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(Encrypt(u""));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(FileCipher, SaveFileWritesWholeContentOverOldFile) {
  ScratchDir dir;
  const auto path = dir / "f.bin";
  WriteAll(path, std::string(100, 'z'));
  const std::string data("\x00\x01\r\n\x1a\xff", 6);
  EXPECT_TRUE(SaveFile(data, Wide(path)));
  EXPECT_EQ(ReadAll(path), data);
}

TEST(FileCipher, SaveFileUnopenableFailsSilently) {
  ScratchDir dir;
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(SaveFile("abc", Wide(dir / "no-such-folder" / "f.bin")));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// A file-size limit makes the write stop short, as a full disk would; the
// stored length then differs and the file must be removed.
[[noreturn]] void SaveUnderSizeLimit(const std::filesystem::path& path) {
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  limit.rlim_cur = limit.rlim_max = 100;  // room for the captured message
  setrlimit(RLIMIT_FSIZE, &limit);
  std::exit(SaveFile(std::string(1000, 'a'), Wide(path)) ? 1 : 0);
}

TEST(FileCipherDeathTest, ShortWriteRemovesFile) {
  ScratchDir dir;
  const auto path = dir / "short.qml";
  EXPECT_EXIT(SaveUnderSizeLimit(path), ::testing::ExitedWithCode(0),
              "SaveFileSave file with error length! Will remove it.\n");
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(FileCipher, ReadFileContentKeepsEveryByte) {
  ScratchDir dir;
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  WriteAll(dir / "all.bin", bytes);
  EXPECT_EQ(ReadFileContent(Wide(dir / "all.bin")), bytes);
  EXPECT_EQ(ReadFileContent(Wide(dir / "absent.bin")), "");
}

}  // namespace
}  // namespace prt
