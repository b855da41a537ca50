// The run's end under faults: kills, full file systems, size limits,
// overlapping runs and inputs that are not what they seem. Each case runs the
// real prt2qml and checks what a build pipeline would rely on: exit 0 only
// with a complete qmls, and otherwise the previous qmls as it was.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <set>
#include <thread>

#include "tests/support/Dataset.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Files = std::map<std::string, std::string>;  // file name -> bytes

constexpr long kPage = 4096;

test::ProcessResult Tool(const std::vector<std::string>& args, const fs::path& workDir,
                         test::ProcessRequest extra = {}) {
  extra.program = PRT2QML_PATH, extra.args = args, extra.workDir = workDir, extra.timeoutSeconds = 60;
  return test::RunProcess(extra);
}

std::string Describe(const test::ProcessResult& r) {
  return "exited " + std::to_string(r.exited) + " status " + std::to_string(r.exitStatus) + " signal " +
         std::to_string(r.signal) + "\nstderr: " + r.err.substr(0, 2000);
}

// Waits until the process ends or `timeout` passes; true when it ended.
bool WaitForExit(pid_t pid, std::chrono::milliseconds timeout, int otherFd = -1) {
  const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (pidFd < 0) return true;
  pollfd fds[2] = {{pidFd, POLLIN, 0}, {otherFd, POLLIN, 0}};
  const int n = poll(fds, otherFd >= 0 ? 2 : 1, static_cast<int>(timeout.count()));
  const bool ended = n > 0 && fds[0].revents != 0;
  close(pidFd);
  return ended;
}

// Kills the process after `delay`, unless it has ended by then.
std::function<void(pid_t)> KillAfter(std::chrono::microseconds delay) {
  return [delay](pid_t pid) {
    if (!WaitForExit(pid, std::chrono::duration_cast<std::chrono::milliseconds>(delay))) kill(pid, SIGKILL);
  };
}

std::string Synthetic(int pages, int controls, int seed) {
  return R"({"synthetic": {"pages": )" + std::to_string(pages) + R"(, "templates": 1, "reportPages": 3, "popups": 6,
      "controls": )" + std::to_string(controls) + R"(, "seed": )" + std::to_string(seed) + "}}";
}

// A project that converts to one page whose document is `pad` bytes longer
// than with an empty page text (the text is written once, as controlName).
std::string OnePage(size_t textLength, char letter = 'x') {
  return R"({"screens": [{"type": "page", "text": ")" + std::string(textLength, letter) + R"(", "w": 800, "h": 480}]})";
}

// A tmpfs of `pages` pages mounted over `dir`, unmounted at the end.
class Tmpfs {
 public:
  Tmpfs(const fs::path& dir, long pages) : dir_(dir) {
    fs::create_directories(dir);
    const std::string options = "size=" + std::to_string(pages * kPage);
    if (mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) != 0)
      error_ = std::string("mounting a tmpfs needs root: ") + std::strerror(errno);
  }
  ~Tmpfs() { if (error_.empty()) umount2(dir_.c_str(), MNT_DETACH); }
  const std::string& Error() const { return error_; }

 private:
  fs::path dir_;
  std::string error_;
};

long Pages(size_t bytes) { return static_cast<long>((bytes + kPage - 1) / kPage); }

void Install(const Files& files, const fs::path& dir) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const auto& [name, bytes] : files) test::WriteFile(dir / name, bytes);
}

// The plain output of a project, converted in a folder of its own.
Files Reference(const test::TempDir& dir, const std::string& name, const std::string& json) {
  test::WriteDataset(dir / name / "p.prt", json);
  const test::ProcessResult r = Tool({name + "/p.prt"}, dir.Path());
  EXPECT_TRUE(r.exited && r.exitStatus == 0) << Describe(r);
  return test::Files(dir / name / "qmls");
}

