#include "data/files/CPRFileNameGenerator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

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

std::string NameFor(const CPRFileNameGenerator& names, uint32_t code) {
  std::u16string out;
  EXPECT_EQ(names.GetFileName(code, out), 0u);
  return platform::Narrow(out);
}

// A project folder holding the data set "plant" and a foreign one.
class WorkingCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir_ / "plant.prt", "config v1");
    WriteFile(dir_ / "plant.R012.cnk", "recipe");
    WriteFile(dir_ / "plant.ETH0.cnk", "ethernet");
    WriteFile(dir_ / "plant.pwx", "passwords");
    WriteFile(dir_ / "other.prt", "other");
    WriteFile(dir_ / "plant.txt", "not part of the set");
    fs::last_write_time(dir_ / "plant.prt", kSourceTime);
  }

  std::u16string Source() const { return dir_.Wide("plant.prt"); }
  fs::path Work(const char* name) const { return dir_ / "SimWork" / name; }

  static inline const fs::file_time_type kSourceTime{std::chrono::seconds(1'650'000'000) +
                                                     std::chrono::milliseconds(250)};
  test::TempDir dir_;
};

TEST_F(WorkingCopy, FirstRunCreatesSimWorkAndCopiesTheDataSet) {
  CPRFileNameGenerator names;
  names.SetProjectPath(Source());

  for (const char* copied : {"plant.prt", "plant.R012.cnk", "plant.ETH0.cnk", "plant.pwx"}) {
    EXPECT_EQ(ReadFile(Work(copied)), ReadFile(dir_ / copied)) << copied;
    EXPECT_EQ(fs::last_write_time(Work(copied)), fs::last_write_time(dir_ / copied)) << copied;
  }
  EXPECT_FALSE(fs::exists(Work("other.prt")));
  EXPECT_FALSE(fs::exists(Work("plant.txt")));

  const std::string work = (dir_ / "SimWork").string();
  EXPECT_EQ(platform::Narrow(names.Base()), work + "/plant");
  EXPECT_EQ(platform::Narrow(names.Folder()), work);
  EXPECT_EQ(platform::Narrow(names.FolderCopy()), work);
  EXPECT_EQ(platform::Narrow(names.Name()), "plant");
}

TEST_F(WorkingCopy, FileCodesNameFilesBesideTheBase) {
  CPRFileNameGenerator names;
  names.SetProjectPath(Source());
  const std::string base = (dir_ / "SimWork" / "plant").string();
  struct Case {
    uint32_t code;
    const char* suffix;
  } cases[] = {
      {kFileConfig, ".prt"},
      {FileCode('P', 'A', 'S', 'S'), ".pwx"},
      {FileCode('P', 'W', 'L', 'E'), ".pwxEx"},
      {FileCode('E', 'T', 'H', '0'), ".ETH0.cnk"},
      {FileCode('I', 'F', '1', 'B'), ".IF1B.cnk"},
      {FileCode('R', '0', '1', '2'), ".R012.cnk"},
      {FileCode('R', '9', '9', '9'), ".R999.cnk"},
      {FileCode('R', '0', '1', 'A'), ".rt_file.R01A"},
      {FileCode('r', '0', '1', '2'), ".rt_file.r012"},
      {kFileLanguage, ".rt_file.LANG"},
      {kFileConnection, ".rt_file.CONN"},
      {FileCode('@', 'M', 'S', 'G'), ".rt_file.@MSG"},
      {FileCode('E', 'T', 'H', '1'), ".rt_file.ETH1"},
  };
  for (const Case& c : cases) EXPECT_EQ(NameFor(names, c.code), base + c.suffix) << c.suffix;
}

TEST_F(WorkingCopy, UnchangedSourceCopiesNothingAndKeepsStateFiles) {
  CPRFileNameGenerator first;
  first.SetProjectPath(Source());
  WriteFile(Work("plant.rt_file.LANG"), "lang");
  WriteFile(Work("plant.rt_file.CONN"), "conn");
  WriteFile(Work("plant.pwx"), "edited in the working copy");

  CPRFileNameGenerator second;
  second.SetProjectPath(Source());
  EXPECT_EQ(ReadFile(Work("plant.rt_file.LANG")), "lang");
  EXPECT_EQ(ReadFile(Work("plant.rt_file.CONN")), "conn");
  EXPECT_EQ(ReadFile(Work("plant.pwx")), "edited in the working copy");
  EXPECT_EQ(second.Base(), first.Base());
}

