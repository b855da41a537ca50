#include "platform/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <utility>

#include "platform/FileCheck.h"
#include "platform/Text.h"

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
LockHolder FindHolder(uint64_t device, uint64_t inode) {
  LockHolder holder;
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
    if (makedev(major, minor) != device || ino != inode) continue;
    holder.pid = std::atoi(pid.c_str());
    break;
  }
  if (holder.pid > 0) {
    std::ifstream comm("/proc/" + std::to_string(holder.pid) + "/comm");
    std::getline(comm, holder.command);
  } else {
    holder.pid = 0;
  }
  return holder;
}

}  // namespace

struct FolderLocking {
  static FolderLock Make(int fd, uint64_t device, uint64_t inode) {
    FolderLock lock;
    lock.fd_ = fd;
    lock.held_ = true;
    lock.device_ = device;
    lock.inode_ = inode;
    return lock;
  }
};

FolderLock::FolderLock(FolderLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      held_(std::exchange(other.held_, false)),
      device_(other.device_),
      inode_(other.inode_) {}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = std::exchange(other.fd_, -1);
    held_ = std::exchange(other.held_, false);
    device_ = other.device_;
    inode_ = other.inode_;
  }
  return *this;
}

FolderLock::~FolderLock() { Release(); }

void FolderLock::Release() {
  if (fd_ >= 0) {
    {
      std::lock_guard guard(heldMutex);
      heldFolders.erase({device_, inode_});
    }
    ::close(fd_);  // ends the lock
  }
  fd_ = -1;
  held_ = false;
}

LockResult LockFolder(const std::u16string& folder, const LockWait& wait, bool noFollow) {
  LockResult result;
  const int fd = ::open(NarrowPath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (noFollow ? O_NOFOLLOW : 0));
  if (fd < 0) {
    result.status = (errno == ENOENT || errno == ENOTDIR) ? LockStatus::NoFolder : LockStatus::Failed;
    result.reason = noFollow && errno == ELOOP ? "a symbolic link, not followed" : SystemReason(errno);
    return result;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    result.reason = SystemReason(errno);
    ::close(fd);
    return result;
  }
  const uint64_t device = st.st_dev;
  const uint64_t inode = st.st_ino;
  {
    std::lock_guard guard(heldMutex);
    if (heldFolders.count({device, inode}) != 0) {
      ::close(fd);
      result.status = LockStatus::Locked;
      result.lock = FolderLocking::Make(-1, device, inode);
      return result;
    }
  }

  const auto deadline = std::chrono::steady_clock::now() + wait.bound;
  bool announced = false;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      std::lock_guard guard(heldMutex);
      heldFolders.insert({device, inode});
      result.status = LockStatus::Locked;
      result.lock = FolderLocking::Make(fd, device, inode);
      return result;
    }
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {
      result.reason = SystemReason(errno);
      ::close(fd);
      return result;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) break;
    if (!announced) {
      announced = true;
      if (wait.onWait) wait.onWait(folder, FindHolder(device, inode));
    }
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(wait.poll, deadline - now));
  }
  ::close(fd);
  result.status = LockStatus::TimedOut;
  result.holder = FindHolder(device, inode);
  return result;
}

std::optional<std::chrono::seconds> ParseLockWait(const char* text) {
  if (text == nullptr || *text == '\0') return std::nullopt;
  // Longer waits are cut to a year, far inside the clock's range.
  constexpr uint64_t kMax = 366ull * 24 * 3600;
  uint64_t seconds = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return std::nullopt;
    seconds = std::min(kMax, seconds * 10 + static_cast<uint64_t>(*c - '0'));
  }
  return std::chrono::seconds(seconds);
}

std::chrono::seconds LockWaitFromEnvironment() {
  return ParseLockWait(std::getenv("PRT2QML_LOCK_WAIT")).value_or(std::chrono::seconds(600));
}

std::optional<std::chrono::seconds> LockWaitFromEnvironment(std::string& text) {
  const char* value = std::getenv("PRT2QML_LOCK_WAIT");
  if (value == nullptr) return std::chrono::seconds(600);
  text = value;
  return ParseLockWait(value);
}

}  // namespace prt::platform
