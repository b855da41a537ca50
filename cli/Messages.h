#pragma once
// The converter's lines: what the run tells as it goes, and its errors in
// words, without the "prt2qml: " prefix or a line end where not said.
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/CommandLine.h"
#include "convert/RunError.h"
#include "convert/RunReport.h"
#include "platform/Error.h"
#include "platform/FolderLock.h"

namespace prt {

// One warning per argument the command line ignores, and one for an empty
// folder text after -d; `args` as ScanCommandLine was given them.
std::vector<std::string> CommandLineWarnings(const std::vector<std::u16string>& args, const CommandLine& line);

// "process 4711 (prt2qml)", "process 4711" or "another process".
std::string HolderText(const platform::LockHolder& holder);

std::string WaitingMessage(std::u16string_view folder, const platform::LockHolder& holder);

// A lock that timed out or could not be taken; `what` names the folder's
// role ("working folder", "output folder").
std::string LockFailureMessage(std::string_view what, const platform::LockError& error);

// Why the data set did not open: an error of WorkingCopy::Prepare,
// OpenDataSet, OpenDataSetReadOnly, or of the first stages of a run.
// `requestedPath` is the path the data set was opened with,
// `dataFileAsGiven` the data file as the user wrote it, shown in its place.
std::string OpenErrorMessage(const Error& error, std::u16string_view requestedPath,
                             std::u16string_view dataFileAsGiven);

// The lines (standard error, in order) of a run that failed in generating,
// before the closing "Generate QML files failed!".
std::vector<std::string> RunFailureLines(const RunError& error);

// The run's progress lines, as the converter prints them.
std::string RemovedLine(const std::u16string& entry);                                // standard output
std::string NotRemovedLine(const platform::SystemError& error);                      // standard error
std::string NotWalkedLine(const platform::SystemError& error);                       // standard error
std::string FsErrorLine(const platform::SystemError& error);                         // standard error: a publish step
std::string LeftBehindLine(const platform::SystemError& error);                      // standard error
std::string MovedLine(const std::u16string& staging, const std::u16string& final);  // standard output
std::string CopiedLine(const std::u16string& file, const std::u16string& final);    // standard output
// "prt2qml: 12 documents compiled, 3188 reused from the last run"                     standard error
std::string ReusedLine(size_t compiled, size_t reused);

// The run's events as the lines above on the converter's standard output and
// standard error, each flushed as it comes.
class LineReport final : public RunReport {
 public:
  LineReport(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
  void Waiting(const std::u16string& folder, const platform::LockHolder& holder) override {
    Err("prt2qml: " + WaitingMessage(folder, holder));
  }
  void Removed(const std::u16string& entry) override { Out(RemovedLine(entry)); }
  void NotRemoved(const platform::SystemError& error) override { Err(NotRemovedLine(error)); }
  void NotWalked(const platform::SystemError& error) override { Err(NotWalkedLine(error)); }
  // Written as they are, without a line end.
  void Notices(std::string_view text) override { out_ << text << std::flush; }
  void Rejected(std::string_view message) override { Err(std::string(message)); }
  void Detour(const platform::SystemError& error) override { Err(FsErrorLine(error)); }
  void LeftBehind(const platform::SystemError& error) override { Err(LeftBehindLine(error)); }
  void Moved(const std::u16string& staging, const std::u16string& final) override { Out(MovedLine(staging, final)); }
  void Copied(const std::u16string& file, const std::u16string& final) override { Out(CopiedLine(file, final)); }
  void Reused(size_t compiled, size_t reused) override { Err(ReusedLine(compiled, reused)); }

 private:
  void Out(const std::string& line) { out_ << line + "\n" << std::flush; }
  void Err(const std::string& line) { err_ << line + "\n" << std::flush; }
  std::ostream& out_;
  std::ostream& err_;
};

}  // namespace prt
