#include "data/files/CPRFileServices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "data/files/CPRFileNameGenerator.h"
#include "platform/Text.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// File services whose project folder is <temp>/SimWork.
class FileServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir_ / "plant.prt", "config");
    names_.SetProjectPath(dir_.Wide("plant.prt"));
    ASSERT_FALSE(names_.FolderCopy().empty());
  }

  std::string Folder() const { return platform::Narrow(names_.FolderCopy()); }
  fs::path Work(const char* name) const { return dir_ / "SimWork" / name; }

  test::TempDir dir_;
  CPRFileNameGenerator names_;
  CPRFileServices files_{names_};
};

TEST_F(FileServicesTest, NormalizePathResolvesAndCleansPaths) {
  struct Case {
    std::u16string in;
    uint32_t kind;
    std::string out;  // empty: rejected
  } cases[] = {
      {u"plant.rt_file.LANG", 1, Folder() + "/plant.rt_file.LANG"},
      {u"sub\\..\\x.bin", 1, Folder() + "/x.bin"},
      {u"./a/./b", 0, "a/b"},
      {u"a/../../b", 0, "b"},
      {u"/x/y/../z", 1, "/x/z"},
      {u"\\x\\y", 1, "/x/y"},
      {u"/x//y/", 0, "/x/y"},
      {u"/..", 0, "/"},
      {u"C:\\x\\..\\y", 1, "C:/y"},
      {u"c:/x", 0, "c:/x"},
      {u"", 1, ""},
      {u".", 0, ""},
      {u"/x/a?b", 1, ""},
      {u"/x/a*b", 1, ""},
      {u"/x/a:b", 1, ""},
      {u"/x/a\"b", 1, ""},
      {u"/x/a<b", 1, ""},
      {u"/x/a>b", 1, ""},
      {u"/x/a|b", 1, ""},
      {u"C:/x:y", 0, ""},
      {u"1:/x", 0, ""},
  };
  for (const Case& c : cases) {
    std::u16string out = u"untouched";
    const uint32_t status = files_.NormalizePath(out, c.in, c.kind);
    if (c.out.empty()) {
      EXPECT_EQ(status, kFileError) << platform::Narrow(c.in);
      EXPECT_EQ(out, u"untouched") << platform::Narrow(c.in);
    } else {
      EXPECT_EQ(status, 0u) << platform::Narrow(c.in);
      EXPECT_EQ(platform::Narrow(out), c.out) << platform::Narrow(c.in);
    }
  }
}

TEST(FileServicesNoProject, RelativePathStaysRelativeWithoutAProjectFolder) {
  CPRFileNameGenerator names;
  CPRFileServices files(names);
  std::u16string out;
  ASSERT_EQ(files.NormalizePath(out, u"a\\b", 1), 0u);
  EXPECT_EQ(out, u"a/b");
}

TEST_F(FileServicesTest, OpenModeFollowsTheAccessFlags) {
  struct Case {
    uint32_t flags;
    const char* after;     // file content after writing "XY" at the start
    int32_t written;
  } cases[] = {
      {1u << 0, "abcdef", 0},                    // rb
      {(1u << 0) | (1u << 2), "abcdef", 0},      // bit 0 wins: rb
      {1u << 2, "XYcdef", 2},                    // rb+
      {(1u << 2) | (1u << 3), "abcdefXY", 2},    // ab+
      {(1u << 2) | (1u << 5), "XY", 2},          // wb+
      {1u << 3, "abcdefXY", 2},                  // ab
      {1u << 5, "XYcdef", 2},                    // rb+
      {0, "XYcdef", 2},                          // rb+
  };
  for (const Case& c : cases) {
    WriteFile(Work("state.bin"), "abcdef");
    FileHandle* h = files_.Open(u"state.bin", c.flags, 1);
    ASSERT_NE(h, nullptr) << c.flags;
    EXPECT_EQ(files_.Seek(h, 0), 0u);
    EXPECT_EQ(files_.Write(h, "XY", 2), c.written) << c.flags;
    EXPECT_EQ(files_.Close(h), 0u);
    EXPECT_EQ(ReadFile(Work("state.bin")), c.after) << c.flags;
  }
}

TEST_F(FileServicesTest, OpeningAMissingFileCreatesItEmptyWhateverTheFlags) {
  for (uint32_t flags : {kOpenRead, kOpenUpdate, 1u << 3}) {
    fs::remove(Work("new.bin"));
    FileHandle* h = files_.Open(u"new.bin", flags, 1);
    ASSERT_NE(h, nullptr) << flags;
    char buffer[4];
    EXPECT_EQ(files_.Read(h, buffer, 4), 0);
    EXPECT_EQ(files_.Write(h, "ab", 2), 2) << flags;
    EXPECT_EQ(files_.Close(h), 0u);
    EXPECT_EQ(ReadFile(Work("new.bin")), "ab") << flags;
  }
}

TEST_F(FileServicesTest, ReadAndSeekMoveThroughTheFile) {
  WriteFile(Work("lang.bin"), std::string("\x02\x00\x00\x00tail", 8));
  FileHandle* h = files_.Open(u"lang.bin", kOpenRead, 1);
  ASSERT_NE(h, nullptr);
  uint8_t word[4] = {};
  EXPECT_EQ(files_.Read(h, word, 4), 4);
  EXPECT_EQ(word[0], 2);
  char rest[16] = {};
  EXPECT_EQ(files_.Read(h, rest, 16), 4);
  EXPECT_EQ(std::string(rest), "tail");
  EXPECT_EQ(files_.Seek(h, 1), 0u);
  EXPECT_EQ(files_.Read(h, rest, 3), 3);
  EXPECT_EQ(std::string(rest, 3), std::string("\0\0\0", 3));
  EXPECT_EQ(files_.Close(h), 0u);
}

TEST_F(FileServicesTest, BadArgumentsAreRefused) {
  char buffer[4];
  EXPECT_EQ(files_.Read(nullptr, buffer, 4), -1);
  EXPECT_EQ(files_.Write(nullptr, buffer, 4), -1);
  EXPECT_EQ(files_.Seek(nullptr, 0), kFileError);
  EXPECT_EQ(files_.Close(nullptr), kFileError);
  EXPECT_EQ(files_.Open(u"a?b", kOpenRead, 1), nullptr);
  EXPECT_EQ(files_.Open(u"", kOpenRead, 1), nullptr);
  EXPECT_EQ(files_.Open(dir_.Wide("missing/x.bin"), kOpenRead, 1), nullptr);

  FileHandle* h = files_.Open(u"x.bin", kOpenUpdate, 1);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(files_.Read(h, buffer, -1), -1);
  EXPECT_EQ(files_.Write(h, buffer, -1), -1);
  EXPECT_EQ(files_.Read(h, nullptr, 1), -1);
  EXPECT_EQ(files_.Seek(h, -1), kFileError);
  EXPECT_EQ(files_.Close(h), 0u);
}

}  // namespace
}  // namespace prt
