#include "convert/GenerationRun.h"

#include <algorithm>
#include <latch>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "convert/DocumentWorkers.h"
#include "convert/Reuse.h"
#include "convert/RunProfile.h"
#include "convert/TreeCheck.h"
#include "data/set/DataSet.h"
#include "platform/FileSystem.h"
#include "platform/Publish.h"
#include "platform/Text.h"

namespace prt {

namespace {

using Clock = std::chrono::steady_clock;

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

Error StagingError(std::string action, std::u16string path, std::error_code code, std::u16string other = {}) {
  Error error = platform::PublishError(std::move(action), std::move(path), std::move(other), code);
  error.step = Error::Step::Staging;
  return error;
}

// Removes, after the run, what PrepareFolder moved aside.
struct AsideRemoval {
  std::u16string aside;
  RunReport& report;
  ~AsideRemoval() {
    if (aside.empty()) return;
    if (const std::error_code ec = platform::RemoveTree(aside))
      report.LeftBehind(platform::PublishError("cannot remove", aside, {}, ec));
  }
};

// Opened on drop, so that a thread waiting on it always ends.
struct Opener {
  std::latch& latch;
  bool opened = false;
  void Open() {
    if (!std::exchange(opened, true)) latch.count_down();
  }
  ~Opener() { Open(); }
};

// Checks the trees on this thread and one more, then makes the files on
// both. The extra thread waits for the plan in between; it makes none when
// the check failed.
Status MakeDocuments(const DataSet& data, const std::u16string& staging, DocumentWorkers& workers) {
  RunProfile* profile = ActiveRunProfile();
  auto start = Clock::now();
  TreeCheck check(data, staging);
  std::latch checked(1);
  std::latch planned(1);
  Status ok;  // written before `planned` opens, read after
  std::jthread extra;
  try {
    extra = std::jthread([&] {
      platform::PrepareThreadHeap();
      check.Work();
      checked.count_down();
      planned.wait();
      if (ok) workers.Work(1);
    });
  } catch (const std::system_error& e) {
    return Fail(Error{.step = Error::Step::Workers, .code = e.code()});
  }
  {
    Opener opener{planned};
    check.Work();
    checked.wait();
    std::vector<Screen> screens;
    if (!check.Take(screens)) ok = CollectScreens(data, staging, screens);
    if (ok) workers.Plan(std::move(screens));
    if (profile) profile->collectSeconds = SecondsSince(start);
    start = Clock::now();
    opener.Open();
    if (ok) workers.Work(0);
  }
  extra.join();
  if (!ok) return ok;
  if (profile) profile->filesSeconds = SecondsSince(start);
  return workers.Result();
}

// The record of what the run published: each document with the files it
// has in `published`, the new qmls held open (none: unknown). A file this
// run wrote keeps the status it was written with; a reused one got a
// second name and lost its first, which moved its status change time, and
// after a copy every file is new: those are looked at again.
void RecordOutput(const ReuseSource& source, std::string key, std::vector<RecordedDocument> documents,
                  const platform::FolderHandle* published, bool copied) {
  ReuseRecord record;
  record.key = std::move(key);
  record.dataHash = source.dataHash;
  record.language = source.language;
  // On two threads: each look is a system call, some 3 us on a virtual
  // machine, and a re-run of 3,200 documents makes 6,400.
  const auto look = [&](size_t first) {
    for (size_t i = first; i < documents.size(); i += 2) {
      if (!documents[i].reused && !copied) continue;
      for (RecordedFile& file : documents[i].files) {
        platform::FileInfo is;
        bool found = false;
        try {  // a file not looked at is made afresh next time
          found = published && !published->Stat(platform::Widen(file.name), is);
        } catch (const std::bad_alloc&) {
        }
        file.device = is.device, file.inode = found ? is.inode : 0;
        file.modifiedNs = is.modifiedNs, file.changedNs = is.changedNs;
      }
    }
  };
  {
    std::jthread other;
    try {
      other = std::jthread(look, 1);
    } catch (const std::system_error&) {
      look(1);
    }
    look(0);
  }
  record.documents = std::move(documents);
  WriteRecord(source, record);
}

}  // namespace

Result<std::u16string> PrepareFolder(const std::u16string& folder, RunReport& report) {
  const std::u16string entry = platform::EntryName(folder);
  auto make = [&]() -> Status {
    if (const std::error_code ec = platform::MakeFolder(entry)) return Fail(StagingError("cannot create directory", folder, ec));
    return {};
  };
  if (!platform::EntryExists(entry)) {
    if (Status made = make(); !made) return Fail(made.Error());
    return std::u16string();
  }
  // Walked without following a link in its place or inside it.
  platform::FolderHandle staging;
  std::vector<std::u16string> names;
  std::error_code ec = staging.Open(entry, true);
  if (!ec) ec = staging.List(names);
  if (ec) report.NotWalked(StagingError("directory iterator cannot open directory", folder, ec));
  bool cleared = !ec;
  const std::filesystem::path dir = platform::ToPath(folder);
  for (const std::u16string& name : names) {
    const std::u16string path = platform::FromPath(dir / platform::ToPath(name));
    if (const std::error_code removeError = staging.Remove(name)) {
      report.NotRemoved(StagingError("cannot remove all", path, removeError));
      cleared = false;
    } else {
      report.Removed(path);
    }
  }
  if (cleared) return std::u16string();
  // Nothing of it may reach the final folder.
  std::u16string aside;
  if (const std::error_code moveError = platform::MoveAside(entry, aside))
    return Fail(StagingError("cannot move aside", folder, moveError, aside));
  if (Status made = make(); !made) return Fail(made.Error());
  return aside;
}

void RemoveLeftovers(const std::u16string& outputFolder) {
  platform::FolderHandle folder;
  std::vector<std::u16string> names;
  if (folder.Open(outputFolder) || folder.List(names)) return;
  const auto aside = [](std::u16string_view name, std::u16string_view of) {
    if (!name.starts_with(of) || !name.substr(of.size()).starts_with(u".stale.")) return false;
    const std::u16string_view n = name.substr(of.size() + 7);
    return !n.empty() && std::all_of(n.begin(), n.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
  };
  for (const std::u16string& name : names)
    if (name == u"qmls_copying" || aside(name, u"qmls_copying") || aside(name, u"qmls_generating")) folder.Remove(name);
}

platform::PublishEvents PublishEventsInto(RunReport& report, const std::u16string& final) {
  platform::PublishEvents events;
  events.detour = [&report](const Error& error) { report.Detour(error); };
  events.copied = [&report, final](const std::u16string& file) { report.Copied(file, final); };
  events.leftBehind = [&report](const Error& error) { report.LeftBehind(error); };
  return events;
}

Status GenerateQmlFiles(const DataSet& data, const std::u16string& outputFolder, bool encrypt, RunReport& report,
                        const ReuseSource* source, std::optional<ReuseRecord> last) {
  RunProfile* profile = ActiveRunProfile();
  const std::u16string staging = outputFolder + u"/qmls_generating/";
  const std::u16string final = outputFolder + u"/qmls/";
  ClearUpperVectorState();

  auto prepared = PrepareFolder(staging, report);
  if (!prepared) return Fail(prepared.Error());
  const AsideRemoval movedAside{*prepared, report};
  // Opened before the first document is written, so that the flush before
  // the publish learns of every write-back error of the run's files.
  platform::FolderHandle stagingFolder;
  if (const std::error_code ec = stagingFolder.Open(staging, true))
    return Fail(Error{.step = Error::Step::Write, .path = staging, .code = ec});

  if (profile) profile->origin = Clock::now();
  DocumentWorkers workers(data, encrypt, report);
  const std::string key = source ? RecordKey(final, encrypt) : std::string();
  std::unique_ptr<ReusableOutput> old;
  if (source) {
    platform::FolderHandle finalFolder;
    if (last && !finalFolder.Open(final, true))
      old = std::make_unique<ReusableOutput>(std::move(*last), std::move(finalFolder));
    workers.Reuse(old.get(), &stagingFolder);
  }
  try {
    if (Status made = MakeDocuments(data, staging, workers); !made) return made;
  } catch (const std::bad_alloc&) {
    return Fail(Error{.step = Error::Step::OutOfMemory});
  }

  const auto start = Clock::now();
  // One flush of the file system: the run's files are many and small, and
  // writing out each on its own would wait for the disk once per file.
  if (const std::error_code ec = stagingFolder.SyncFileSystem())
    return Fail(Error{.step = Error::Step::Write, .path = staging, .code = ec});
  const auto published = platform::PublishFolder(staging, final, PublishEventsInto(report, final));
  if (profile) profile->moveSeconds = SecondsSince(start);
  if (!published) return Fail(published.Error());
  if (*published == platform::Published::Moved) report.Moved(staging, final);
  if (source) {
    // Moved, the staging folder held open is the new qmls.
    const bool copied = *published == platform::Published::Copied;
    platform::FolderHandle copies;
    const platform::FolderHandle* now = !copied ? &stagingFolder : copies.Open(final, true) ? nullptr : &copies;
    RecordOutput(*source, key, workers.TakeDocuments(), now, copied);
  }
  if (const size_t reused = workers.ReusedCount(); reused > 0) report.Reused(workers.DocumentCount() - reused, reused);
  return {};
}

}  // namespace prt
