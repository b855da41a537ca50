#include "platform/Files.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>

#include "platform/Folders.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "tests/support/TempDir.h"

namespace prt::platform {
namespace {

namespace fs = std::filesystem;

// The system's reason a call gave, or none.
template <typename R>
std::error_code CodeOf(const R& result) {
  return result ? std::error_code() : result.Error().code;
}

// Every character of a name stands for itself, '*', '?' and '[' too.
TEST(NameRule, MatchesPrefixAnyMiddleAndSuffixLiterally) {
  const struct { const char16_t* name; NameRule rule; bool match; } cases[] = {
      {u"plant.R012.cnk", {u"plant.", u".cnk", true}, true}, {u"plant.cnk", {u"plant.", u".cnk", true}, false},
      {u"plant.rt_file.", {u"plant.rt_file.", u"", true}, true}, {u"plant.prtx", {u"plant.prt", u"", false}, false},
      {u"Plant.prt", {u"plant.prt", u"", false}, false},      {u"xyz.rt_file.LANG", {u"x*.rt_file.", u"", true}, false},
      {u"x*.rt_file.LANG", {u"x*.rt_file.", u"", true}, true}, {u"xa.prt", {u"x?.prt", u"", false}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.rule.Matches(c.name), c.match) << Narrow(c.name);
}

// ".." after a link leads where the system goes, not where the text says;
// a path without ".." in its folder part is left as given.
TEST(FullPath, AbsoluteWithDotDotResolvedAsTheSystemDoes) {
  test::TempDir dir;
  const fs::path cwd = fs::current_path();
  EXPECT_EQ(FullPath(u"x/./y/b.prt"), FromPath(cwd / "x" / "y" / "b.prt"));
  EXPECT_EQ(FullPath(u"/abs/p.prt"), u"/abs/p.prt");
  EXPECT_EQ(FullPath(u""), u"");
  fs::create_directories(dir / "real" / "deep");
  fs::create_directory_symlink(dir / "real" / "deep", dir / "link");
  EXPECT_EQ(FullPath(dir.Wide("link/p.prt")), dir.Wide("link/p.prt"));
  EXPECT_EQ(FullPath(dir.Wide("link/../p.prt")), dir.Wide("real/p.prt"));
  EXPECT_EQ(KernelPath(dir.Wide("missing/../p.prt")), dir.Wide("missing/../p.prt"));
}

// Writing or overwriting in place ends with exactly the new content, longer
// or shorter, and the file reads back with its size; a file that reports no
// size is still read to its end.
TEST(WholeFile, WritesReadsAndOverwritesExactly) {
  test::TempDir dir;
  std::string large(70000, '\0');
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 + i / 256);
  for (const auto write : {&WriteWholeFile, &OverwriteWholeFile}) {
    const std::u16string file = dir.Wide("f.bin");
    fs::remove(dir / "f.bin");
    EXPECT_EQ(CodeOf(ReadWholeFile(file)), std::errc::no_such_file_or_directory);
    EXPECT_EQ(CodeOf(ReadableFileSize(file)), std::errc::no_such_file_or_directory);
    EXPECT_EQ(CodeOf(write(dir.Wide("no/such/folder/f.bin"), "x")), std::errc::no_such_file_or_directory);
    for (const std::string& data : {large, std::string("abc"), std::string("longer than before"), std::string()}) {
      const SysResult<FileInfo> made = write(file, data);
      ASSERT_TRUE(made);
      const SysResult<FileInfo> now = StatFile(file);
      ASSERT_TRUE(now);
      EXPECT_TRUE(made->inode == now->inode && made->modifiedNs == now->modifiedNs && made->size == data.size());
      const SysResult<std::string> read = ReadWholeFile(file);
      ASSERT_TRUE(read);
      EXPECT_EQ(*read, data);
      const SysResult<uint64_t> size = ReadableFileSize(file);
      ASSERT_TRUE(size);
      EXPECT_EQ(*size, data.size());
    }
  }
  const SysResult<std::string> status = ReadWholeFile(u"/proc/self/status");
  ASSERT_TRUE(status);
  EXPECT_EQ(status->substr(0, 5), "Name:");
}

// Where a file is expected, a FIFO or a device neither blocks the call nor
// is read or written, and a folder is refused as well.
TEST(WholeFile, RefusesWhatIsNotARegularFile) {
  test::TempDir dir;
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  fs::create_directory(dir / "folder");
  test::WriteFile(dir / "plain", "abc");
  const std::u16string plain = dir.Wide("plain");
  auto open = [](const char* mode) {
    return [mode](const std::u16string& p) {
      const SysResult<std::FILE*> stream = OpenStream(p, mode);
      if (stream) std::fclose(*stream);
      const std::error_code ec = CodeOf(stream);
      EXPECT_EQ(errno, ec.value()) << mode;
      return ec;
    };
  };
  const struct { const char* name; std::function<std::error_code(const std::u16string&)> call; } cases[] = {
      {"read", [](const auto& p) { return CodeOf(ReadWholeFile(p)); }},
      {"write", [](const auto& p) { return CodeOf(WriteWholeFile(p, "x")); }},
      {"overwrite", [](const auto& p) { return CodeOf(OverwriteWholeFile(p, "x")); }},
      {"copy from", [&](const auto& p) { return CodeOf(CopyWholeFile(p, dir.Wide("copy"))); }},
      {"copy onto", [&](const auto& p) { return CodeOf(CopyWholeFile(plain, p)); }},
      {"open rb", open("rb")}, {"open rb+", open("rb+")}, {"open ab", open("ab")}, {"open wb+", open("wb+")},
  };
  ::alarm(20);  // a regression blocks on the FIFO: end it as a failure rather than hang
  for (const auto& c : cases) {
    EXPECT_EQ(c.call(dir.Wide("fifo")), std::errc::no_such_device_or_address) << c.name;
    EXPECT_EQ(c.call(u"/dev/null"), std::errc::no_such_device_or_address) << c.name;
    EXPECT_EQ(c.call(dir.Wide("folder")), std::errc::is_a_directory) << c.name;
  }
  for (const std::u16string& special : {dir.Wide("fifo"), dir.Wide("folder"), std::u16string(u"/dev/null")}) {
    EXPECT_FALSE(ReadableFileSize(special)) << Narrow(special);
  }
  ::alarm(0);
  EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
  EXPECT_FALSE(fs::exists(dir / "copy"));
}

// Under a file-size limit every write fails with EFBIG rather than the
// signal ending the process; a replaced file keeps its old content.
[[noreturn]] void WriteUnderSizeLimit(const fs::path& dir) {
  PrepareProcess();
  const rlimit limit{100, 100};
  setrlimit(RLIMIT_FSIZE, &limit);
  const std::string data(1000, 'd');
  const std::error_code results[] = {
      CodeOf(WriteWholeFile(FromPath(dir / "w"), data)),
      CodeOf(OverwriteWholeFile(FromPath(dir / "o"), data)),
      CodeOf(ReplaceWholeFile(FromPath(dir / "r"), data)),
      CodeOf(CopyWholeFile(FromPath(dir / "big"), FromPath(dir / "c"))),
  };
  int tooLarge = 0;
  for (const std::error_code& ec : results) tooLarge += ec == std::errc::file_too_large;
  std::exit(tooLarge);
}

TEST(WholeFileDeathTest, SizeLimitGivesFileTooLarge) {
  test::TempDir dir;
  test::WriteFile(dir / "r", "old");
  test::WriteFile(dir / "big", std::string(1000, 'b'));
  EXPECT_EXIT(WriteUnderSizeLimit(dir.Path()), testing::ExitedWithCode(4), "");
  EXPECT_EQ(test::ReadFile(dir / "r"), "old");
  EXPECT_EQ(test::Files(dir.Path()).size(), 5u);  // r, big, w, o, c: no temporary file left
}

// An entry operation reaches nothing outside its folder whatever name it is
// given: only one name inside it is taken.
TEST(FolderHandle, TakesOnlyOneNameInsideTheFolder) {
  using namespace std::string_literals;
  test::TempDir dir;
  fs::create_directory(dir / "in");
  test::WriteFile(dir / "victim", "victim");
  SysResult<FolderHandle> opened = FolderHandle::Open(dir.Wide("in"), FolderHandle::Links::Refuse);
  ASSERT_TRUE(opened);
  const FolderHandle& in = *opened;
  for (const std::u16string& name : {u""s, u"."s, u".."s, u"../victim"s, dir.Wide("victim"), u"victim\0x"s})
    for (const std::error_code& ec :
         {CodeOf(in.Stat(name)), CodeOf(in.Remove(name)), CodeOf(in.Read(name, 99)), CodeOf(in.Replace(name, "x")),
          CodeOf(in.Create(name, "x")), CodeOf(in.Rename(name, u"new")), CodeOf(in.Rename(u"new", name)),
          CodeOf(in.Exchange(name, u"new")), CodeOf(in.MakeFolder(name)), CodeOf(in.OpenFolder(name)),
          CodeOf(in.Link(name, in, u"new")), CodeOf(in.Link(u"new", in, name)), CodeOf(in.CopyIn(dir.Wide("victim"), name))})
      EXPECT_EQ(ec, NotOneName()) << NarrowPath(name);
  EXPECT_EQ(test::ReadFile(dir / "victim"), "victim");
  EXPECT_TRUE(fs::is_empty(dir / "in"));
}

// Only whole pages inside the range are given back (they read as zeros
// afterwards); the bytes on pages the range shares with live data stay.
TEST(Memory, DiscardPagesTakesOnlyWholePagesInsideTheRange) {
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  std::vector<char> buffer(8 * page, 'x');
  char* const from = buffer.data() + page / 2;
  DiscardPages(from, 6 * page);
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(from) + page - 1) / page * page;
  const uintptr_t end = (reinterpret_cast<uintptr_t>(from) + 6 * page) / page * page;
  ASSERT_GE(end - begin, 5 * page);
  for (size_t i = 0; i < buffer.size(); ++i) {
    const auto at = reinterpret_cast<uintptr_t>(buffer.data() + i);
    ASSERT_EQ(buffer[i], at >= begin && at < end ? 0 : 'x') << i;
  }
}

// A name's bytes reach the file system unchanged, valid UTF-8 or not.
TEST(Text, PathBytesRoundTripThroughTheWideForm) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"a\xc3\xa4\xe6\x96\x87", u"a\u00e4\u6587"}, {"\xf0\x9f\x98\x80", u"\U0001F600"},
      {"out\xff", u"out\xDCFF"}, {"\xc0\xaf", u"\xDCC0\xDCAF"}, {"\xed\xa0\x80", u"\xDCED\xDCA0\xDC80"},
      {"\xe6\x96x", u"\xDCE6\xDC96x"}, {"\x80\xf0\x9f\x98\x80\xbf", u"\xDC80\U0001F600\xDCBF"},
  };
  for (const auto& [bytes, wide] : cases) {
    EXPECT_EQ(WidenPath(bytes), wide) << bytes;
    EXPECT_EQ(NarrowPath(wide), bytes) << bytes;
  }
  // Messages keep the replacement character; a surrogate no byte could give stays one.
  EXPECT_EQ(Narrow(u"out\xDCFF"), "out\xef\xbf\xbd");
  EXPECT_EQ(NarrowPath(u"\xDC7F" + std::u16string(1, u'\xD800') + u"x"), "\xef\xbf\xbd\xef\xbf\xbdx");
}

}  // namespace
}  // namespace prt::platform
