#include <gtest/gtest.h>
#include <sys/stat.h>

#include "convert/Publish.h"
#include "tests/support/LineReport.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

namespace fs = std::filesystem;
using namespace test;

// The output folder and its staging folder, held as a run holds them.
struct HeldFolders {
  explicit HeldFolders(const fs::path& out) : paths(platform::FromPath(out)) {
    auto opened = platform::FolderHandle::Open(paths.output);
    if (opened) output = std::move(*opened);
    auto staged = output.OpenFolder(u"qmls_generating");
    if (staged) staging = std::move(*staged);
  }
  OutputPaths paths;
  platform::FolderHandle output, staging;
};

// The staging folder takes the final folder's place whole, the final folder
// missing, a folder with other files, or a link (replaced itself, its
// target left alone); nothing else remains beside it.
TEST(PublishFolder, StagingReplacesFinalInOneStep) {
  enum class Final { Missing, Folder, Link };
  for (const Final kind : {Final::Missing, Final::Folder, Final::Link}) {
    TempDir dir;
    const fs::path out = dir / "out";
    fs::create_directories(out / "qmls_generating");
    WriteFile(out / "qmls_generating" / "a.qml", "fresh");
    fs::create_directories(dir / "elsewhere" / "nested");
    WriteFile(dir / "elsewhere" / "stale.qml", "stale");
    if (kind == Final::Folder) fs::rename(dir / "elsewhere", out / "qmls");
    if (kind == Final::Link) fs::create_directory_symlink(dir / "elsewhere", out / "qmls");

    KeptLines lines;
    const HeldFolders held(out);
    ASSERT_TRUE(held.staging.Valid());
    const auto published = PublishStaging(held.output, held.staging, held.paths, lines.report);
    ASSERT_TRUE(published);
    EXPECT_EQ(*published, Published::Moved);
    EXPECT_EQ(lines.out.str() + lines.err.str(), "");
    EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 1) << static_cast<int>(kind);  // qmls alone
    EXPECT_FALSE(fs::is_symlink(out / "qmls"));
    EXPECT_EQ(test::Files(out / "qmls"), (std::map<std::string, std::string>{{"a.qml", "fresh"}}));
    EXPECT_EQ(fs::exists(dir / "elsewhere" / "stale.qml"), kind != Final::Folder);
  }
}

// The copy path on its own: the copies replace the final folder whole and
// a leftover sibling of a killed copy goes first; a file that cannot be
// copied leaves the final folder untouched and no sibling.
TEST(PublishFolder, CopyReplacesFinalWholeOrLeavesItUntouched) {
  for (const bool copyFails : {false, true}) {
    TempDir dir;
    fs::create_directories(dir / "qmls_generating");
    WriteFile(dir / "qmls_generating" / "a.qml", "fresh");
    WriteFile(dir / "qmls_generating" / "a.qmlc", "cache");
    ASSERT_TRUE(!copyFails || mkfifo((dir / "qmls_generating" / "b.fifo").c_str(), 0600) == 0);
    fs::create_directories(dir / "qmls");
    WriteFile(dir / "qmls" / "stale.qml", "stale");
    fs::create_directories(dir / "qmls_copying");
    WriteFile(dir / "qmls_copying" / "junk", "junk");

    KeptLines lines;
    const HeldFolders held(dir.Path());
    ASSERT_TRUE(held.staging.Valid());
    const auto published = PublishByCopy(held.output, held.staging, held.paths, lines.report);
    EXPECT_EQ(static_cast<bool>(published), !copyFails);
    if (!published) lines.report.Detour(*published.Error().cause->As<platform::SystemError>());
    const std::string out = lines.out.str(), err = lines.err.str();
    const std::string to = " to \"" + (dir / "qmls").string() + "/\"";
    EXPECT_EQ(SortedLines(out),
              (std::vector<std::string>{"Copy \"" + (dir / "qmls_generating" / "a.qml").string() + "\"" + to,
                                        "Copy \"" + (dir / "qmls_generating" / "a.qmlc").string() + "\"" + to}));
    using Files = std::map<std::string, std::string>;
    EXPECT_EQ(test::Files(dir / "qmls"), (copyFails ? Files{{"stale.qml", "stale"}} : Files{{"a.qml", "fresh"}, {"a.qmlc", "cache"}}));
    EXPECT_EQ(err, copyFails ? "fs error: file kind:6, filesystem error: cannot copy file: not a regular file [" +
                                   (dir / "qmls_generating" / "b.fifo").string() + "] [" +
                                   (dir / "qmls_copying" / "b.fifo").string() + "]\n"
                             : "");
    EXPECT_FALSE(fs::exists(dir / "qmls_copying"));
    EXPECT_EQ(ReadFile(dir / "qmls_generating" / "a.qml"), "fresh");
  }
}

}  // namespace
}  // namespace prt
