#include "generator/GenerationRun.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/generator/PipelineTestUtil.h"

namespace prt {
namespace {

namespace fs = std::filesystem;
using testutil::ReadAll;
using testutil::ScratchDir;
using testutil::Wide;
using testutil::WriteAll;

std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

size_t EntryCount(const fs::path& dir) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

struct PathCase {
  const char* typeCode;
  uint32_t objId;
  std::u16string expected;
};

class QmlFilePathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(QmlFilePathTest, NameFromTypeCodeAndSignedReference) {
  const PathCase& c = GetParam();
  EXPECT_EQ(QmlFilePath(u"out/qmls_generating/", c.typeCode, c.objId), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, QmlFilePathTest,
    ::testing::Values(PathCase{"page", 16777218u, u"out/qmls_generating//page16777218.qml"},
                      PathCase{"tmpl", 637534209u, u"out/qmls_generating//tmpl.qml"},
                      PathCase{"rppg", 889192448u, u"out/qmls_generating//rppg889192448.qml"},
                      PathCase{"pops", 1191182341u, u"out/qmls_generating//pops1191182341.qml"},
                      // Type numbers from 128 up give a negative signed reference.
                      PathCase{"page", 0xC8000001u, u"out/qmls_generating//page-939524095.qml"},
                      // Only the exact code tmpl drops the number.
                      PathCase{"tmp", 7u, u"out/qmls_generating//tmp7.qml"},
                      PathCase{"tmplx", 7u, u"out/qmls_generating//tmplx7.qml"},
                      PathCase{"", 0u, u"out/qmls_generating//0.qml"}));

TEST(GenerationRun, SurrogatesBecomeReplacementCharacters) {
  std::u16string text = u"a\U0001F600b";
  text += static_cast<char16_t>(0xD800);
  text += u'c';
  text += static_cast<char16_t>(0xDFFF);
  text += u"\uD7FF\uE000\uFFFF";
  ReplaceSurrogates(text);
  EXPECT_EQ(text, u"a\uFFFD\uFFFDb\uFFFDc\uFFFD\uD7FF\uE000\uFFFF");
}

TEST(GenerationRun, SaveQmlFileWritesUtf8WithoutBomOrNewlineTranslation) {
  ScratchDir dir;
  const auto path = dir / "page1.qml";
  WriteAll(path, std::string(500, 'o'));
  EXPECT_TRUE(SaveQmlFile(Wide(path), u"A\u00e4\r\n\uFFFD\n"));
  EXPECT_EQ(ReadAll(path), "A\xC3\xA4\r\n\xEF\xBF\xBD\n");
  EXPECT_TRUE(SaveQmlFile(Wide(path), u""));
  EXPECT_EQ(fs::file_size(path), 0u);
  EXPECT_FALSE(SaveQmlFile(Wide(dir / "missing" / "page1.qml"), u"x"));
}

TEST(GenerationRun, QuotedPathEscapesQuotesAndBackslashes) {
  EXPECT_EQ(QuotedPath("a/b c"), "\"a/b c\"");
  EXPECT_EQ(QuotedPath("x\"y\\z"), "\"x\\\"y\\\\z\"");
}

TEST(PrepareFolder, CreatesMissingFolderQuietly) {
  ScratchDir dir;
  ::testing::internal::CaptureStdout();
  PrepareFolder(Wide(dir.Path()) + u"/qmls_generating/");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(fs::is_directory(dir / "qmls_generating"));
  EXPECT_EQ(EntryCount(dir / "qmls_generating"), 0u);
}

TEST(PrepareFolder, MissingParentThrows) {
  ScratchDir dir;
  EXPECT_THROW(PrepareFolder(Wide(dir / "absent") + u"/qmls_generating/"), fs::filesystem_error);
}

TEST(PrepareFolder, EmptiesExistingFolderListingEachEntry) {
  ScratchDir dir;
  const auto staging = dir / "qmls_generating";
  fs::create_directories(staging / "sub" / "deeper");
  WriteAll(staging / "old.qml", "x");
  WriteAll(staging / "sub" / "deeper" / "f", "y");
  WriteAll(staging / "q\"uote", "z");
  ::testing::internal::CaptureStdout();
  PrepareFolder(Wide(staging) + u"/");
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::string prefix = staging.string() + "/";
  EXPECT_EQ(SortedLines(out), (std::vector<std::string>{
                                  "Remove: \"" + prefix + "old.qml\"",
                                  "Remove: \"" + prefix + "q\\\"uote\"",
                                  "Remove: \"" + prefix + "sub\"",
                              }));
  EXPECT_TRUE(fs::is_directory(staging));
  EXPECT_EQ(EntryCount(staging), 0u);
}

TEST(PrepareFolder, FileInPlaceOfFolderReportsWalkFailure) {
  ScratchDir dir;
  WriteAll(dir / "qmls_generating", "not a folder");
  ::testing::internal::CaptureStderr();
  PrepareFolder(Wide(dir / "qmls_generating"));
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("Failed to iterator: generic:20, ", 0), 0u) << err;
  EXPECT_EQ(err.back(), '\n');
}

// An immutable sub folder cannot be emptied, even by root: its removal
// fails, is reported, and the walk goes on with the other entries.
TEST(PrepareFolder, EntryThatCannotBeRemovedIsReportedAndWalkContinues) {
  ScratchDir dir;
  const auto staging = dir / "qmls_generating";
  fs::create_directories(staging / "locked");
  WriteAll(staging / "locked" / "inside", "x");
  WriteAll(staging / "free.qml", "x");
  const std::string locked = (staging / "locked").string();
  if (std::system(("chattr +i '" + locked + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "chattr +i is not available on " << dir.Path();
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  PrepareFolder(Wide(staging));
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::string err = ::testing::internal::GetCapturedStderr();
  std::system(("chattr -i '" + locked + "'").c_str());
  EXPECT_EQ(out, "Remove: \"" + (staging / "free.qml").string() + "\"\n");
  EXPECT_EQ(err.rfind("Failed to remove: \"" + locked + "\", ", 0), 0u) << err;
  EXPECT_TRUE(fs::exists(staging / "locked" / "inside"));
}

TEST(PublishFolder, RenameReplacesWholeFinalFolder) {
  ScratchDir dir;
  const std::u16string staging = Wide(dir.Path()) + u"/qmls_generating/";
  const std::u16string final = Wide(dir.Path()) + u"/qmls/";
  fs::create_directories(dir / "qmls_generating");
  fs::create_directories(dir / "qmls" / "foreign");
  WriteAll(dir / "qmls_generating" / "page16777216.qml", "new");
  WriteAll(dir / "qmls" / "stale.qml", "old");
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(PublishFolder(staging, final));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Move " + dir.Path().string() + "/qmls_generating/ to " + dir.Path().string() + "/qmls/\n");
  EXPECT_FALSE(fs::exists(dir / "qmls_generating"));
  EXPECT_EQ(EntryCount(dir / "qmls"), 1u);
  EXPECT_EQ(ReadAll(dir / "qmls" / "page16777216.qml"), "new");
}

// Staging and final on different file systems: the rename fails with a
// cross-device error and the files are copied instead. The first attempt
// has already removed the old final folder.
TEST(PublishFolder, CrossDeviceFallsBackToCopy) {
  ScratchDir dir;
  struct stat tmpStat {}, shmStat {};
  if (stat(dir.Path().c_str(), &tmpStat) != 0 || stat("/dev/shm", &shmStat) != 0 ||
      tmpStat.st_dev == shmStat.st_dev) {
    GTEST_SKIP() << "no second file system at /dev/shm";
  }
  const fs::path other = fs::path("/dev/shm") / dir.Path().filename();
  fs::create_directories(other / "qmls");
  WriteAll(other / "qmls" / "stale.qml", "stale");
  fs::create_directories(dir / "qmls_generating");
  WriteAll(dir / "qmls_generating" / "a.qml", "fresh");
  WriteAll(dir / "qmls_generating" / "a.qmlc", "cache");

  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  const bool ok = PublishFolder(Wide(dir / "qmls_generating"), Wide(other / "qmls"));
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::string err = ::testing::internal::GetCapturedStderr();
  const bool staleGone = !fs::exists(other / "qmls" / "stale.qml");
  const std::string copied = ReadAll(other / "qmls" / "a.qml") + ReadAll(other / "qmls" / "a.qmlc");
  const size_t finalEntries = EntryCount(other / "qmls");
  fs::remove_all(other);

  EXPECT_TRUE(ok);
  EXPECT_EQ(err.rfind("fs error: generic:18, ", 0), 0u) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  const std::string to = "\"" + (other / "qmls").string() + "\"";
  EXPECT_EQ(SortedLines(out),
            (std::vector<std::string>{
                "Copy \"" + (dir / "qmls_generating" / "a.qml").string() + "\" to " + to,
                "Copy \"" + (dir / "qmls_generating" / "a.qmlc").string() + "\" to " + to}));
  EXPECT_TRUE(staleGone);
  EXPECT_EQ(finalEntries, 2u);
  EXPECT_EQ(copied, "freshcache");
  // The staging folder stays with its files.
  EXPECT_EQ(ReadAll(dir / "qmls_generating" / "a.qml"), "fresh");
  EXPECT_EQ(EntryCount(dir / "qmls_generating"), 2u);
}

TEST(PublishFolder, MissingStagingFailsBothWays) {
  ScratchDir dir;
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  const bool ok = PublishFolder(Wide(dir / "absent"), Wide(dir / "qmls"));
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_FALSE(ok);
  EXPECT_EQ(out, "");
  const auto lines = SortedLines(err);
  ASSERT_EQ(lines.size(), 2u) << err;
  EXPECT_EQ(lines[0].rfind("fs error: generic:2, ", 0), 0u) << err;
  EXPECT_EQ(lines[1].rfind("fs error: generic:2, ", 0), 0u) << err;
  // The copy attempt created the final folder before the walk failed.
  EXPECT_TRUE(fs::is_directory(dir / "qmls"));
}

}  // namespace
}  // namespace prt
