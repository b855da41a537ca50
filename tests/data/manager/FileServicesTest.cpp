#include "data/manager/CPRFileServices.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <set>

#include "data/manager/CPRDataManager.h"
#include "data/manager/CPRFileNameGenerator.h"
#include "platform/Text.h"
#include "tests/support/Dataset.h"
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

// Adopted read-only, the manager lists and loads connection records without
// creating, writing or following anything; the format's 65,535 bytes bound
// the read.
TEST(ReadOnlyConnectionTest, ListsRecordsAndRefusesWhatIsNoFile) {
  using Records = std::vector<std::pair<uint32_t, uint16_t>>;
  const std::string records("\1\0\0\0\4\0\0\0abcd\2\0\0\0\0\0\0\0", 20);
  const std::string big = std::string("\7\0\0\0\xff\xff\0\0", 8) + std::string(70000, 'x');
  const struct { const char* name; std::function<void(const fs::path&)> make; std::errc error; Records listed; } cases[] = {
      {"missing", [](const fs::path&) {}, std::errc::no_such_file_or_directory, {}},
      {"fifo", [](const fs::path& f) { ::mkfifo(f.c_str(), 0600); }, std::errc::no_such_device_or_address, {}},
      {"folder", [](const fs::path& f) { fs::create_directory(f); }, std::errc::is_a_directory, {}},
      {"link", [&](const fs::path& f) { WriteFile(f.string() + "2", records), fs::create_symlink(f.string() + "2", f); },
       std::errc::too_many_symbolic_link_levels, {}},
      {"linked folder", [&](const fs::path& f) {
         fs::rename(f.parent_path(), f.parent_path().string() + "2");
         fs::create_directory_symlink(f.parent_path().string() + "2", f.parent_path());
         WriteFile(f, records); }, std::errc::too_many_symbolic_link_levels, {}},
      {"records", [&](const fs::path& f) { WriteFile(f, records); }, {}, {{1, 4}, {2, 0}}},
      {"longer", [&](const fs::path& f) { WriteFile(f, big); }, {}, {{7, 65535}}},
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    fs::create_directory(dir / "SimWork");
    const fs::path file = dir / "SimWork/p.rt_file.CONN";
    c.make(file);
    const std::set<fs::path> before = test::Tree(dir.Path());
    CPRDataManager dm;
    dm.AdoptReadOnly(*DataSet::FromImage(test::ImageFromJson("{}")), dir.Wide("SimWork/p.rt_file.CONN"));
    const auto listed = dm.ListConnectionRecords();
    const uint32_t key = 1;
    char buffer[4] = {};
    uint16_t length = 0;
    const bool hasKey = c.listed.size() == 2;
    EXPECT_EQ(dm.LoadConnectionRecord(&key, buffer, &length), hasKey) << c.name;
    if (hasKey) {
      EXPECT_EQ(std::string(buffer, length), "abcd");
    }
    EXPECT_FALSE(dm.StoreConnectionRecord(&key, "wxyz", 4)) << c.name;
    EXPECT_EQ(test::Tree(dir.Path()), before) << c.name;
    if (c.error != std::errc{}) {
      EXPECT_TRUE(!listed && listed.Error().code == c.error) << c.name;
      continue;
    }
    ASSERT_TRUE(listed) << c.name;
    Records got;
    for (const auto& r : listed->records) got.emplace_back(r.key, r.length);
    EXPECT_EQ(got, c.listed) << c.name;
    EXPECT_EQ(listed->longer, c.listed.size() == 1) << c.name;
  }
}

}  // namespace
}  // namespace prt
