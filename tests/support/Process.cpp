#include "tests/support/Process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "tests/support/TempDir.h"

namespace prt::test {

namespace {

struct Pipe {
  int fd[2] = {-1, -1};
  bool Open() { return pipe2(fd, O_CLOEXEC) == 0; }  // no program run meanwhile keeps an end open
  void Close(int i) { if (fd[i] >= 0) close(fd[i]); fd[i] = -1; }
  ~Pipe() { Close(0), Close(1); }
};

}  // namespace

ProcessResult RunProcess(const ProcessRequest& request) {
  ProcessResult result;
  const std::string program = request.program.string();
  const std::string workDir = request.workDir.string();
  std::vector<std::string> argStore;
  argStore.push_back(request.argv0.value_or(program));
  argStore.insert(argStore.end(), request.args.begin(), request.args.end());
  std::vector<char*> argv;
  for (std::string& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStore;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const bool replaced = std::any_of(request.env.begin(), request.env.end(), [&](const std::string& set) {
      return entry.compare(0, set.find('=') + 1, set, 0, set.find('=') + 1) == 0;
    });
    if (!replaced) envStore.push_back(entry);
  }
  envStore.insert(envStore.end(), request.env.begin(), request.env.end());
  std::vector<char*> envp;
  for (std::string& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  Pipe out, err;
  if (!out.Open() || !err.Open()) return result;

  const pid_t pid = fork();
  if (pid < 0) return result;
  if (pid == 0) {
    // Child: only async-signal-safe calls until exec.
    if (!workDir.empty() && chdir(workDir.c_str()) != 0) _exit(127);
    // As a shell starts a program, whatever this process ignores.
    signal(SIGPIPE, SIG_DFL);
    if (request.stdoutTo == kClosedPipe) {
      int unread[2];
      if (pipe(unread) != 0 || close(unread[0]) != 0 || dup2(unread[1], out.fd[1]) < 0) _exit(127);
    } else if (!request.stdoutTo.empty()) {
      const int fd = open(request.stdoutTo.c_str(), O_WRONLY);
      if (fd < 0 || dup2(fd, out.fd[1]) < 0) _exit(127);
    }
    dup2(out.fd[1], STDOUT_FILENO);
    dup2(err.fd[1], STDERR_FILENO);
    for (const int fd : {out.fd[0], err.fd[0], out.fd[1], err.fd[1]}) close(fd);
    if (request.fileSizeLimit) {
      const rlimit limit{*request.fileSizeLimit, *request.fileSizeLimit};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
    }
    if (request.user && (setgroups(0, nullptr) != 0 || setgid(*request.user) != 0 || setuid(*request.user) != 0))
      _exit(127);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  out.Close(1);
  err.Close(1);
  std::thread monitor;
  if (request.monitor) monitor = std::thread(request.monitor, pid);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(request.timeoutSeconds);
  bool timedOut = false;
  pollfd fds[2] = {{out.fd[0], POLLIN, 0}, {err.fd[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, 2, static_cast<int>(left.count())) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) sinks[i]->append(buffer, static_cast<size_t>(n));
      else if (n == 0 || errno != EINTR) fds[i].fd = -1;  // end of stream; the Pipe closes it
    }
  }

  // The monitor may still signal the child, so it is reaped only after.
  if (monitor.joinable()) monitor.join();
  int status = 0;
  pid_t waited;
  while ((waited = waitpid(pid, &status, 0)) < 0 && errno == EINTR) continue;
  if (waited != pid) return result;
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  if (!timedOut && WIFEXITED(status)) {
    result.exited = true;
    result.exitStatus = WEXITSTATUS(status);
  }
  return result;
}

ChildFolderLock::ChildFolderLock(const std::filesystem::path& folder, std::chrono::milliseconds holdFor) {
  const std::string path = folder.string();
  Pipe taken, release;
  if (!taken.Open() || !release.Open()) return;
  pid_ = fork();
  if (pid_ < 0) return;
  if (pid_ == 0) {
    taken.Close(0);
    release.Close(1);
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) _exit(1);
    if (write(taken.fd[1], "L", 1) != 1) _exit(1);
    pollfd wait{release.fd[0], POLLIN, 0};
    poll(&wait, 1, static_cast<int>(holdFor.count()));
    _exit(0);
  }
  taken.Close(1);
  release.Close(0);
  char byte = 0;
  ssize_t n;
  while ((n = read(taken.fd[0], &byte, 1)) < 0 && errno == EINTR) continue;
  holding_ = n == 1;
  release_ = release.fd[1];
  release.fd[1] = -1;
}

ChildFolderLock::~ChildFolderLock() {
  if (release_ >= 0) close(release_);
  if (pid_ > 0) {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) continue;
  }
}

ReadOnlyFolder::ReadOnlyFolder(const std::filesystem::path& folder) : folder_(folder) {
  mounted_ = mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0;
  if (mounted_ && mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0) return;
  if (mounted_) umount2(folder.c_str(), MNT_DETACH), mounted_ = false;
  SetModes(std::filesystem::perms(0555));
  if (geteuid() == 0) user = 65534;
}

ReadOnlyFolder::~ReadOnlyFolder() {
  if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
  SetModes(std::filesystem::perms(0755));
}

void ReadOnlyFolder::SetModes(std::filesystem::perms mode) const {
  for (const std::filesystem::path& path : Tree(folder_))
    if (std::filesystem::is_directory(path)) std::filesystem::permissions(path, mode);
  std::filesystem::permissions(folder_, mode);
}

}  // namespace prt::test
