#include "generator/run/GenerationRun.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iomanip>
#include <iostream>
#include <latch>
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
#include "data/manager/IPRDataManager.h"
#include "generator/run/CacheWorkers.h"
#include "generator/run/RunProfile.h"
#include "generator/text/QmlGenerator.h"
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

struct Screen {
  uint32_t reference = 0;
  uint64_t size = 0;  // controls in its tree, with the link entries that made none
  std::u16string path;
  ControlPtr tree;  // kept from the check, or null: built again before its document
  std::optional<uint32_t> leaves;  // the language its document leaves current; none: its own
  uint32_t language = 0;           // the language its document starts in
};

// Each document starts in the language the documents before it, in object
// order, left current: a font array leaves another one behind, and nothing
// restores it. Answers the language the last one leaves.
uint32_t AssignStartLanguages(std::vector<Screen>& screens, uint32_t language) {
  for (Screen& screen : screens) {
    screen.language = language;
    if (screen.leaves) language = *screen.leaves;
  }
  return language;
}

// Builds the tree below the screen's root control, counted against
// `budget`; the root counts too.
TreeFault GrowTree(const ControlPtr& control, ControlBudget& budget) {
  if (!budget.Take()) return budget.Exceeded();
  if (auto* group = dynamic_cast<IControlGroup*>(control.get())) return group->LoadChildren(budget);
  return {};
}

// "prt2qml: screen page16777218"
std::string ScreenLine(const IControl& screen) {
  return "prt2qml: screen " + std::string(screen.GetTypeCode()) + std::to_string(static_cast<int32_t>(screen.GetObjID()));
}

// "prt2qml: screen page16777218: <the reason>"
std::string ScreenFaultLine(const IControl& screen, const TreeFault& fault) {
  return ScreenLine(screen) + ": " + fault.Text();
}

std::string OverBudgetLine(const IControl& screen, uint64_t limit, uint64_t imageBytes) {
  return ScreenLine(screen) + ": the documents exceed " + platform::GroupedDigits(limit) +
         " bytes, the limit for a data set of " + platform::GroupedDigits(imageBytes) + " bytes";
}

// Builds the control tree of every screen, type by type, and notes the
// screens (objects that make no screen are left out) with their sizes and
// files. One budget bounds all the trees together.
//
// The check may run on two threads, this one and the cache stage's before
// it has anything to compile: each claims the next screen until none is
// left (building a tree only reads the loaded data set). Each thread's own
// budget has the whole limit, so neither builds more than one thread
// would; when the trees together pass it, or one cannot be built, the check
// is made once more on one thread, in order, which finds the screen a
// single pass would name.
//
// This thread keeps its largest trees, up to kKeptControls controls, for
// the documents written first; the others are dropped and built again
// right before their documents. Small projects keep most of them; large
// ones hold no more memory. The other thread keeps none: memory it
// allocated and this thread freed would go back to its allocator's arena
// under a lock it takes all the time while it compiles.
class TreeCheck {
 public:
  explicit TreeCheck(std::u16string staging) : staging_(std::move(staging)) {
    IPRDataManager& data = ControlDataManager();
    imageBytes_ = data.GetImageSize();
    for (uint8_t t : ScreenTypes) {
      const uint32_t n = data.GetObjectCount(t);
      for (uint32_t i = 0; i < n; ++i) references_.push_back((uint32_t{t} << 24) | (i & 0xFFFFFFu));
    }
    found_.resize(references_.size());
  }

  // Called once on each thread that takes part; `keep` on the one that
  // writes the documents. Memory that runs out fails the check, which then
  // names it, rather than ending the process from a worker thread.
  void Work(bool keep) {
    try {
      Build(keep);
    } catch (const std::bad_alloc&) {
      if (!failed_.exchange(true)) fault_ = "prt2qml: out of memory while building the control trees";
    }
  }

  // After every Work: the screens in order, or false when a tree could not
  // be built or the trees together passed the budget.
  bool Take(std::vector<Screen>& screens) {
    if (failed_ || used_ > ControlBudget::LimitFor(imageBytes_)) return false;
    for (Screen& screen : found_)
      if (!screen.path.empty()) screens.push_back(std::move(screen));
    return true;
  }

  // The line naming the screen at fault and why; of a check on one thread
  // only, the first screen in order.
  const std::string& Fault() const { return fault_; }

 private:
  static constexpr uint64_t kKeptControls = 32768;  // about 2.8 MiB of trees

