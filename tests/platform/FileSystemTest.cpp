#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>

#include "platform/Text.h"
#include "tests/support/TempDir.h"

namespace prt::platform {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

TEST(MatchesPattern, StarMatchesAnyRunOtherCharactersThemselves) {
  const struct { const char16_t *name, *pattern; bool match; } cases[] = {
      {u"plant.R012.cnk", u"plant.*.cnk", true}, {u"plant.a.b.cnk", u"plant.*.cnk", true},
      {u"plant.cnk", u"plant.*.cnk", false},     {u"plant.rt_file.", u"plant.rt_file.*", true},
      {u"plant.prtx", u"plant.prt", false},      {u"Plant.prt", u"plant.prt", false},
      {u"abcabd", u"*abd", true},                {u"abc", u"a*b*c*d", false},
      {u"", u"*", true},                         {u"a", u"", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MatchesPattern(c.name, c.pattern), c.match) << Narrow(c.name) << " ~ " << Narrow(c.pattern);
}

TEST(FullPath, AbsoluteWithoutResolvingLinks) {
  test::TempDir dir;
  const fs::path cwd = fs::current_path();
  EXPECT_EQ(FullPath(u"x/../y/./b.prt"), FromPath(cwd / "y" / "b.prt"));
  EXPECT_EQ(FullPath(u"/abs/p.prt"), u"/abs/p.prt");
  EXPECT_EQ(FullPath(u""), u"");
  fs::create_directory(dir / "real");
  fs::create_directory_symlink(dir / "real", dir / "link");
  EXPECT_EQ(FullPath(dir.Wide("link/p.prt")), dir.Wide("link/p.prt"));
}

TEST(OpenStream, WidePathReachesTheUtf8Name) {
  test::TempDir dir;
  std::FILE* f = OpenStream(dir.Wide() + u"/\u00dcbung \u6587.bin", "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("abc", f);
  std::fclose(f);
  EXPECT_EQ(ReadFile(dir / "\xc3\x9c" "bung \xe6\x96\x87.bin"), "abc");
  EXPECT_EQ(OpenStream(dir.Wide("missing"), "rb"), nullptr);
}

TEST(WholeFile, ReadWriteAndSize) {
  test::TempDir dir;
  const std::u16string file = dir.Wide("f.bin");
  EXPECT_EQ(ReadWholeFile(file), std::nullopt);
  EXPECT_EQ(ReadableFileSize(file), std::nullopt);
  EXPECT_EQ(WriteWholeFile(dir.Wide("no/such/folder/f.bin"), "x"), WriteOutcome::NotOpened);

  std::string bytes(70000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 256);
  EXPECT_EQ(WriteWholeFile(file, bytes), WriteOutcome::Written);
  EXPECT_EQ(ReadWholeFile(file), bytes);
  EXPECT_EQ(ReadableFileSize(file), bytes.size());
  // A shorter content replaces the whole file.
  EXPECT_EQ(WriteWholeFile(file, "abc"), WriteOutcome::Written);
  EXPECT_EQ(ReadFile(dir / "f.bin"), "abc");
  EXPECT_EQ(WriteWholeFile(file, ""), WriteOutcome::Written);
  EXPECT_EQ(ReadWholeFile(file), std::string());
  EXPECT_EQ(ReadableFileSize(file), 0u);
}

// Overwriting in place ends with exactly the new content, longer or shorter.
TEST(WholeFile, OverwriteLeavesExactlyTheNewContent) {
  test::TempDir dir;
  const std::u16string file = dir.Wide("f.qml");
  EXPECT_EQ(OverwriteWholeFile(dir.Wide("no/such/folder/f.qml"), "x"), WriteOutcome::NotOpened);
  const struct { std::string_view data; } steps[] = {{"created"}, {"longer than before"}, {"cut"}, {""}, {"again"}};
  for (const auto& step : steps) {
    EXPECT_EQ(OverwriteWholeFile(file, step.data), WriteOutcome::Written) << step.data;
    EXPECT_EQ(ReadFile(dir / "f.qml"), step.data);
  }
}

// A file that reports no size is still read to its end.
TEST(WholeFile, ReadsAStreamWithoutASize) {
  EXPECT_EQ(ReadWholeFile(u"/proc/self/status").value_or("").substr(0, 5), "Name:");
}

// A FIFO, a device or a folder where a file is expected fails at once: an
// open or read of a FIFO without a writer would wait for ever.
TEST(RegularFilesOnly, AnythingElseFailsAtOnce) {
  test::TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  fs::create_directory(dir / "folder");
  test::WriteFile(dir / "plain", "abc");
  const std::u16string plain = dir.Wide("plain"), copy = dir.Wide("copy");
  const struct { const char* name; std::function<bool(const std::u16string&)> fails; } operations[] = {
      {"OpenStream rb", [](auto& p) { return OpenStream(p, "rb") == nullptr && errno == ENXIO; }},
      {"OpenStream rb+", [](auto& p) { return OpenStream(p, "rb+") == nullptr; }},
      {"OpenStream ab", [](auto& p) { return OpenStream(p, "ab") == nullptr; }},
      {"ReadWholeFile", [](auto& p) { return !ReadWholeFile(p) && FileErrorText(errno) == "not a regular file"; }},
      {"ReadableFileSize", [](auto& p) { return !ReadableFileSize(p); }},
      {"LastWriteTimeMs", [](auto& p) { return LastWriteTimeMs(p) == 0; }},
      {"WriteWholeFile", [](auto& p) { return WriteWholeFile(p, "x") == WriteOutcome::NotOpened; }},
      {"copy from it", [&](auto& p) { return !CopyFileKeepTime(p, copy) && !fs::exists(dir / "copy"); }},
      {"copy onto it", [&](auto& p) { return !CopyFileKeepTime(plain, p); }},
  };
  ::alarm(20);  // a regression blocks: end it as a failure rather than hang
  for (const std::u16string& special : {dir.Wide("fifo"), dir.Wide("folder"), std::u16string(u"/dev/null")}) {
    for (const auto& op : operations) EXPECT_TRUE(op.fails(special)) << op.name << " on " << Narrow(special);
  }
  ::alarm(0);
  EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
  EXPECT_EQ(test::ReadFile(dir / "plain"), "abc");
}

TEST(CopyFileKeepTime, ReplacesTheContentAndKeepsTheTime) {
  test::TempDir dir;
  test::WriteFile(dir / "from", "new");
  test::WriteFile(dir / "to", "an older, longer content");
  fs::last_write_time(dir / "from", fs::file_time_type(std::chrono::seconds(1'700'000'000)));
  ASSERT_TRUE(CopyFileKeepTime(dir.Wide("from"), dir.Wide("to")));
  ASSERT_TRUE(CopyFileKeepTime(dir.Wide("from"), dir.Wide("fresh")));
  for (const char* copy : {"to", "fresh"}) {
    EXPECT_EQ(test::ReadFile(dir / copy), "new") << copy;
    EXPECT_EQ(fs::last_write_time(dir / copy), fs::last_write_time(dir / "from")) << copy;
    EXPECT_EQ(LastWriteTimeMs(dir.Wide(copy)), LastWriteTimeMs(dir.Wide("from"))) << copy;
  }
  EXPECT_NE(LastWriteTimeMs(dir.Wide("from")), 0);
  EXPECT_FALSE(CopyFileKeepTime(dir.Wide("missing"), dir.Wide("to")));
  EXPECT_EQ(errno, ENOENT);
}

TEST(Text, WidenAndNarrowConvertAndReplaceBadSequences) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"a\xc3\xa4\xe6\x96\x87", u"a\u00e4\u6587"}, {"\xf0\x9f\x98\x80", u"\U0001F600"},
      {"\xc0\xaf", u"\uFFFD"}, {"\xed\xa0\x80", u"\uFFFD"}, {"\xe6\x96", u"\uFFFD"}, {"\xff" "b", u"\uFFFDb"},
  };
  for (const auto& [utf8, utf16] : cases) EXPECT_EQ(Widen(utf8), utf16) << utf8;
  EXPECT_EQ(Narrow(u"\U0001F600x"), "\xf0\x9f\x98\x80x");
  EXPECT_EQ(Narrow(std::u16string(1, u'\xD800') + u"x"), "\xef\xbf\xbdx");
}

}  // namespace
}  // namespace prt::platform
