#include "convert/DocumentWorkers.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <new>

#include "cipher/FileCipher.h"
#include "controls/ControlFactory.h"
#include "controls/ScreenDocument.h"
#include "convert/QmlCacheGen.h"
#include "convert/RunProfile.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/Limits.h"

namespace prt {

namespace {

using Clock = std::chrono::steady_clock;

// The whole file in one write, with no copy into a stream buffer.
FileStatus WriteDocument(const std::u16string& path, std::string_view bytes) {
  if (const std::error_code ec = platform::WriteWholeFile(path, bytes)) return FileStatus::Failed(path, ec);
  return {};
}

// Adds the seconds since `start` to `figure` when a profile is installed.
void Record(WorkerProfile* profile, double WorkerProfile::*figure, Clock::time_point start) {
  if (profile) profile->*figure += SecondsSince(start);
}

}  // namespace

std::string_view DocumentBytes::Encode(std::u16string_view text) {
  const size_t room = text.size() * platform::kMaxUtf8PerUnit;
  if (buffer_.size() < room) buffer_.resize(room);
  return {buffer_.data(), platform::NarrowUnits(text, buffer_.data())};
}

FileStatus SaveQmlFile(const std::u16string& path, std::u16string_view text) {
  DocumentBytes bytes;
  return WriteDocument(path, bytes.Encode(text));
}

DocumentWorkers::DocumentWorkers(const DataSet& data, bool encrypt)
    : data_(data), encrypt_(encrypt), byteLimit_(limits::DocumentBytes(data.ImageSize())), bytesLeft_(byteLimit_) {}

void DocumentWorkers::Plan(std::vector<Screen> screens) {
  screens_ = std::move(screens);
  std::map<std::u16string_view, size_t> fileOfPath;
  for (size_t i = 0; i < screens_.size(); ++i) {
    const auto [it, added] = fileOfPath.try_emplace(screens_[i].path, files_.size());
    if (added) files_.emplace_back();
    File& file = files_[it->second];
    file.screens.push_back(i);
    file.size += screens_[i].size;
  }
  // The long compiles first, the short ones left for the end, so that the
  // two threads finish close together.
  std::stable_sort(files_.begin(), files_.end(), [](const File& a, const File& b) { return a.size > b.size; });
}

void DocumentWorkers::Work(int slot) {
  RunProfile* run = ActiveRunProfile();
  WorkerProfile* profile = run ? &run->workers[slot] : nullptr;
  if (profile) profile->startSeconds = SecondsSince(run->origin);
  QmlGenerator generator(data_);
  // The trees not kept are built again; they fitted the budget before.
  ControlBudget budget(data_.ImageSize());
  DocumentBytes bytes;
  std::string content;  // the saved document, read back by the compiler
  for (size_t i = next_++; i < files_.size() && !stopped_; i = next_++) {
    const File& file = files_[i];
    const std::u16string& path = screens_[file.screens.front()].path;
    try {
      if (!Write(file, generator, budget, bytes, slot) || !Compile(path, content, slot)) break;
    } catch (const std::bad_alloc&) {
      // Fails the run with a line naming the file, instead of ending the
      // process from this thread.
      Fail(DocumentFailure::Stage::Write,
           {FaultLine(FileStatus::Failed(path, std::make_error_code(std::errc::not_enough_memory)))});
      break;
    }
  }
  if (profile) profile->endSeconds = SecondsSince(run->origin);
}

bool DocumentWorkers::Write(const File& file, QmlGenerator& generator, ControlBudget& budget, DocumentBytes& bytes,
                            int slot) {
  RunProfile* run = ActiveRunProfile();
  WorkerProfile* profile = run ? &run->workers[slot] : nullptr;
  for (const size_t index : file.screens) {
    Screen& screen = screens_[index];
    auto start = Clock::now();
    ControlPtr tree = std::move(screen.tree);
    if (!tree) {
      tree = CreateScreen(data_.ObjectRecord(screen.reference));
      if (!tree) return Fail(DocumentFailure::Stage::Write, {});
      if (const TreeFault fault = GrowTree(data_, tree, budget))
        return Fail(DocumentFailure::Stage::Write, {ScreenLine(*tree) + ": " + fault.Text()});
    }
    Record(profile, &WorkerProfile::rebuildSeconds, start);

    start = Clock::now();
    generator.language = screen.language;
    // A UTF-8 document has at least as many bytes as its text has units.
    generator.stream.SetLimit(static_cast<size_t>(std::min<uint64_t>(bytesLeft_, SIZE_MAX)));
    const bool written = WriteScreenDocument(*tree, generator);
    if (!generator.notices.empty()) {
      std::lock_guard lock(mutex_);
      notices_ += generator.notices;
      generator.notices.clear();
    }
    if (generator.stream.GetFault() == QmlStream::Fault::OverLimit)
      return Fail(DocumentFailure::Stage::Write, {OverBudgetLine(*tree)});
    if (generator.stream.GetFault() == QmlStream::Fault::OutOfMemory)
      return Fail(DocumentFailure::Stage::Write, {ScreenLine(*tree) + ": out of memory"});
    if (!written) return Fail(DocumentFailure::Stage::Write, {});
    Record(profile, &WorkerProfile::generateSeconds, start);

    start = Clock::now();
    // Replacing surrogates keeps the length; the encoder does the rest.
    const std::u16string_view text = generator.stream.View();
    const std::string_view encoded = bytes.Encode(text);
    if (!Reserve(encoded.size())) return Fail(DocumentFailure::Stage::Write, {OverBudgetLine(*tree)});
    if (const FileStatus saved = WriteDocument(screen.path, encoded); !saved.ok)
      return Fail(DocumentFailure::Stage::Write, {FaultLine(saved), "GenerateQmlFiles failed to save qml files."});
    if (profile) profile->load += static_cast<uint32_t>(text.size());
    Record(profile, &WorkerProfile::saveSeconds, start);

    // Its document is written: the tree is no longer needed.
    start = Clock::now();
    tree.reset();
    Record(profile, &WorkerProfile::releaseSeconds, start);
  }
  return true;
}

bool DocumentWorkers::Compile(const std::u16string& path, std::string& content, int slot) {
  RunProfile* run = ActiveRunProfile();
  WorkerProfile* profile = run ? &run->workers[slot] : nullptr;
  auto start = Clock::now();
  FileStatus result = QmlCacheGen::MiniQmlCacheGen(path, content);
  Record(profile, &WorkerProfile::compileSeconds, start);
  if (profile) ++profile->files;
  std::vector<std::string> lines;
  if (result.ok && encrypt_) {
    start = Clock::now();
    // A path that is no document was not read: the cipher reads it.
    result = content.empty() ? Encrypt(path) : EncryptContent(path, content);
    Record(profile, &WorkerProfile::encryptSeconds, start);
    if (!result.ok) lines.push_back(result.notes + "operator () failed to encrypt qml files.");
  }
  if (result.ok) return true;
  if (std::string line = FaultLine(result); !line.empty()) lines.push_back(std::move(line));
  lines.push_back("GenerateQmlFiles error occured during generating cache files.");
  return Fail(DocumentFailure::Stage::Cache, std::move(lines));
}

bool DocumentWorkers::Fail(DocumentFailure::Stage stage, std::vector<std::string> lines) {
  stopped_ = true;
  std::lock_guard lock(mutex_);
  // Writing comes before compiling in a plain run: a write that failed is
  // the run's failure, whatever the other thread met meanwhile.
  if (failure_.stage == DocumentFailure::Stage::None || stage < failure_.stage) failure_ = {stage, std::move(lines)};
  return false;
}

bool DocumentWorkers::Reserve(uint64_t bytes) {
  uint64_t left = bytesLeft_.load();
  do {
    if (bytes > left) return false;
  } while (!bytesLeft_.compare_exchange_weak(left, left - bytes));
  return true;
}

std::string DocumentWorkers::OverBudgetLine(const IControl& screen) const {
  return ScreenLine(screen) + ": the documents exceed " + platform::GroupedDigits(byteLimit_) +
         " bytes, the limit for a data set of " + platform::GroupedDigits(data_.ImageSize()) + " bytes";
}

}  // namespace prt