TEST(Faults, KillAtAnyMomentLeavesTheOldOrTheNewOutputWhole) {
  test::TempDir dir;
  const Files oldFiles = Reference(dir, "old", Synthetic(40, 3000, 1));
  const Files newFiles = Reference(dir, "new", Synthetic(60, 6000, 2));
  ASSERT_FALSE(oldFiles.empty());
  ASSERT_NE(oldFiles, newFiles);
  const fs::path out = dir / "out";

  // Times one whole run into the output folder, which already holds qmls.
  Install(oldFiles, out / "qmls");
  const auto start = Clock::now();
  ASSERT_EQ(Tool({"new/p.prt", "-d", "out"}, dir.Path()).exitStatus, 0);
  const auto runTime = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);

  auto check = [&](const std::string& moment, const test::ProcessResult& killed) {
    const Files now = test::Files(out / "qmls");
    EXPECT_TRUE(now == oldFiles || now == newFiles)
        << moment << ": qmls holds " << now.size() << " files\n" << Describe(killed);
    const test::ProcessResult again = Tool({"new/p.prt", "-d", "out"}, dir.Path());
    EXPECT_TRUE(again.exited && again.exitStatus == 0) << moment << "\n" << Describe(again);
    EXPECT_TRUE(test::Files(out / "qmls") == newFiles) << moment;
  };

  constexpr int kMoments = 16;
  for (int i = 0; i <= kMoments; ++i) {
    Install(oldFiles, out / "qmls");
    const auto delay = runTime * i * 12 / (kMoments * 10);
    check("after " + std::to_string(delay.count()) + " us",
          Tool({"new/p.prt", "-d", "out"}, dir.Path(), {.monitor = KillAfter(delay)}));
  }

  // The moment the first file of the old qmls goes: a kill then must not
  // leave a qmls that lacks it.
  Install(oldFiles, out / "qmls");
  const int watch = inotify_init1(IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, (out / "qmls").c_str(), IN_DELETE), 0);
  bool sawDeletion = false;
  const test::ProcessResult killed = Tool({"new/p.prt", "-d", "out"}, dir.Path(), {.monitor = [&](pid_t pid) {
    if (!WaitForExit(pid, std::chrono::seconds(30), watch)) {
      kill(pid, SIGKILL);
      sawDeletion = true;
    }
  }});
  close(watch);
  EXPECT_TRUE(sawDeletion);
  check("at the first removal from the old qmls", killed);
}

// A kill while the data set is copied into the working folder leaves no
// temporary file there for good, nor in the output folder: the next run
// removes what is left under the names only runs use.
TEST(Faults, KilledRunsLeaveNoTemporaryFilesBehind) {
  test::TempDir dir;
  test::WriteDataset(dir / "p/p.prt", OnePage(10));
  std::set<std::string> project = {"p.prt", "SimWork", "qmls"}, work = {"p.prt", "p.prt.hash", "p.qmls.record", "p.rt_file.LANG"};
  for (const char* chunk : {"p.R000.cnk", "p.R001.cnk", "p.R002.cnk"})
    test::WriteFile(dir / "p" / chunk, std::string(8 << 20, 'c')), project.insert(chunk), work.insert(chunk);
  fs::create_directory(dir / "p/SimWork");
  const int watch = inotify_init1(IN_CLOEXEC);
  ASSERT_GE(inotify_add_watch(watch, (dir / "p/SimWork").c_str(), IN_CREATE), 0);
  const test::ProcessResult killed = Tool({"p/p.prt"}, dir.Path(), {.monitor = [&](pid_t pid) {
    if (!WaitForExit(pid, std::chrono::seconds(30), watch)) kill(pid, SIGKILL);
  }});
  close(watch);
  EXPECT_EQ(killed.signal, SIGKILL);
  // Where the file system offers no unnamed files, and what was moved aside.
  for (const char* left : {"SimWork/.prt2qml.tmp.1.0", "qmls_copying/a", "qmls_copying.stale.3/a", "qmls_generating.stale.0/a"}) {
    fs::create_directories((dir / "p" / left).parent_path());
    test::WriteFile(dir / "p" / left, "left");
  }
  const test::ProcessResult r = Tool({"p/p.prt"}, dir.Path());
  EXPECT_TRUE(r.exited && r.exitStatus == 0) << Describe(r);
  for (auto [folder, names] : {std::pair{dir / "p", project}, {dir / "p/SimWork", work}}) {
    for (const auto& entry : fs::directory_iterator(folder)) EXPECT_EQ(names.erase(entry.path().filename().string()), 1u) << entry.path();
    EXPECT_TRUE(names.empty()) << folder;
  }
}