  void Build(bool keep) {
    IPRDataManager& data = ControlDataManager();
    ControlBudget budget(imageBytes_);
    std::vector<size_t> kept;  // indexes into found_, the smallest tree on top
    uint64_t keptSize = 0;
    const auto larger = [this](size_t a, size_t b) { return found_[a].size > found_[b].size; };
    for (size_t i = next_++; i < references_.size() && !failed_; i = next_++) {
      ControlPtr control = CreateScreen(data.GetObjectRecord(references_[i]));
      if (!control) continue;
      const uint64_t before = budget.Used();
      if (const TreeFault fault = GrowTree(control, budget)) {
        if (!failed_.exchange(true)) fault_ = ScreenFaultLine(*control, fault);
        break;
      }
      const uint64_t size = budget.Used() - before;
      std::u16string path = QmlFilePath(staging_, control->GetTypeCode(), control->GetObjID());
      std::optional<uint32_t> leaves = LanguageLeftBy(*control);
      found_[i] = {references_[i], size, std::move(path), keep && size <= kKeptControls ? std::move(control) : nullptr,
                   leaves};
      if (!found_[i].tree) continue;
      kept.push_back(i);
      std::push_heap(kept.begin(), kept.end(), larger);
      for (keptSize += size; keptSize > kKeptControls; kept.pop_back()) {
        std::pop_heap(kept.begin(), kept.end(), larger);
        keptSize -= found_[kept.back()].size;
        found_[kept.back()].tree.reset();
      }
    }
    used_ += budget.Used();
  }

  std::u16string staging_;
  uint64_t imageBytes_ = 0;
  std::vector<uint32_t> references_;
  std::vector<Screen> found_;  // one per reference; no path: it makes no screen
  std::atomic<size_t> next_ = 0;
  std::atomic<bool> failed_ = false;
  std::atomic<uint64_t> used_ = 0;
  std::string fault_;  // written by the thread that set failed_ first
};

// The check on this thread alone; a tree that cannot be built fails the run
// before any file is written, with a line naming its screen.
bool CollectScreens(const std::u16string& staging, std::vector<Screen>& screens) {
  TreeCheck check(staging);
  check.Work(true);
  if (check.Take(screens)) return true;
  ErrLine(check.Fault());
  return false;
}

// The order to write the screens in: largest tree first, so that the
// workers start on the long compiles and the short ones are left for the
// end. Screens that share a file (every template writes tmpl.qml) keep
// their own order among themselves, so the last one's text stands.
std::vector<size_t> WriteOrder(const std::vector<Screen>& screens,
                               const std::unordered_map<std::u16string, uint32_t>& writesOfPath) {
  std::vector<size_t> order(screens.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return screens[a].size > screens[b].size; });
  std::unordered_map<std::u16string, std::vector<size_t>> slotsOfPath;
  for (size_t slot = 0; slot < order.size(); ++slot) {
    const std::u16string& path = screens[order[slot]].path;
    if (writesOfPath.at(path) > 1) slotsOfPath[path].push_back(slot);
  }
  for (auto& [path, slots] : slotsOfPath) {
    std::vector<size_t> sharing;
    for (size_t slot : slots) sharing.push_back(order[slot]);
    std::sort(sharing.begin(), sharing.end());
    for (size_t k = 0; k < slots.size(); ++k) order[slots[k]] = sharing[k];
  }
  return order;
}

void ReportCacheStage(const CacheStageResult& result) {
  for (const FileStatus& worker : result.worker)
    if (const std::string line = FaultLine(worker); !line.empty()) ErrLine(line);
}

// The UTF-8 form of one document, in a buffer kept from screen to screen.
class DocumentBytes {
 public:
  // Surrogate units, paired or lone, come out as U+FFFD.
  std::string_view Encode(std::u16string_view text) {
    const size_t room = text.size() * platform::kMaxUtf8PerUnit;
    if (buffer_.size() < room) buffer_.resize(room);
    return {buffer_.data(), platform::NarrowUnits(text, buffer_.data())};
  }

 private:
  std::vector<char> buffer_;
};