TEST_F(WorkingCopy, RewrittenSourceDeletesStaleFilesAndCopiesAgain) {
  CPRFileNameGenerator first;
  first.SetProjectPath(Source());
  for (const char* stale : {"plant.rt_file.LANG", "plant.rt_file.CONN", "plant.pwxEx"}) WriteFile(Work(stale), "old");
  for (const char* kept : {"other.rt_file.LANG", "plant.keep"}) WriteFile(Work(kept), "keep");
  WriteFile(Work("plant.pwx"), "edited in the working copy");

  WriteFile(dir_ / "plant.prt", "config v2");
  fs::last_write_time(dir_ / "plant.prt", kSourceTime + std::chrono::milliseconds(1));

  CPRFileNameGenerator second;
  second.SetProjectPath(Source());
  for (const char* stale : {"plant.rt_file.LANG", "plant.rt_file.CONN", "plant.pwxEx"}) {
    EXPECT_FALSE(fs::exists(Work(stale))) << stale;
  }
  for (const char* kept : {"other.rt_file.LANG", "plant.keep"}) EXPECT_TRUE(fs::exists(Work(kept))) << kept;
  EXPECT_EQ(ReadFile(Work("plant.prt")), "config v2");
  EXPECT_EQ(ReadFile(Work("plant.pwx")), "passwords");
  EXPECT_EQ(second.Base(), first.Base());
}

TEST_F(WorkingCopy, MissingWorkingCopyInExistingSimWorkIsCopied) {
  fs::create_directory(dir_ / "SimWork");
  CPRFileNameGenerator names;
  names.SetProjectPath(Source());
  EXPECT_EQ(ReadFile(Work("plant.prt")), "config v1");
  EXPECT_FALSE(names.Base().empty());
}

TEST_F(WorkingCopy, OnlyTheFirstNonEmptyPathCounts) {
  CPRFileNameGenerator names;
  names.SetProjectPath(u"");
  EXPECT_TRUE(names.Base().empty());
  EXPECT_FALSE(fs::exists(dir_ / "SimWork"));

  names.SetProjectPath(Source());
  const std::u16string base = names.Base();
  WriteFile(dir_ / "second.prt", "x");
  names.SetProjectPath(dir_.Wide("second.prt"));
  EXPECT_EQ(names.Base(), base);
  EXPECT_FALSE(fs::exists(Work("second.prt")));
}

TEST_F(WorkingCopy, NoNamesAreFormedWhenTheWorkingCopyFails) {
  struct Case {
    const char* what;
    std::u16string path;
  } cases[] = {
      {"parent folder missing", dir_.Wide("missing/plant.prt")},
      {"nothing to copy", dir_.Wide("absent.prt")},
  };
  for (const Case& c : cases) {
    CPRFileNameGenerator names;
    names.SetProjectPath(c.path);
    EXPECT_TRUE(names.Base().empty()) << c.what;
    EXPECT_TRUE(names.Folder().empty()) << c.what;
    EXPECT_EQ(NameFor(names, kFileConfig), ".prt") << c.what;
  }
}

TEST_F(WorkingCopy, ADotInAFolderNameIsNotAnExtension) {
  fs::create_directory(dir_ / "v1.2");
  WriteFile(dir_ / "v1.2" / "plant", "no extension");
  CPRFileNameGenerator names;
  fs::create_directory(dir_ / "v1.2" / "SimWork");
  fs::copy_file(dir_ / "v1.2" / "plant", dir_ / "v1.2" / "SimWork" / "plant");
  fs::last_write_time(dir_ / "v1.2" / "SimWork" / "plant", fs::last_write_time(dir_ / "v1.2" / "plant"));
  names.SetProjectPath(dir_.Wide("v1.2/plant"));
  EXPECT_EQ(platform::Narrow(names.Base()), (dir_ / "v1.2" / "SimWork" / "plant").string());
  EXPECT_EQ(platform::Narrow(names.Name()), "plant");
}

}  // namespace
}  // namespace prt
