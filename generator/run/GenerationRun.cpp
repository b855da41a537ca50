#include "generator/run/GenerationRun.h"

#include <chrono>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <system_error>
#include <string_view>
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

// Builds the control trees of every screen, type by type, into `screens`.
// One budget bounds all the trees together. A tree that cannot be built
// fails the run, naming the screen and the reason.
bool CollectScreens(std::vector<std::shared_ptr<IControl>>& screens) {
  IPRDataManager& data = ControlDataManager();
  ControlBudget budget(data.GetImageSize());
  for (uint8_t t : ScreenTypes) {
    const uint32_t n = data.GetObjectCount(t);
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t reference = (uint32_t{t} << 24) | (i & 0xFFFFFFu);
      ControlPtr control = CreateScreen(data.GetObjectRecord(reference));
      if (control) {
        TreeFault fault = budget.Take() ? TreeFault{} : budget.Exceeded();
        if (auto* group = dynamic_cast<IControlGroup*>(control.get()); group && !fault) {
          fault = group->LoadChildren(budget);
        }
        if (fault) {
          ErrLine("prt2qml: screen " + std::string(control->GetTypeCode()) +
                  std::to_string(static_cast<int32_t>(control->GetObjID())) + ": " + fault.Text());
          return false;
        }
      }
      screens.push_back(std::move(control));
    }
  }
  return true;
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

void PrepareFolder(const std::u16string& folder) {
  const fs::path dir = platform::ToPath(folder);
  if (!fs::exists(dir)) {
    fs::create_directory(dir);
    return;
  }
  try {
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
      try {
        fs::remove_all(entry.path());
        OutLine("Remove: " + QuotedPath(entry.path()));
      } catch (const fs::filesystem_error& e) {
        ErrLine("Failed to remove: " + QuotedPath(entry.path()) + ", " + e.what());
      }
    }
  } catch (const fs::filesystem_error& e) {
    ErrLine("Failed to iterator: " + FsErrorText(e));
  }
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
  if (exchanged) platform::RemoveTree(from);
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
  if (exchanged) platform::RemoveTree(copying);
  return synced;
}

bool GenerateQmlFiles(QmlGenerator& generator, const std::u16string& outputFolder) {
  RunProfile* profile = ActiveRunProfile();
  const std::u16string staging = outputFolder + u"/qmls_generating/";
  const std::u16string final = outputFolder + u"/qmls/";
  ClearUpperVectorState();

  PrepareFolder(staging);
  // Opened before the first document is written, so that the flush before
  // the publish learns of every write-back error of the run's files.
  platform::FolderHandle stagingFolder;
  if (const std::error_code ec = stagingFolder.Open(staging)) {
    ErrLine(FaultLine(FileStatus::Failed(staging, ec)));
    return false;
  }

  auto start = Clock::now();
  // May hold null entries: objects that make no screen.
  std::vector<std::shared_ptr<IControl>> screens;
  if (!CollectScreens(screens)) return false;
  if (profile) profile->collectSeconds = SecondsSince(start);

  QmlFileItems items;
  items.reserve(screens.size());
  // Several templates share tmpl.qml: one item per path (the last text's
  // length), or the file would be compiled and enciphered more than once.
  std::unordered_map<std::u16string, size_t> itemOfPath;
  DocumentBytes bytes;
  for (const auto& screen : screens) {
    if (!screen) continue;
    start = Clock::now();
    const bool written = WriteScreenDocument(*screen, generator);
    if (!generator.notices.empty()) {
      std::cout << generator.notices << std::flush;
      generator.notices.clear();
    }
    if (!written) return false;
    if (profile) profile->generateSeconds += SecondsSince(start);

    start = Clock::now();
    // Replacing surrogates keeps the length; the encoder does the rest.
    const std::u16string_view text = generator.stream.View();
    const std::u16string path = QmlFilePath(staging, screen->GetTypeCode(), screen->GetObjID());
    if (const FileStatus saved = WriteDocument(path, bytes.Encode(text)); !saved.ok) {
      ErrLine(FaultLine(saved));
      ErrLine("GenerateQmlFiles failed to save qml files.");
      return false;
    }
    if (profile) profile->saveSeconds += SecondsSince(start);
    const auto length = static_cast<int32_t>(text.size());
    if (auto [it, added] = itemOfPath.try_emplace(path, items.size()); !added) {
      items[it->second]->length = length;
    } else {
      items.push_back(std::make_shared<QmlFileItem>(QmlFileItem{length, path}));
    }
  }

  start = Clock::now();
  if (!GenerateCacheFiles(generator, items)) {
    ErrLine("GenerateQmlFiles error occured during generating cache files.");
    return false;
  }
  if (profile) profile->cacheSeconds = SecondsSince(start);

  screens.clear();

  start = Clock::now();
  if (const std::error_code ec = MakeDurable(stagingFolder)) {
    ErrLine(FaultLine(FileStatus::Failed(staging, ec)));
    return false;
  }
  const bool published = PublishFolder(staging, final);
  if (profile) profile->moveSeconds = SecondsSince(start);
  return published;
}

bool GenerateCacheFiles(const QmlGenerator& generator, QmlFileItems& items) {
  const CacheStageResult result = RunCacheWorkers(items, generator.encrypt);
  for (const FileStatus& worker : result.worker)
    if (const std::string line = FaultLine(worker); !line.empty()) ErrLine(line);
  return result.Ok();
}

}  // namespace prt
