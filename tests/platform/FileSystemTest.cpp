#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/Text.h"
#include "tests/support/TempDir.h"

namespace prt::platform {
namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(MatchesPattern, StarMatchesAnyRunOtherCharactersThemselves) {
  struct Case {
    const char16_t* name;
    const char16_t* pattern;
    bool match;
  } cases[] = {
      {u"plant.R012.cnk", u"plant.*.cnk", true},
      {u"plant.a.b.cnk", u"plant.*.cnk", true},
      {u"plant..cnk", u"plant.*.cnk", true},
      {u"plant.cnk", u"plant.*.cnk", false},
      {u"plant.R012.cnkx", u"plant.*.cnk", false},
      {u"plant.rt_file.LANG", u"plant.rt_file.*", true},
      {u"plant.rt_file.", u"plant.rt_file.*", true},
      {u"plant.rt_fileLANG", u"plant.rt_file.*", false},
      {u"plant.prt", u"plant.prt", true},
      {u"plant.prtx", u"plant.prt", false},
      {u"xplant.prt", u"plant.prt", false},
      {u"Plant.prt", u"plant.prt", false},
      {u"aXbYc", u"a*b*c", true},
      {u"abcabd", u"*abd", true},
      {u"abc", u"a*b*c*d", false},
      {u"", u"*", true},
      {u"", u"", true},
      {u"a", u"", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesPattern(c.name, c.pattern), c.match) << Narrow(c.name) << " ~ " << Narrow(c.pattern);
  }
}

TEST(FullPath, AbsoluteWithoutResolvingLinks) {
  test::TempDir dir;
  const fs::path cwd = fs::current_path();
  EXPECT_EQ(FullPath(u"a/b.prt"), FromPath(cwd / "a" / "b.prt"));
  EXPECT_EQ(FullPath(u"x/../y/./b.prt"), FromPath(cwd / "y" / "b.prt"));
  EXPECT_EQ(FullPath(u"/abs/p.prt"), u"/abs/p.prt");
  EXPECT_EQ(FullPath(u""), u"");

  fs::create_directory(dir / "real");
  fs::create_directory_symlink(dir / "real", dir / "link");
  EXPECT_EQ(FullPath(dir.Wide("link/p.prt")), dir.Wide("link/p.prt"));
}

TEST(CreateDirectory, ReportsCreatedExistedFailed) {
  test::TempDir dir;
  EXPECT_EQ(CreateDirectory(dir.Wide("new")), CreateDirResult::Created);
  EXPECT_TRUE(fs::is_directory(dir / "new"));
  EXPECT_EQ(CreateDirectory(dir.Wide("new")), CreateDirResult::Existed);
  EXPECT_EQ(CreateDirectory(dir.Wide("missing/new")), CreateDirResult::Failed);
  WriteFile(dir / "file", "x");
  EXPECT_EQ(CreateDirectory(dir.Wide("file")), CreateDirResult::Failed);
}

TEST(LastWriteTimeMs, MillisecondsOfTheModificationTimeZeroWhenUnreadable) {
  test::TempDir dir;
  WriteFile(dir / "f", "x");
  const auto when = fs::file_time_type(std::chrono::milliseconds(1'700'000'000'123) + std::chrono::microseconds(456));
  fs::last_write_time(dir / "f", when);
  EXPECT_EQ(LastWriteTimeMs(dir.Wide("f")), 1'700'000'000'123);
  EXPECT_EQ(LastWriteTimeMs(dir.Wide("missing")), 0);
}

TEST(FindFiles, MatchingFilesSortedWithoutFolders) {
  test::TempDir dir;
  for (const char* name : {"p.R2.cnk", "p.R1.cnk", "p.prt", "q.R1.cnk"}) WriteFile(dir / name, "x");
  fs::create_directory(dir / "p.dir.cnk");

  const FoundFiles found = FindFiles(dir.Wide(), u"p.*.cnk");
  EXPECT_TRUE(found.ranToEnd);
  EXPECT_EQ(found.names, (std::vector<std::u16string>{u"p.R1.cnk", u"p.R2.cnk"}));

  const FoundFiles none = FindFiles(dir.Wide(), u"z*");
  EXPECT_TRUE(none.ranToEnd);
  EXPECT_TRUE(none.names.empty());

  EXPECT_FALSE(FindFiles(dir.Wide("missing"), u"*").ranToEnd);
}

TEST(CopyFileKeepTime, OverwritesAndKeepsTheSourceTime) {
  test::TempDir dir;
  WriteFile(dir / "src", "new content");
  WriteFile(dir / "dst", "old content that is longer");
  const auto when = fs::file_time_type(std::chrono::seconds(1'600'000'000) + std::chrono::milliseconds(789));
  fs::last_write_time(dir / "src", when);

  ASSERT_TRUE(CopyFileKeepTime(dir.Wide("src"), dir.Wide("dst")));
  EXPECT_EQ(ReadFile(dir / "dst"), "new content");
  EXPECT_EQ(fs::last_write_time(dir / "dst"), when);
  EXPECT_EQ(LastWriteTimeMs(dir.Wide("dst")), LastWriteTimeMs(dir.Wide("src")));

  EXPECT_FALSE(CopyFileKeepTime(dir.Wide("missing"), dir.Wide("dst2")));
  EXPECT_FALSE(fs::exists(dir / "dst2"));
}

TEST(DeleteFile, RemovesOnlyWhatExists) {
  test::TempDir dir;
  WriteFile(dir / "f", "x");
  EXPECT_TRUE(DeleteFile(dir.Wide("f")));
  EXPECT_FALSE(fs::exists(dir / "f"));
  EXPECT_FALSE(DeleteFile(dir.Wide("f")));
}

TEST(OpenStream, WidePathReachesTheUtf8Name) {
  test::TempDir dir;
  const std::u16string path = dir.Wide() + u"/\u00dcbung \u6587.bin";
  std::FILE* f = OpenStream(path, "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("abc", f);
  std::fclose(f);
  EXPECT_EQ(ReadFile(dir / "\xc3\x9c" "bung \xe6\x96\x87.bin"), "abc");
  EXPECT_EQ(OpenStream(dir.Wide("missing"), "rb"), nullptr);
}

}  // namespace
}  // namespace prt::platform