// The whole file in one write, with no copy into a stream buffer.
FileStatus WriteDocument(const std::u16string& path, std::string_view bytes) {
  if (const std::error_code ec = platform::WriteWholeFile(path, bytes)) return FileStatus::Failed(path, ec);
  return {};
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

std::u16string QmlFilePath(const std::u16string& staging, std::string_view typeCode, uint32_t objId) {
  std::u16string path = staging + u"/" + platform::WidenUnits(typeCode);
  if (typeCode != "tmpl") path += platform::Widen(std::to_string(static_cast<int32_t>(objId)));
  return path + u".qml";
}

FileStatus SaveQmlFile(const std::u16string& path, const std::u16string& text) {
  DocumentBytes bytes;
  return WriteDocument(path, bytes.Encode(text));
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

bool GenerateQmlFiles(QmlGenerator& generator, const std::u16string& outputFolder) {
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
  // The extra thread checks trees beside this one first; then it compiles
  // from the first saved document on, and this thread joins it when the
  // last one is saved.
  TreeCheck check(staging);
  std::latch checked(1);
  CacheStage stage(generator.encrypt, [&] {
    check.Work(false);
    checked.count_down();
  });
  check.Work(true);
  checked.wait();
  std::vector<Screen> screens;
  if (!check.Take(screens) && !CollectScreens(staging, screens)) return false;
  IPRDataManager& data = ControlDataManager();
  const uint32_t lastLanguage = AssignStartLanguages(screens, data.GetCurrentLanguageIndex());
  // Several templates share tmpl.qml, and its last text must stand. A path
  // written more than once goes to the workers only after every document
  // is saved, so that none compiles or enciphers a file still being
  // replaced, and only once.
  std::unordered_map<std::u16string, uint32_t> writesOfPath;
  for (const Screen& screen : screens) ++writesOfPath[screen.path];
  const std::vector<size_t> order = WriteOrder(screens, writesOfPath);
  if (profile) profile->collectSeconds = SecondsSince(start);

  std::vector<QmlFileItemPtr> heldBack;
  std::unordered_map<std::u16string, size_t> heldBackOfPath;
  // The trees not kept, once more, one at a time; they fitted the budget
  // before.
  ControlBudget budget(data.GetImageSize());
  // Counted as the text is written, so no document grows past what is left.
  const uint64_t byteLimit = DocumentByteLimit(data.GetImageSize());
  uint64_t bytesLeft = byteLimit;
  DocumentBytes bytes;
  for (const size_t index : order) {
    Screen& screen = screens[index];
    start = Clock::now();
    ControlPtr tree = std::move(screen.tree);
    if (!tree) {
      tree = CreateScreen(data.GetObjectRecord(screen.reference));
      if (!tree) return false;
      if (const TreeFault fault = GrowTree(tree, budget)) {
        ErrLine(ScreenFaultLine(*tree, fault));
        return false;
      }
    }
    if (profile) profile->rebuildSeconds += SecondsSince(start);

    start = Clock::now();
    data.SelectLanguage(screen.language);
    // A UTF-8 document has at least as many bytes as its text has units.
    generator.stream.SetLimit(static_cast<size_t>(std::min<uint64_t>(bytesLeft, SIZE_MAX)));
    const bool written = WriteScreenDocument(*tree, generator);
    if (!generator.notices.empty()) {
      std::cout << generator.notices << std::flush;
      generator.notices.clear();
    }
    if (generator.stream.GetFault() == QmlStream::Fault::OverLimit) {
      ErrLine(OverBudgetLine(*tree, byteLimit, data.GetImageSize()));
      return false;
    }
    if (generator.stream.GetFault() == QmlStream::Fault::OutOfMemory) {
      ErrLine(ScreenLine(*tree) + ": out of memory");
      return false;
    }
    if (!written) return false;
    if (profile) profile->generateSeconds += SecondsSince(start);

    start = Clock::now();
    // Replacing surrogates keeps the length; the encoder does the rest.
    const std::u16string_view text = generator.stream.View();
    const std::string_view encoded = bytes.Encode(text);
    if (encoded.size() > bytesLeft) {
      ErrLine(OverBudgetLine(*tree, byteLimit, data.GetImageSize()));
      return false;
    }
    bytesLeft -= encoded.size();
    if (const FileStatus saved = WriteDocument(screen.path, encoded); !saved.ok) {
      ErrLine(FaultLine(saved));
      ErrLine("GenerateQmlFiles failed to save qml files.");
      return false;
    }
    if (profile) profile->saveSeconds += SecondsSince(start);
    const auto length = static_cast<int32_t>(text.size());
    if (writesOfPath[screen.path] == 1) {
      stage.Add(std::make_shared<QmlFileItem>(QmlFileItem{length, screen.path}));
    } else if (auto [it, added] = heldBackOfPath.try_emplace(screen.path, heldBack.size()); !added) {
      heldBack[it->second]->length = length;
    } else {
      heldBack.push_back(std::make_shared<QmlFileItem>(QmlFileItem{length, screen.path}));
    }

    // Its document is written: the tree is no longer needed.
    start = Clock::now();
    tree.reset();
    if (profile) profile->releaseSeconds += SecondsSince(start);
  }
  for (QmlFileItemPtr& item : heldBack) stage.Add(std::move(item));
  // Where the documents in object order would have left it.
  data.SelectLanguage(lastLanguage);

  start = Clock::now();
  const CacheStageResult cached = stage.Finish();
  ReportCacheStage(cached);
  if (!cached.Ok()) {
    ErrLine("GenerateQmlFiles error occured during generating cache files.");
    return false;
  }
  if (profile) profile->cacheSeconds = SecondsSince(start);

  start = Clock::now();
  if (const std::error_code ec = MakeDurable(stagingFolder)) {
    ErrLine(FaultLine(FileStatus::Failed(staging, ec)));
    return false;
  }
  const bool published = PublishFolder(staging, final);
  if (profile) profile->moveSeconds = SecondsSince(start);
  return published;
}

bool GenerateCacheFiles(const QmlGenerator& generator, const QmlFileItems& items) {
  const CacheStageResult result = RunCacheWorkers(items, generator.encrypt);
  ReportCacheStage(result);
  return result.Ok();
}

}  // namespace prt
