#pragma once
// The report a build pipeline asks for with PRT2QML_REPORT=<file>: what a
// run did, as JSON, written when the process ends whatever its outcome.
// The run's events pass through it unchanged to the lines it wraps.
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "convert/RunReport.h"

namespace prt {

class DataSet;

class RunRecord final : public RunReport {
 public:
  // From PRT2QML_REPORT; none when it is unset or empty.
  static std::unique_ptr<RunRecord> FromEnvironment();
  // Starts the clock and keeps a copy of what standard error is given
  // until Finish.
  explicit RunRecord(std::u16string file);
  ~RunRecord() override;
  RunRecord(const RunRecord&) = delete;
  RunRecord& operator=(const RunRecord&) = delete;

  void Started(const std::u16string& dataFile, const std::u16string& outputFolder, bool encrypt);
  // The data file's bytes, as read.
  void DataRead(std::span<const uint8_t> bytes);
  // The data set the documents are made from: it names their screens, in
  // the language the run starts in. It outlives the documents' events.
  void Loaded(const DataSet& data);
  // The run's events go to `lines` as well.
  RunRecord& Around(RunReport& lines);

  // The report of a process ending with `code` (-1, -2, -3 as the shell sees them).
  std::string Json(int code);
  // Writes the report and answers the exit code: a report that cannot be
  // written is named on standard error and fails a successful run (-3).
  int Finish(int code);

  void Removed(const std::u16string& entry) override { lines_->Removed(entry); }
  void NotRemoved(const Error& error) override { lines_->NotRemoved(error); }
  void NotWalked(const Error& error) override { lines_->NotWalked(error); }
  void Notices(std::string_view text) override { lines_->Notices(text); }
  void Rejected(std::string_view message) override { lines_->Rejected(message); }
  void Detour(const Error& error) override { lines_->Detour(error); }
  void LeftBehind(const Error& error) override { lines_->LeftBehind(error); }
  void Moved(const std::u16string& staging, const std::u16string& final) override { lines_->Moved(staging, final); }
  void Copied(const std::u16string& file, const std::u16string& final) override { lines_->Copied(file, final); }
  void Reused(size_t compiled, size_t reused) override { lines_->Reused(compiled, reused); }
  void Made(std::span<const Screen* const> screens, const RecordedDocument& document) override;

 private:
  class ErrorCopy;
  struct Document {
    size_t order = 0;
    std::string json;  // its object, less the outcome
    std::string outcome;
  };

  std::u16string file_;
  std::chrono::steady_clock::time_point start_;
  std::unique_ptr<ErrorCopy> errors_;
  RunReport* lines_ = nullptr;
  const DataSet* data_ = nullptr;
  std::optional<std::u16string> dataFile_;
  std::u16string outputFolder_;
  bool encrypt_ = false;
  std::optional<uint64_t> dataHash_;
  std::mutex mutex_;  // guards documents_
  std::vector<Document> documents_;
};

// Installed by the program before the run, removed after it; not thread-safe.
void SetRunRecord(RunRecord* record);
RunRecord* ActiveRunRecord();
// Where the run's events go: the active record around `lines`, or `lines`.
RunReport& RecordedReport(RunReport& lines);

}  // namespace prt
