#pragma once
// A file descriptor owned, and what a file's status says about it.
#include <cstdint>
#include <utility>

#include "platform/SystemError.h"

namespace prt::platform {

struct FileInfo {
  bool regular = false;
  uint64_t size = 0;
  int64_t modifiedNs = 0;  // modification time, ns since the epoch
  int64_t changedNs = 0;   // status change: moves with every write, also one that sets the time back
  uint64_t device = 0;     // with the inode: which file it is
  uint64_t inode = 0;
  uint32_t mode = 0;   // permission bits
  uint32_t owner = 0;  // user id
  bool folder = false;
};

// Closed when it goes, unless Close() reported on it.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { Reset(-1); }
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    Reset(std::exchange(other.fd_, -1));
    return *this;
  }

  // Closes the descriptor held, if any, and takes `fd`.
  void Reset(int fd);
  int Get() const { return fd_; }
  // Hands the descriptor over to another owner.
  int Release() { return std::exchange(fd_, -1); }
  // A file system may report a failed write only here (NFS, a full quota).
  SysStatus Close();
  // The same, with the status of the file as written: one call on the open
  // file instead of a lookup by name later.
  SysResult<FileInfo> CloseWithStatus();
  // The file's status.
  SysResult<FileInfo> Status() const;

 private:
  int fd_ = -1;
};

}  // namespace prt::platform