// Disk faults through the fault seam, which needs neither root nor a mount:
// each fails the run with a line naming the file and the system's reason
// and leaves the old qmls as it was. A full disk writes half a file first.
// A refused rename of the staging folder takes the copy path instead.
TEST(Faults, DiskFaultsFailTheRunAndKeepTheOldOutput) {
  test::TempDir dir;
  const Files newFiles = Reference(dir, "new", OnePage(5000));
  const Files oldFiles = Reference(dir, "old", OnePage(50, 'o'));
  const size_t doc = newFiles.at("page16777216.qml").size();
  // Paths holding page16777216.qml: the document, then its cache's
  // temporary file; with -e the cache's, then the enciphered document (the
  // plain text is never saved). Renames: the cache's, then the staging
  // folder's.
  const struct { const char* fault; bool encipher; std::optional<unsigned long> sizeLimit; const char* file, *reason; } cases[] = {
      {"write,1,ENOSPC,page16777216.qml", false, {}, "page16777216.qml'", "No space left on device"},
      {"open,1,EACCES,page16777216.qml", false, {}, "page16777216.qml'", "Permission denied"},
      {"write,1,EIO,.qmlc", false, {}, "page16777216.qmlc'", "Input/output error"},
      {"write,2,ENOSPC,page16777216.qml", true, {}, "page16777216.qml'", "No space left on device"},
      {"sync,1,EIO,qmls_generating", false, {}, "qmls_generating/'", "Input/output error"},
      {nullptr, false, doc / 2, "page16777216.qml'", "File too large"},
      {"rename,2,EXDEV,qmls_generating", false, {}, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    const fs::path out = dir / "out";
    fs::remove_all(out);
    Install(oldFiles, out / "qmls");
    std::vector<std::string> args{"new/p.prt", "-d", "out"};
    if (c.encipher) args.push_back("-e");
    test::ProcessRequest extra{.fileSizeLimit = c.sizeLimit};
    if (c.fault) extra.env = {std::string("PRT2QML_TEST_FAULT=") + c.fault};
    const test::ProcessResult r = Tool(args, dir.Path(), extra);
    const std::string label = c.fault ? c.fault : "size limit";
    EXPECT_TRUE(r.exited && r.exitStatus == (c.file ? 253 : 0)) << label << "\n" << Describe(r);
    EXPECT_TRUE(!c.file || (r.err.find("prt2qml: cannot write '") != std::string::npos &&
                            r.err.find(std::string(c.file) + ": " + c.reason) != std::string::npos)) << label << "\n" << r.err;
    EXPECT_TRUE(test::Files(out / "qmls") == (c.file ? oldFiles : newFiles)) << label;
  }
}

// The same on a small tmpfs that fills up, where mounting is allowed (root).
TEST(Faults, FullFileSystemFailsTheRunAndKeepsTheOldOutput) {
  test::TempDir dir;
  // One page whose document ends 3 bytes short of a page boundary: its
  // enciphered form (8 key bytes more) needs one page more than the plain text.
  test::WriteDataset(dir / "probe/p.prt", OnePage(100));
  ASSERT_EQ(Tool({"probe/p.prt"}, dir.Path()).exitStatus, 0);
  const size_t probe = fs::file_size(dir / "probe/qmls/page16777216.qml");
  const size_t text = 100 + (static_cast<size_t>(2 * kPage) - 3 - probe) % kPage;
  const Files newFiles = Reference(dir, "new", OnePage(text));
  const size_t doc = newFiles.at("page16777216.qml").size();
  ASSERT_EQ(doc % kPage, static_cast<size_t>(kPage - 3));
  const long docPages = Pages(doc);
  const long cachePages = Pages(newFiles.at("page16777216.qmlc").size());
  const Files oldFiles = Reference(dir, "old", OnePage(50, 'o'));
  long oldPages = 0;
  for (const auto& [name, bytes] : oldFiles) oldPages += Pages(bytes.size());

  // Free pages beyond what the old output takes.
  const struct { const char* stage; long freePages; bool encipher; } cases[] = {
      {"document saving", docPages - 1, false},
      {"cache saving", docPages + cachePages - 1, false},
      {"enciphering", docPages + cachePages, true},
  };
  for (const auto& c : cases) {
    const fs::path out = dir / "out";
    Tmpfs tmpfs(out, oldPages + c.freePages);
    if (!tmpfs.Error().empty()) GTEST_SKIP() << tmpfs.Error() << "; the fault seam cases above cover a full disk";
    Install(oldFiles, out / "qmls");
    std::vector<std::string> args{"new/p.prt", "-d", "out"};
    if (c.encipher) args.push_back("-e");
    const test::ProcessResult r = Tool(args, dir.Path());
    EXPECT_TRUE(r.exited && r.exitStatus == 253) << c.stage << "\n" << Describe(r);
    EXPECT_NE(r.err.find("page16777216.qml"), std::string::npos) << c.stage << "\n" << r.err;
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << c.stage << "\n" << r.err;
    EXPECT_TRUE(test::Files(out / "qmls") == oldFiles) << c.stage;
  }
}

// A project folder where SimWork cannot be made: the load fails with the
// reason and reads nothing else (a loadable ".prt" waits in the current folder).
TEST(Faults, ReadOnlyProjectFolderFailsTheLoadWithTheReason) {
  test::TempDir dir;
  fs::permissions(dir.Path(), fs::perms(0755));
  test::WriteDataset(dir / ".prt", OnePage(10));
  test::WriteDataset(dir / "proj/a.prt", OnePage(10));
  fs::create_directory(dir / "out");
  test::ReadOnlyFolder project(dir / "proj");
  const test::ProcessResult r = Tool({"proj/a.prt", "-d", "out"}, dir.Path(), {.user = project.user});
  EXPECT_TRUE(r.exited && r.exitStatus == 254) << Describe(r);
  EXPECT_EQ(r.err, "prt2qml: cannot create the working folder '" + (dir / "proj/SimWork").string() + "': " +
                       (project.Mounted() ? "Read-only file system" : "Permission denied") +
                       "\nInitialize Data Manager failed!\n");
  EXPECT_TRUE(fs::is_empty(dir / "out"));
}

TEST(Faults, OverlappingRunsNeverPublishAMixedOrPartialOutput) {
  test::TempDir dir;
  const Files first = Reference(dir, "a", Synthetic(40, 4000, 3));
  const Files second = Reference(dir, "b", Synthetic(25, 2500, 4));
  ASSERT_NE(first, second);
  const auto start = Clock::now();
  Tool({"a/p.prt", "-d", "."}, dir.Path());
  const auto runTime = Clock::now() - start;

  const struct { const char* name; const char* projects[2]; bool staggered; const char* lockWait; } cases[] = {
      {"one project, together", {"a", "a"}, false, nullptr},
      {"one project, staggered", {"a", "a"}, true, nullptr},
      {"two projects, together", {"a", "b"}, false, nullptr},
      {"two projects, staggered", {"a", "b"}, true, nullptr},
      {"two projects, no waiting", {"a", "b"}, false, "0"},
  };
  for (const auto& c : cases) {
    fs::remove_all(dir / "out");
    fs::create_directory(dir / "out");
    test::ProcessResult results[2];
    std::thread runs[2];
    for (int i = 0; i < 2; ++i) {
      if (i == 1 && c.staggered) std::this_thread::sleep_for(runTime / 3);
      test::ProcessRequest extra;
      if (c.lockWait) extra.env = {std::string("PRT2QML_LOCK_WAIT=") + c.lockWait};
      runs[i] = std::thread([&, i, extra] {
        results[i] = Tool({std::string(c.projects[i]) + "/p.prt", "-d", "out"}, dir.Path(), extra);
      });
    }
    for (auto& run : runs) run.join();
    int succeeded = 0;
    for (const auto& r : results) {
      ASSERT_TRUE(r.exited) << c.name << "\n" << Describe(r);
      succeeded += r.exitStatus == 0;
      EXPECT_TRUE(r.exitStatus == 0 || r.err.find("is locked by") != std::string::npos) << c.name << "\n" << Describe(r);
    }
    EXPECT_GE(succeeded, 1) << c.name;
    EXPECT_TRUE(c.lockWait || succeeded == 2) << c.name;
    const Files now = test::Files(dir / "out/qmls");
    EXPECT_TRUE(now == first || now == second) << c.name << ": qmls holds " << now.size() << " files";
    EXPECT_TRUE(c.projects[0] != c.projects[1] || now == first) << c.name;
  }
}

}  // namespace
}  // namespace prt
