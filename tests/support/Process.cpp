#include "tests/support/Process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace prt::test {

namespace {

struct Pipe {
  int fd[2] = {-1, -1};
  bool Open() { return pipe(fd) == 0; }
  void Close(int i) {
    if (fd[i] >= 0) close(fd[i]);
    fd[i] = -1;
  }
  ~Pipe() {
    Close(0);
    Close(1);
  }
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

  Pipe out, err;
  if (!out.Open() || !err.Open()) return result;

  const pid_t pid = fork();
  if (pid < 0) return result;
  if (pid == 0) {
    // Child: only async-signal-safe calls until exec.
    if (!workDir.empty() && chdir(workDir.c_str()) != 0) _exit(127);
    dup2(out.fd[1], STDOUT_FILENO);
    dup2(err.fd[1], STDERR_FILENO);
    close(out.fd[0]);
    close(err.fd[0]);
    close(out.fd[1]);
    close(err.fd[1]);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  out.Close(1);
  err.Close(1);

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
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        fds[i].fd = -1;  // end of stream; the Pipe closes it
      }
    }
  }

  int status = 0;
  pid_t waited;
  do {
    waited = waitpid(pid, &status, 0);
  } while (waited < 0 && errno == EINTR);
  if (waited == pid && !timedOut && WIFEXITED(status)) {
    result.exited = true;
    result.exitStatus = WEXITSTATUS(status);
  }
  return result;
}

}  // namespace prt::test
