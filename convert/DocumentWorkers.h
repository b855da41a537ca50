#pragma once
// The documents of a run on two threads. Each thread takes the next file
// to make, largest first, writes the text of its screens (each in the
// language it starts in: DocumentWriter), and makes its files
// (DocumentFiles). Screens that share a file are written in order by one
// thread, so the last one's text stands.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "convert/DocumentFiles.h"
#include "convert/DocumentText.h"
#include "convert/Reuse.h"
#include "convert/RunError.h"
#include "convert/TreeCheck.h"
#include "data/set/DataSet.h"

namespace prt {

class DocumentWorkers {
 public:
  // The files go into `staging`; with `old`, a document whose text and
  // files it still holds is taken from there. Notices and rejected
  // documents go to `report` as they come.
  DocumentWorkers(const DataSet& data, const platform::FolderHandle& staging, bool encrypt,
                  const ReusableOutput* old, RunReport& report);

  // The screens in object order. Screens that share a file (every template
  // writes tmpl.qml) are written one after the other by one thread, in
  // that order, so the last one's text stands, and the file is compiled
  // once, after the last.
  void Plan(std::vector<Screen> screens);
  // Works until no file is left or one failed; called once on each of the
  // two threads, `slot` 0 or 1 (the run profile's worker).
  void Work(int slot);
  // After both Work calls: why they stopped, when they did. A failure while
  // writing wins over one while compiling or enciphering (RunError::
  // AfterWriting), as writing comes first in a plain run.
  Expected<void, RunError> Result() const;
  // After a run without failure: every document, what it was made from and
  // which files it has, in object order. Taken once.
  std::vector<RecordedDocument> TakeDocuments();
  // After both Work calls: the first document in object order that the
  // compiler rejected; null when none was.
  const RecordedDocument* FirstRejected() const;
  size_t ReusedCount() const { return reused_; }
  size_t DocumentCount() const { return files_.size(); }

 private:
  struct File {
    std::vector<size_t> screens;  // into screens_, in object order
    uint64_t size = 0;            // controls of all its trees
    RecordedDocument made;
  };

  // Writes the text of every screen of `file` and makes its files.
  Expected<void, RunError> Make(File& file, DocumentWriter& writer, std::string& sealed, int slot);
  // Keeps `error` when it is the first, or one while writing after one
  // while compiling.
  void Stop(RunError error);
  // Takes `bytes` from what the run may still write; false when they pass it.
  bool Reserve(uint64_t bytes);

  const DataSet& data_;
  SharedReport report_;
  DocumentFiles io_;
  std::atomic<uint64_t> bytesLeft_;
  std::vector<Screen> screens_;
  std::vector<File> files_;  // largest first
  std::atomic<size_t> next_ = 0;
  std::atomic<bool> stopped_ = false;
  std::atomic<size_t> reused_ = 0;
  std::mutex mutex_;  // guards failure_
  std::optional<RunError> failure_;
};

}  // namespace prt
