#include "data/files/WorkingCopy.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <functional>

#include "platform/Text.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

// A project folder holding the data set "plant" and files that are not part of it.
class WorkingCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"plant.prt", "plant.R012.cnk", "plant.ETH0.cnk", "plant.pwx", "other.prt", "plant.txt"})
      WriteFile(dir_ / name, std::string("source ") + name);
    fs::last_write_time(dir_ / "plant.prt", kSourceTime);
  }
  std::u16string Source() const { return dir_.Wide("plant.prt"); }
  fs::path Work(const char* name) const { return dir_ / "SimWork" / name; }

  static inline const fs::file_time_type kSourceTime{std::chrono::milliseconds(1'650'000'000'250)};
  test::TempDir dir_;
};

// The first run creates SimWork and copies the data set's files, times
// included; an unchanged source copies nothing, a rewritten one deletes the
// stale state files and copies again.
TEST_F(WorkingCopyTest, UnchangedSourceCopiesNothingRewrittenSourceDeletesStaleFilesAndCopiesAgain) {
  auto first = WorkingCopy::Prepare(Source());
  ASSERT_TRUE(first);
  for (const char* copied : {"plant.prt", "plant.R012.cnk", "plant.ETH0.cnk", "plant.pwx"}) {
    EXPECT_EQ(ReadFile(Work(copied)), std::string("source ") + copied);
    EXPECT_EQ(fs::last_write_time(Work(copied)), fs::last_write_time(dir_ / copied)) << copied;
  }
  EXPECT_FALSE(fs::exists(Work("other.prt")) || fs::exists(Work("plant.txt")));
  const std::string work = (dir_ / "SimWork").string();
  EXPECT_EQ(platform::Narrow(first->Base()), work + "/plant");
  EXPECT_EQ(platform::Narrow(first->FolderPath()), work);

  for (const char* file : {"plant.rt_file.LANG", "plant.rt_file.CONN", "plant.pwxEx", "other.rt_file.LANG"})
    WriteFile(Work(file), "old");
  WriteFile(Work("plant.pwx"), "edited in the working copy");
  ASSERT_TRUE(WorkingCopy::Prepare(Source()));
  EXPECT_EQ(ReadFile(Work("plant.rt_file.LANG")), "old");
  EXPECT_EQ(ReadFile(Work("plant.pwx")), "edited in the working copy");

  WriteFile(dir_ / "plant.prt", "config v2");
  fs::last_write_time(dir_ / "plant.prt", kSourceTime + std::chrono::milliseconds(1));
  ASSERT_TRUE(WorkingCopy::Prepare(Source()));
  for (const char* stale : {"plant.rt_file.LANG", "plant.rt_file.CONN", "plant.pwxEx"})
    EXPECT_FALSE(fs::exists(Work(stale))) << stale;
  EXPECT_TRUE(fs::exists(Work("other.rt_file.LANG")));
  EXPECT_EQ(ReadFile(Work("plant.prt")), "config v2");
  EXPECT_EQ(ReadFile(Work("plant.pwx")), "source plant.pwx");
}

// A failure says which step, path and system reason.
TEST_F(WorkingCopyTest, FailuresSayTheStepPathAndReason) {
  using Step = WorkingCopyError::Step;
  fs::create_directory(dir_ / "folder.prt");
  ASSERT_EQ(mkfifo((dir_ / "fifo.prt").c_str(), 0600), 0);
  const std::string work = (dir_ / "SimWork").string();
  const struct { std::function<void()> prepare; std::u16string path; Step step;
                 std::string where, folder, reason; } cases[] = {
      {[] {}, u"", Step::OpenData, "", "", "No such file or directory"},
      {[] {}, dir_.Wide("missing/plant.prt"), Step::OpenData, "", "", "No such file or directory"},
      {[] {}, dir_.Wide("folder.prt"), Step::OpenData, "", "", "Is a directory"},
      {[] {}, dir_.Wide("fifo.prt"), Step::OpenData, "", "", "not a regular file"},
      {[&] { WriteFile(dir_ / "plant.bin", "data"); }, dir_.Wide("plant.bin"), Step::NotPrtName, "", "",
       "the data file name must end in .prt"},
      {[&] { WriteFile(dir_ / "SimWork", "a file"); }, Source(), Step::CreateFolder, work, "", "File exists"},
      {[&] { fs::remove(dir_ / "SimWork"), fs::create_directories(Work("plant.pwx/x")); }, Source(), Step::CopyFile,
       "plant.pwx", work, "Is a directory"},
  };
  for (const auto& c : cases) {
    c.prepare();
    const std::string label = platform::Narrow(c.path);
    const auto status = WorkingCopy::Prepare(c.path);
    ASSERT_FALSE(status) << label;
    const WorkingCopyError* error = &status.Error();
    EXPECT_EQ(error->step, c.step) << label;
    EXPECT_EQ(platform::Narrow(error->path), c.where.empty() ? label : c.where) << label;
    EXPECT_EQ(platform::Narrow(error->folder), c.folder) << label;
    EXPECT_EQ(error->Reason(), c.reason) << label;
    // Nothing is created for a data file that cannot be opened.
    if (c.step == Step::OpenData || c.step == Step::NotPrtName) {
      EXPECT_FALSE(fs::exists(dir_ / "SimWork")) << label;
    }
  }
}

}  // namespace
}  // namespace prt
