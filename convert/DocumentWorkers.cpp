#include "convert/DocumentWorkers.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <numeric>

#include "cipher/FileCipher.h"
#include "controls/ControlFactory.h"
#include "controls/ScreenDocument.h"
#include "convert/QmlCacheGen.h"
#include "convert/RunProfile.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Limits.h"
#include "platform/Text.h"

namespace prt {

namespace {

using Clock = std::chrono::steady_clock;
using Step = Error::Step;

// Adds the seconds since `start` to `figure` when a profile is installed.
void Record(WorkerProfile* profile, double WorkerProfile::*figure, Clock::time_point start) {
  if (profile) profile->*figure += SecondsSince(start);
}

std::string ScreenName(const IControl& screen) {
  return std::string(screen.GetTypeCode()) + std::to_string(static_cast<int32_t>(screen.GetObjID()));
}

Error ScreenError(Step step, const IControl& screen, std::string rule = {}) {
  Error error;
  error.step = step;
  error.subject = ScreenName(screen);
  error.rule = std::move(rule);
  return error;
}

}  // namespace

std::string_view DocumentBytes::Encode(std::u16string_view text) {
  const size_t room = text.size() * platform::kMaxUtf8PerUnit;
  if (buffer_.size() < room) buffer_.resize(room);
  replaced_ = false;
  return {buffer_.data(), platform::NarrowUnits(text, buffer_.data(), &replaced_)};
}

DocumentWorkers::DocumentWorkers(const DataSet& data, bool encrypt, RunReport& report)
    : data_(data),
      encrypt_(encrypt),
      report_(report),
      byteLimit_(limits::DocumentBytes(data.ImageSize())),
      bytesLeft_(byteLimit_),
      strict_(platform::SwitchedOn("PRT2QML_STRICT")) {}

void DocumentWorkers::Plan(std::vector<Screen> screens) {
  screens_ = std::move(screens);
  files_.reserve(screens_.size());
  // Screens that share a path share a file. Grouped in one block rather than
  // a node per screen: freed, thousands of nodes would leave the heap the
  // compiler allocates from on this thread in pieces.
  std::vector<size_t> byPath(screens_.size());
  std::iota(byPath.begin(), byPath.end(), 0);
  std::stable_sort(byPath.begin(), byPath.end(), [&](size_t a, size_t b) { return screens_[a].path < screens_[b].path; });
  for (size_t k = 0; k < byPath.size(); ++k) {
    if (k == 0 || screens_[byPath[k]].path != screens_[byPath[k - 1]].path) files_.emplace_back();
    files_.back().screens.push_back(byPath[k]);
    files_.back().size += screens_[byPath[k]].size;
  }
  // The long compiles first, the short ones left for the end, so that the
  // two threads finish close together; equal ones in object order.
  std::sort(files_.begin(), files_.end(), [](const File& a, const File& b) {
    return a.size != b.size ? a.size > b.size : a.screens.front() < b.screens.front();
  });
}

void DocumentWorkers::Work(int slot) {
  RunProfile* run = ActiveRunProfile();
  WorkerProfile* profile = run ? &run->workers[slot] : nullptr;
  if (profile) profile->startSeconds = SecondsSince(run->origin);
  QmlGenerator generator(data_);
  // The trees fitted the budget when they were measured.
  ControlBudget budget(data_.ImageSize());
  DocumentBytes bytes;
  for (size_t i = next_++; i < files_.size() && !stopped_; i = next_++) {
    File& file = files_[i];
    const std::u16string& path = screens_[file.screens.front()].path;
    try {
      DocumentText text;
      Status made = Write(file, generator, budget, bytes, text, slot);
      if (made) made = Make(file, text, slot);
      if (made) made = Made(file);
      if (!made) {
        Stop(made.Error());
        break;
      }
    } catch (const std::bad_alloc&) {
      // Fails the run with a line naming the file, instead of ending the
      // process from this thread.
      Error error;
      error.step = Step::OutOfMemory;
      error.path = path;
      Stop(std::move(error));
      break;
    }
  }
  if (profile) profile->endSeconds = SecondsSince(run->origin);
}

Status DocumentWorkers::Made(const File& file) {
  std::vector<const Screen*> screens;
  for (const size_t index : file.screens) screens.push_back(&screens_[index]);
  {
    std::lock_guard lock(mutex_);
    report_.Made(screens, file.made);
  }
  if (!strict_ || file.made.rejected.empty()) return {};
  const std::string& name = file.made.name;
  Error error;
  error.step = Step::Documents;
  error.subject = name.substr(0, name.rfind('.'));
  error.rule = "Qt rejects its document " + name + ", and PRT2QML_STRICT=1 fails the run for it";
  return Fail(std::move(error));
}

void DocumentWorkers::Reuse(const ReusableOutput* old, const platform::FolderHandle* staging) {
  old_ = old;
  staging_ = staging;
}

Status DocumentWorkers::Write(File& file, QmlGenerator& generator, ControlBudget& budget, DocumentBytes& bytes,
                              DocumentText& text, int slot) {
  RunProfile* run = ActiveRunProfile();
  WorkerProfile* profile = run ? &run->workers[slot] : nullptr;
  for (const size_t index : file.screens) {
    Screen& screen = screens_[index];
    auto start = Clock::now();
    ControlPtr tree = CreateScreen(data_.ObjectRecord(screen.reference));
    if (!tree) return Fail(Error{.step = Step::Document});
    if (Status grown = GrowTree(data_, tree, budget); !grown) {
      Error error = grown.Error();
      error.subject = ScreenName(*tree);
      return Fail(std::move(error));
    }
    Record(profile, &WorkerProfile::rebuildSeconds, start);

    start = Clock::now();
    generator.language = screen.language;
    // A UTF-8 document has at least as many bytes as its text has units.
    generator.stream.SetLimit(static_cast<size_t>(std::min<uint64_t>(bytesLeft_, SIZE_MAX)));
    const bool written = WriteScreenDocument(*tree, generator);
    if (!generator.notices.empty()) {
      std::lock_guard lock(mutex_);
      report_.Notices(generator.notices);
      file.made.notices += generator.notices;
      generator.notices.clear();
    }
    const auto overBudget = [&] {
      return "the documents exceed " + platform::GroupedDigits(byteLimit_) + " bytes, the limit for a data set of " +
             platform::GroupedDigits(data_.ImageSize()) + " bytes";
    };
    if (generator.stream.GetFault() == QmlStream::Fault::OverLimit)
      return Fail(ScreenError(Step::Documents, *tree, overBudget()));
    if (generator.stream.GetFault() == QmlStream::Fault::OutOfMemory)
      return Fail(ScreenError(Step::OutOfMemory, *tree));
    if (!written) return Fail(ScreenError(Step::Document, *tree));
    Record(profile, &WorkerProfile::generateSeconds, start);

    start = Clock::now();
    // Replacing surrogates keeps the length; the encoder does the rest.
    const std::u16string_view units = generator.stream.View();
    const std::string_view encoded = bytes.Encode(units);
    if (!Reserve(encoded.size())) return Fail(ScreenError(Step::Documents, *tree, overBudget()));
    // The last text of the file is saved, or not, once it is known whether
    // the published one can stay.
    if (index != file.screens.back()) {
      if (Status saved = Save(screen.path, encoded); !saved) return saved;
    }
    text.bytes = encoded;
    text.units = bytes.Replaced() ? std::nullopt : std::optional(generator.stream.Terminated());
    if (profile) profile->load += static_cast<uint32_t>(units.size());
    Record(profile, &WorkerProfile::saveSeconds, start);

    // Its document is written: the tree is no longer needed.
    start = Clock::now();
    tree.reset();
    Record(profile, &WorkerProfile::releaseSeconds, start);
  }
  return {};
}

Status DocumentWorkers::Make(File& file, const DocumentText& text, int slot) {
  const std::u16string& path = screens_[file.screens.front()].path;
  RecordedDocument& made = file.made;
  made.name = platform::NarrowPath(std::u16string_view(path).substr(path.rfind(u'/') + 1));
  made.textSize = text.bytes.size();
  made.textHash = platform::ContentHash::Of(text.bytes);
  made.order = file.screens.front();
  RecordedDocument taken;
  if (old_ && old_->Take(made.name, made.textSize, made.textHash, *staging_, file.screens.size() > 1, taken)) {
    taken.notices = std::move(made.notices);
    taken.order = made.order;
    made = std::move(taken);
    ++reused_;
    if (!made.rejected.empty()) {
      std::lock_guard lock(mutex_);
      report_.Rejected(made.rejected);
    }
    return {};
  }
  // An enciphered document is saved once, in its final form.
  platform::FileInfo saved;
  if (!encrypt_)
    if (Status written = Save(path, text.bytes, &saved); !written) return written;
  return Compile(path, text, made, saved, slot);
}

Status DocumentWorkers::Compile(const std::u16string& path, const DocumentText& text, RecordedDocument& made,
                                platform::FileInfo& saved, int slot) {
  RunProfile* run = ActiveRunProfile();
  WorkerProfile* profile = run ? &run->workers[slot] : nullptr;
  auto start = Clock::now();
  const auto compiled =
      text.units ? QmlCacheGen::MiniQmlCacheGen(path, *text.units) : QmlCacheGen::MiniQmlCacheGen(path, text.bytes);
  Record(profile, &WorkerProfile::compileSeconds, start);
  if (profile) ++profile->files;
  if (!compiled) {
    Error error = compiled.Error();
    error.action = "cache";
    return Fail(std::move(error));
  }
  if (compiled->rejected) {
    std::lock_guard lock(mutex_);
    report_.Rejected(compiled->message);
    made.rejected = compiled->message;
  }
  made.files.push_back({made.name, made.textSize, made.textHash});
  if (!compiled->rejected) made.files.push_back({made.name + "c", compiled->cacheSize, compiled->cacheHash});
  if (encrypt_) {
    start = Clock::now();
    std::string& sealed = sealed_[slot];
    Status enciphered = EncryptContent(path, text.bytes, &sealed, &saved);
    Record(profile, &WorkerProfile::encryptSeconds, start);
    if (!enciphered) return enciphered;
    made.files.front().size = sealed.size();
    made.files.front().hash = platform::ContentHash::Of(sealed);
  }
  // Which files they are, as made: the record keeps them only if the
  // published ones are still these.
  const auto identify = [](RecordedFile& file, const platform::FileInfo& info) {
    file.device = info.device, file.inode = info.inode, file.modifiedNs = info.modifiedNs;
    file.changedNs = info.changedNs;
  };
  identify(made.files.front(), saved);
  if (!compiled->rejected) identify(made.files.back(), compiled->cacheFile);
  return {};
}

Status DocumentWorkers::Save(const std::u16string& path, std::string_view text, platform::FileInfo* made) {
  std::error_code ec = platform::CreateWholeFile(path, text, made);
  // Screens that share a file write it more than once.
  if (ec == std::errc::file_exists) ec = platform::WriteWholeFile(path, text, made);
  if (ec) {
    Error error = FileError(Step::Write, path, ec);
    error.action = "save";
    return Fail(std::move(error));
  }
  return {};
}

std::vector<RecordedDocument> DocumentWorkers::TakeDocuments() {
  std::vector<RecordedDocument> documents;
  documents.reserve(files_.size());
  for (File& file : files_) documents.push_back(std::move(file.made));
  std::sort(documents.begin(), documents.end(),
            [](const RecordedDocument& a, const RecordedDocument& b) { return a.order < b.order; });
  return documents;
}

void DocumentWorkers::Stop(Error error) {
  stopped_ = true;
  // Writing a text, saving it and its tree come before any compile in a
  // plain run.
  const auto writing = [](const Error& e) {
    return e.step != Step::Encipher && e.step != Step::Read && e.action != "cache";
  };
  std::lock_guard lock(mutex_);
  if (!failure_ || (writing(error) && !writing(*failure_))) failure_ = std::move(error);
}

Status DocumentWorkers::Result() const {
  if (failure_) return Fail(*failure_);
  return {};
}

bool DocumentWorkers::Reserve(uint64_t bytes) {
  uint64_t left = bytesLeft_.load();
  do {
    if (bytes > left) return false;
  } while (!bytesLeft_.compare_exchange_weak(left, left - bytes));
  return true;
}

}  // namespace prt
