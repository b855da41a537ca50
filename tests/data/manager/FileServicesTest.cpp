#include "data/manager/CPRFileServices.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "data/manager/CPRFileNameGenerator.h"
#include "platform/Text.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

// File services whose project folder is <temp>/SimWork.
class FileServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir_ / "plant.prt", "config");
    ASSERT_TRUE(names_.SetProjectPath(dir_.Wide("plant.prt")));
    ASSERT_FALSE(names_.Folder().empty());
  }
  std::string Folder() const { return platform::Narrow(names_.Folder()); }
  fs::path Work(const char* name) const { return dir_ / "SimWork" / name; }

  test::TempDir dir_;
  CPRFileNameGenerator names_;
  CPRFileServices files_{names_};
};

TEST_F(FileServicesTest, NormalizePathResolvesAndCleansPaths) {
  const struct { std::u16string in; uint32_t kind; std::string out; } cases[] = {  // out "": rejected
      {u"plant.rt_file.LANG", 1, Folder() + "/plant.rt_file.LANG"},
      {u"./a/./b", 0, "a/b"},
      {u"a/../../b", 0, "b"},
      {u"/x//y/", 0, "/x/y"},
      {u"/..", 0, "/"},
      {u"", 1, ""},
      {u".", 0, ""},
      {std::u16string(u"/x/a\0b", 6), 1, ""},
      // Linux names: only '/' separates, every other character is part of a name.
      {u"sub\\..\\x.bin", 1, Folder() + "/sub\\..\\x.bin"},
      {u"\\x\\y/../z", 1, Folder() + "/z"},
      {u"C:\\x\\..\\y", 1, Folder() + "/C:\\x\\..\\y"},
      {u"/x/a?b:c|d<e>\"f", 1, "/x/a?b:c|d<e>\"f"},
  };
  for (const auto& c : cases) {
    std::u16string out = u"untouched";
    const uint32_t status = files_.NormalizePath(out, c.in, c.kind);
    EXPECT_EQ(status, c.out.empty() ? kFileError : 0u) << platform::Narrow(c.in);
    EXPECT_EQ(platform::Narrow(out), c.out.empty() ? "untouched" : c.out) << platform::Narrow(c.in);
  }
  // Only the first successful project path counts, and an unset one
  // leaves no base (it would name ".prt" in the current folder).
  const std::u16string base = names_.Base();
  EXPECT_TRUE(names_.SetProjectPath(dir_.Wide("other.prt")));
  EXPECT_EQ(names_.Base(), base);
  EXPECT_FALSE(fs::exists(Work("other.prt")));
  CPRFileNameGenerator noProject;
  EXPECT_FALSE(noProject.SetProjectPath(dir_.Wide("missing.prt")));
  EXPECT_TRUE(noProject.Base().empty() && !noProject.ProjectPathSet());
  std::u16string out;
  EXPECT_EQ(CPRFileServices(noProject).NormalizePath(out, u"a\\b/./c", 1), 0u);
  EXPECT_EQ(out, u"a\\b/c");
}

TEST_F(FileServicesTest, OpenModeFollowsTheAccessFlags) {
  // The content after writing "XY" at the start of "abcdef", and the bytes read back from the start.
  const struct { uint32_t flags; const char* after; int32_t readable; } cases[] = {
      {1u << 0, "abcdef", 2},                  // rb
      {1u << 2, "XYcdef", 2},                  // rb+
      {(1u << 2) | (1u << 3), "abcdefXY", 2},  // ab+
      {(1u << 2) | (1u << 5), "XY", 2},        // wb+
      {0, "XYcdef", 2},                        // rb+
  };
  for (const auto& c : cases) {
    WriteFile(Work("state.bin"), "abcdef");
    FileHandle* h = files_.Open(u"state.bin", c.flags, 1);
    ASSERT_NE(h, nullptr) << c.flags;
    EXPECT_EQ(files_.Seek(h, 0), 0u);
    files_.Write(h, "XY", 2);
    char back[2];
    EXPECT_EQ(files_.Seek(h, 0), 0u);
    EXPECT_EQ(files_.Read(h, back, 2), c.readable) << c.flags;
    EXPECT_EQ(files_.Close(h), 0u);
    EXPECT_EQ(ReadFile(Work("state.bin")), c.after) << c.flags;
  }
}

// A FIFO as the connection file (or any state file) is refused at once,
// whatever the flags, and stays as it is: no wait for a writer, no file made.
TEST_F(FileServicesTest, AFifoIsRefusedWithoutWaiting) {
  ASSERT_EQ(::mkfifo(Work("plant.rt_file.CONN").c_str(), 0600), 0);
  ::alarm(20);  // a regression blocks: end it as a failure
  for (uint32_t flags : {kOpenRead, kOpenUpdate, kOpenUpdate | (1u << 3), kOpenUpdate | (1u << 5), 1u << 3}) {
    errno = 0;
    EXPECT_EQ(files_.Open(u"plant.rt_file.CONN", flags, kPathKindProject), nullptr) << flags;
    EXPECT_EQ(errno, ENXIO) << flags;
  }
  ::alarm(0);
  EXPECT_TRUE(fs::is_fifo(Work("plant.rt_file.CONN")));
}

}  // namespace
}  // namespace prt
