#include "platform/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <utility>

#include "platform/Limits.h"

namespace prt::platform {

namespace {

// Folders this process holds. flock locks belong to an open file
// description, so a second lock on the same folder from this process (an
// output folder that is the working folder) would wait for itself.
std::mutex heldMutex;
std::set<std::pair<uint64_t, uint64_t>> heldFolders;

// The holder of an flock on (device, inode): /proc/locks lines read
// "1: FLOCK  ADVISORY  WRITE 4711 fd:01:262146 0 EOF", the device as hex
// major:minor; waiters are marked "->".
int FindHolderPid(uint64_t device, uint64_t inode) {
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    if (line.find("->") != std::string::npos) continue;
    std::istringstream fields(line);
    std::string id, type, mode, access, pid, file;
    if (!(fields >> id >> type >> mode >> access >> pid >> file) || type != "FLOCK") continue;
    unsigned major = 0, minor = 0;
    unsigned long long ino = 0;
    char c1 = 0, c2 = 0;
    std::istringstream where(file);
    where >> std::hex >> major >> c1 >> minor >> c2 >> std::dec >> ino;
    if (!where || c1 != ':' || c2 != ':') continue;
    if (makedev(major, minor) == device && ino == inode) return std::max(0, std::atoi(pid.c_str()));
  }
  return 0;
}

LockHolder FindHolder(uint64_t device, uint64_t inode) {
  LockHolder holder{FindHolderPid(device, inode), {}};
  if (holder.pid > 0) {
    std::ifstream comm("/proc/" + std::to_string(holder.pid) + "/comm");
    std::getline(comm, holder.command);
  }
  return holder;
}

}  // namespace

std::string LockError::Reason() const {
  return kind == Kind::TimedOut ? "locked by another process" : code.message();
}

FolderLock::Hold::~Hold() {
  if (fd < 0) return;
  {
    std::lock_guard guard(heldMutex);
    heldFolders.erase({device, inode});
  }
  ::close(fd);  // ends the lock
}

Expected<FolderLock, LockError> LockFolder(const FolderHandle& folder, const LockWait& wait) {
  const auto failed = [&](int error) {
    return Fail(LockError{.folder = folder.Path(), .code = ErrnoError(error)});
  };
  // An open file description of its own: closing it ends the lock.
  const int fd = ::openat(folder.Handle().Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return failed(errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int error = errno;
    ::close(fd);
    return failed(error);
  }
  const std::pair<uint64_t, uint64_t> id{st.st_dev, st.st_ino};
  const auto locked = [&id](int lockFd) {
    return FolderLock(std::make_unique<FolderLock::Hold>(lockFd, id.first, id.second));
  };
  {
    std::lock_guard guard(heldMutex);
    if (heldFolders.count(id) != 0) {
      ::close(fd);
      return locked(-1);
    }
  }
  const auto deadline = std::chrono::steady_clock::now() + wait.bound;
  for (bool announced = false;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      std::lock_guard guard(heldMutex);
      heldFolders.insert(id);
      return locked(fd);
    }
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {
      const int error = errno;
      ::close(fd);
      return failed(error);
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) break;
    if (!std::exchange(announced, true) && wait.onWait) wait.onWait(folder.Path(), FindHolder(id.first, id.second));
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(wait.poll, deadline - now));
  }
  ::close(fd);
  return Fail(LockError{.kind = LockError::Kind::TimedOut, .folder = folder.Path(),
                        .holder = FindHolder(id.first, id.second), .bound = wait.bound});
}

std::optional<std::chrono::seconds> ParseLockWait(const char* text) {
  if (text == nullptr || *text == '\0') return std::nullopt;
  uint64_t seconds = 0;
  const char* const end = text + std::strlen(text);
  const auto [stop, ec] = std::from_chars(text, end, seconds);
  if (stop != end) return std::nullopt;
  // Longer waits, also those past 64 bits, are cut to a year, far inside
  // the clock's range.
  constexpr uint64_t kMax = limits::kLockWaitSeconds;
  return std::chrono::seconds(ec == std::errc() ? std::min(kMax, seconds) : kMax);
}

Expected<std::chrono::seconds, BadLockWait> LockWaitFromEnvironment() {
  const char* value = std::getenv("PRT2QML_LOCK_WAIT");
  if (value == nullptr) return std::chrono::seconds(600);
  if (const auto bound = ParseLockWait(value)) return *bound;
  return Fail(BadLockWait{value});
}

}  // namespace prt::platform
