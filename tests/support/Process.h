#pragma once
// Runs a program the way a shell would and collects what it wrote.
#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace prt::test {

struct ProcessResult {
  bool exited = false;  // false: killed by a signal, timed out or not started
  int exitStatus = -1;  // the 8-bit status a shell sees
  int signal = 0;       // the signal that ended it, when one did
  std::string out;
  std::string err;
};

inline constexpr const char* kClosedPipe = "|closed";

struct ProcessRequest {
  std::filesystem::path program;  // absolute, or relative to workDir
  std::vector<std::string> args;  // after the program name
  std::filesystem::path workDir;  // empty: the current folder
  std::optional<std::string> argv0;  // default: `program` as given
  std::vector<std::string> env;      // "NAME=value" set on top of this process's environment
  int timeoutSeconds = 120;
  std::optional<unsigned long> fileSizeLimit;  // RLIMIT_FSIZE in bytes
  // Standard output: collected when empty, else the file opened on it
  // ("/dev/full"), or kClosedPipe: a pipe nobody reads any more.
  std::string stdoutTo;
  std::optional<uid_t> user;  // run as this user, in its own group (needs root)
  // Runs on a thread of its own while the child runs (to stop, kill or time
  // it); the output pipes keep being drained meanwhile.
  std::function<void(pid_t)> monitor;
};

ProcessResult RunProcess(const ProcessRequest& request);
// The common case: arguments and a folder to run in (empty: the current one).
inline ProcessResult Run(const std::filesystem::path& program, std::vector<std::string> args,
                         const std::filesystem::path& workDir = {}) {
  ProcessRequest request;
  request.program = program, request.args = std::move(args), request.workDir = workDir;
  return RunProcess(request);
}

// A forked child of this process that takes an exclusive flock on `folder`
// without waiting and holds it until `holdFor` has passed or the object goes.
class ChildFolderLock {
 public:
  ChildFolderLock(const std::filesystem::path& folder, std::chrono::milliseconds holdFor);
  ~ChildFolderLock();
  ChildFolderLock(const ChildFolderLock&) = delete;
  ChildFolderLock& operator=(const ChildFolderLock&) = delete;

  pid_t Pid() const { return pid_; }
  bool Holding() const { return holding_; }  // false: the folder was locked already

 private:
  pid_t pid_ = -1;
  int release_ = -1;  // closing it tells the child to end
  bool holding_ = false;
};

// Makes a folder read-only for the programs a test runs: a read-only bind
// mount where this process may mount, else its folders' mode 0555 and, for
// root, the programs run as nobody (`user`).
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(const std::filesystem::path& folder);
  ~ReadOnlyFolder();
  // A write there fails with EROFS when mounted, else with EACCES.
  bool Mounted() const { return mounted_; }
  std::optional<uid_t> user;

 private:
  void SetModes(std::filesystem::perms mode) const;
  std::filesystem::path folder_;
  bool mounted_ = false;
};

}  // namespace prt::test
