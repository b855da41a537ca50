#include "convert/DocumentWorkers.h"

#include <algorithm>
#include <new>
#include <numeric>

#include "convert/RunProfile.h"
#include "convert/WorkerPair.h"
#include "platform/Limits.h"

namespace prt {

DocumentWorkers::DocumentWorkers(const DataSet& data, const platform::FolderHandle& staging, bool encrypt,
                                 const ReusableOutput* old, RunReport& report)
    : data_(data),
      report_(report),
      io_(staging, encrypt, old, report_),
      bytesLeft_(limits::DocumentBytes(data.ImageSize())) {}

void DocumentWorkers::Plan(std::vector<Screen> screens) {
  screens_ = std::move(screens);
  files_.reserve(screens_.size());
  // Screens that share a name share a file. Grouped in one block rather
  // than a node per screen, which freed would leave the compiler's heap on
  // this thread in pieces.
  std::vector<size_t> byName(screens_.size());
  std::iota(byName.begin(), byName.end(), 0);
  std::stable_sort(byName.begin(), byName.end(), [&](size_t a, size_t b) { return screens_[a].name < screens_[b].name; });
  for (size_t k = 0; k < byName.size(); ++k) {
    if (k == 0 || screens_[byName[k]].name != screens_[byName[k - 1]].name) files_.emplace_back();
    files_.back().screens.push_back(byName[k]);
    files_.back().size += screens_[byName[k]].size;
  }
  // The long compiles first, the short ones left for the end, so that the
  // two threads finish close together; equal ones in object order.
  std::sort(files_.begin(), files_.end(), [](const File& a, const File& b) {
    return a.size != b.size ? a.size > b.size : a.screens.front() < b.screens.front();
  });
  for (File& file : files_) file.made.order = file.screens.front();
}

void DocumentWorkers::Work(int slot) {
  RunProfile* run = ActiveRunProfile();
  if (run) run->workers[slot].startSeconds = SecondsSince(run->origin);
  DocumentWriter writer(data_);
  std::string sealed;  // the enciphered file, its storage kept
  ClaimEach(next_, files_.size(), stopped_, [&](size_t i) {
    File& file = files_[i];
    try {
      if (Expected<void, RunError> made = Make(file, writer, sealed, slot); !made) Stop(made.Error());
    } catch (const std::bad_alloc&) {
      // Fails the run with a line naming the file, instead of ending the
      // process from this thread.
      Stop(RunError{.stage = RunError::Stage::Text, .document = screens_[file.screens.front()].path,
                    .cause = Error(OutOfMemory{})});
    }
  });
  if (run) run->workers[slot].endSeconds = SecondsSince(run->origin);
}

Expected<void, RunError> DocumentWorkers::Make(File& file, DocumentWriter& writer, std::string& sealed, int slot) {
  DocumentText last;
  for (const size_t index : file.screens) {
    const Screen& screen = screens_[index];
    Expected<DocumentText, RunError> text = writer.Write(screen, bytesLeft_, slot);
    if (std::string& notices = writer.Notices(); !notices.empty()) {
      report_.Notices(notices);
      file.made.notices += notices;
      notices.clear();
    }
    if (!text) return Fail(text.Error());
    if (!Reserve(text->bytes.size())) return Fail(writer.OverBudget(screen));
    // The last text of the file is saved, or not, once it is known whether
    // the published one can stay.
    if (index == file.screens.back()) {
      last = *text;
    } else {
      ScopedTimer timer(WorkerFigure(slot, &WorkerProfile::saveSeconds));
      if (Expected<void, RunError> saved = io_.SaveEarlier(screen, text->bytes); !saved) return saved;
    }
  }
  const Screen& first = screens_[file.screens.front()];
  Expected<RecordedDocument, RunError> made =
      io_.Make(first, last, file.screens.size() > 1, std::move(file.made), sealed, slot);
  if (!made) return Fail(made.Error());
  file.made = std::move(*made);
  if (file.made.reused) ++reused_;
  std::vector<const Screen*> screens;
  for (const size_t index : file.screens) screens.push_back(&screens_[index]);
  report_.Made(screens, file.made);
  return {};
}

const RecordedDocument* DocumentWorkers::FirstRejected() const {
  const RecordedDocument* first = nullptr;
  for (const File& file : files_) {
    if (!file.made.rejected.empty() && (!first || file.made.order < first->order)) first = &file.made;
  }
  return first;
}

std::vector<RecordedDocument> DocumentWorkers::TakeDocuments() {
  std::vector<RecordedDocument> documents;
  documents.reserve(files_.size());
  for (File& file : files_) documents.push_back(std::move(file.made));
  std::sort(documents.begin(), documents.end(),
            [](const RecordedDocument& a, const RecordedDocument& b) { return a.order < b.order; });
  return documents;
}

void DocumentWorkers::Stop(RunError error) {
  stopped_ = true;
  std::lock_guard lock(mutex_);
  if (!failure_ || (!error.AfterWriting() && failure_->AfterWriting())) failure_ = std::move(error);
}

Expected<void, RunError> DocumentWorkers::Result() const {
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
