#include "convert/GenerationRun.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iomanip>
#include <iostream>
#include <latch>
#include <thread>
#include <utility>
#include <new>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "controls/ControlFactory.h"
#include "controls/IControlGroup.h"
#include "controls/ScreenDocument.h"
#include "data/set/DataSet.h"
#include "convert/DocumentWorkers.h"
#include "convert/TreeCheck.h"
#include "convert/RunProfile.h"
#include "qml/QmlGenerator.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace prt {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

void OutLine(const std::string& line) { std::cout << line + "\n" << std::flush; }
void ErrLine(const std::string& line) { std::cerr << line + "\n" << std::flush; }

std::string FsErrorText(const fs::filesystem_error& e) {
  return std::string(e.code().category().name()) + ":" + std::to_string(e.code().value()) + ", " +
         e.what();
}

std::string Utf8(const std::u16string& text) { return platform::NarrowUnits(text); }

// A library's start-up code can leave the upper halves of the AVX registers
// in use (the QML library does). Until they are cleared, every SSE
// instruction of this thread pays a transition penalty, which doubles the
// time of the single-threaded steps below. Threads started later inherit
// the cleared state.
void ClearUpperVectorState() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  if (__builtin_cpu_supports("avx")) {
    __asm__ volatile("vzeroupper" ::: "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8",
                     "xmm9", "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15");
  }
#endif
}

// Everything written into `folder` since the handle was opened reaches the
// disk before the folder is put in view. One flush of the file system: the
// run's files are many and small, and writing out each on its own would
// wait for the disk once per file.
std::error_code MakeDurable(const platform::FolderHandle& folder) { return folder.SyncFileSystem(); }

// The name without trailing separators: a trailing slash would make the
// system calls follow a symbolic link `qmls` instead of taking the link.
std::u16string EntryName(std::u16string path) {
  while (path.size() > 1 && path.back() == u'/') path.pop_back();
  return path;
}

std::u16string ParentFolder(const std::u16string& entry) {
  const fs::path parent = platform::ToPath(entry).parent_path();
  return parent.empty() ? u"." : platform::FromPath(parent);
}

// The fs error line in the form of the file-system library's exceptions.
void FsErrorLine(const char* step, const std::u16string& path1, const std::u16string& path2, std::error_code ec) {
  ErrLine("fs error: " + FsErrorText(path2.empty()
                                         ? fs::filesystem_error(step, platform::ToPath(path1), ec)
                                         : fs::filesystem_error(step, platform::ToPath(path1),
                                                                platform::ToPath(path2), ec)));
}

// Puts the folder `fresh` in place of `final` in one step. Afterwards
// `fresh` names the old final folder, if there was one (then `exchanged`
// is set).
std::error_code SwapIntoPlace(const std::u16string& fresh, const std::u16string& final, bool& exchanged) {
  exchanged = platform::EntryExists(final);
  return exchanged ? platform::ExchangeEntries(fresh, final) : platform::RenameEntry(fresh, final);
}

// Moves `entry` to the first free name `entry`.stale.<n> beside it. The
// output folder is locked, so no other run takes that name meanwhile.
std::error_code MoveAside(const std::u16string& entry, std::u16string& aside) {
  for (uint32_t n = 0;; ++n) {
    aside = entry + u".stale." + platform::Widen(std::to_string(n));
    if (!platform::EntryExists(aside)) return platform::RenameEntry(entry, aside);
  }
}

void CannotRemoveLine(const std::u16string& entry, std::error_code ec) {
  ErrLine("prt2qml: cannot remove '" + platform::NarrowPath(entry) + "': " + ec.message());
}

// Removes the old content `entry` names now. What cannot be removed (an
// entry of another user, an immutable file) is moved aside, so that no
// later run finds it under a name it uses, and is reported.
void DiscardOld(const std::u16string& entry) {
  const std::error_code ec = platform::RemoveTree(entry);
  if (!ec) return;
  std::u16string aside;
  CannotRemoveLine(MoveAside(entry, aside) ? entry : aside, ec);
}

// Removes, after the run, what PrepareFolder moved aside.
struct AsideRemoval {
  std::u16string aside;
  ~AsideRemoval() {
    if (aside.empty()) return;
    if (const std::error_code ec = platform::RemoveTree(aside)) CannotRemoveLine(aside, ec);
  }
};

bool SyncParent(const std::u16string& final) {
  const std::u16string parent = ParentFolder(final);
  if (const std::error_code ec = platform::SyncFolder(parent)) {
    FsErrorLine("cannot synchronize", parent, {}, ec);
    return false;
  }
  return true;
}

}  // namespace

std::string QuotedPath(const fs::path& path) {
  std::ostringstream out;
  out << std::quoted(path.string());
  return out.str();
}

std::u16string PrepareFolder(const std::u16string& folder) {
  const fs::path dir = platform::ToPath(folder);
  const std::u16string entry = EntryName(folder);
  auto make = [&] {
    if (const std::error_code ec = platform::MakeFolder(entry))
      throw fs::filesystem_error("cannot create directory", dir, ec);
  };
  if (!platform::EntryExists(entry)) {
    make();
    return {};
  }
  // Walked without following a link in its place or inside it.
  platform::FolderHandle staging;
  std::vector<std::u16string> names;
  std::error_code ec = staging.Open(entry, true);
  if (!ec) ec = staging.List(names);
  if (ec) ErrLine("Failed to iterator: " + FsErrorText(fs::filesystem_error("directory iterator cannot open directory", dir, ec)));
  bool cleared = !ec;
  for (const std::u16string& name : names) {
    const fs::path path = dir / platform::ToPath(name);
    if (const std::error_code removeError = staging.Remove(name)) {
      ErrLine("Failed to remove: " + QuotedPath(path) + ", " +
              fs::filesystem_error("cannot remove all", path, removeError).what());
      cleared = false;
    } else {
      OutLine("Remove: " + QuotedPath(path));
    }
  }
  if (cleared) return {};
  // Nothing of it may reach the final folder.
  std::u16string aside;
  if (const std::error_code moveError = MoveAside(entry, aside))
    throw fs::filesystem_error("cannot move aside", dir, platform::ToPath(aside), moveError);
  make();
  return aside;
}

bool PublishFolder(const std::u16string& staging, const std::u16string& final) {
  const std::u16string from = EntryName(staging);
  const std::u16string to = EntryName(final);
  bool exchanged = false;
  if (const std::error_code ec = SwapIntoPlace(from, to, exchanged)) {
    FsErrorLine("cannot rename", staging, final, ec);
    return PublishByCopy(staging, final);
  }
  // The new folder is in place either way; it is only not yet known to be
  // on disk, so the run cannot count as done.
  if (!SyncParent(to)) return false;
  OutLine("Move " + Utf8(staging) + " to " + Utf8(final));
  // The old content, now under the staging name; what a kill leaves here
  // the next run's staging preparation removes.
  if (exchanged) DiscardOld(from);
  return true;
}

bool PublishByCopy(const std::u16string& staging, const std::u16string& final) {
  const std::u16string to = EntryName(final);
  const std::u16string copying = to + u"_copying";
  const fs::path stagingPath = platform::ToPath(staging);
  const std::string quotedFinal = QuotedPath(platform::ToPath(final));
  auto fail = [&](const char* step, const std::u16string& path1, const std::u16string& path2,
                  std::error_code ec) {
    FsErrorLine(step, path1, path2, ec);
    platform::RemoveTree(copying);
    return false;
  };

  std::vector<std::u16string> names;
  if (std::error_code ec = platform::ListFolder(staging, names))
    return fail("directory iterator cannot open directory", staging, {}, ec);
  // A leftover of a killed copy goes first.
  if (std::error_code ec = platform::RemoveTree(copying)) return fail("cannot remove all", copying, {}, ec);
  if (std::error_code ec = platform::MakeFolder(copying)) return fail("cannot create directory", copying, {}, ec);
  platform::FolderHandle folder;
  if (std::error_code ec = folder.Open(copying)) return fail("cannot open directory", copying, {}, ec);
  for (const std::u16string& name : names) {
    const fs::path source = stagingPath / platform::ToPath(name);
    const std::u16string from = platform::FromPath(source);
    const std::u16string copy = copying + u"/" + name;
    if (std::error_code ec = platform::CopyWholeFile(from, copy)) return fail("cannot copy file", from, copy, ec);
    OutLine("Copy " + QuotedPath(source) + " to " + quotedFinal);
  }
  if (std::error_code ec = MakeDurable(folder)) return fail("cannot synchronize", copying, {}, ec);

  bool exchanged = false;
  if (std::error_code ec = SwapIntoPlace(copying, to, exchanged)) return fail("cannot rename", copying, final, ec);
  const bool synced = SyncParent(to);
  if (exchanged) DiscardOld(copying);
  return synced;
}

bool GenerateQmlFiles(const DataSet& data, const std::u16string& outputFolder, bool encrypt) {
  RunProfile* profile = ActiveRunProfile();
  const std::u16string staging = outputFolder + u"/qmls_generating/";
  const std::u16string final = outputFolder + u"/qmls/";
  ClearUpperVectorState();

  const AsideRemoval movedAside{PrepareFolder(staging)};
  // Opened before the first document is written, so that the flush before
  // the publish learns of every write-back error of the run's files.
  platform::FolderHandle stagingFolder;
  if (const std::error_code ec = stagingFolder.Open(staging, true)) {
    ErrLine(FaultLine(FileStatus::Failed(staging, ec)));
    return false;
  }

  auto start = Clock::now();
  if (profile) profile->origin = start;
  // Both threads check the trees, then both make the files. The extra
  // thread waits for the plan in between; it makes none when the check
  // failed.
  TreeCheck check(data, staging);
  DocumentWorkers workers(data, encrypt);
  std::latch checked(1);
  std::latch planned(1);
  bool ok = false;  // written before `planned` opens, read after
  std::string fault;
  {
    std::jthread extra([&] {
      check.Work(false);
      checked.count_down();
      planned.wait();
      if (ok) workers.Work(1);
    });
    // Opened whatever happens here, so that the thread always ends.
    struct Opener {
      std::latch& latch;
      bool opened = false;
      void Open() {
        if (!std::exchange(opened, true)) latch.count_down();
      }
      ~Opener() { Open(); }
    } opener{planned};
    check.Work(true);
    checked.wait();
    std::vector<Screen> screens;
    ok = check.Take(screens) || CollectScreens(data, staging, screens, fault);
    if (ok) workers.Plan(std::move(screens));
    if (profile) profile->collectSeconds = SecondsSince(start);
    start = Clock::now();
    opener.Open();
    if (ok) workers.Work(0);
  }
  if (!ok) {
    ErrLine(fault);
    return false;
  }
  if (!workers.Notices().empty()) std::cout << workers.Notices() << std::flush;
  if (workers.Failure().stage != DocumentFailure::Stage::None) {
    for (const std::string& line : workers.Failure().lines) ErrLine(line);
    return false;
  }
  if (profile) profile->filesSeconds = SecondsSince(start);

  start = Clock::now();
  if (const std::error_code ec = MakeDurable(stagingFolder)) {
    ErrLine(FaultLine(FileStatus::Failed(staging, ec)));
    return false;
  }
  const bool published = PublishFolder(staging, final);
  if (profile) profile->moveSeconds = SecondsSince(start);
  return published;
}

}  // namespace prt
