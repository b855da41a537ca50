#pragma once
// One run per folder: an advisory lock (flock) on the folder's own
// descriptor, held until the lock object goes or the process ends. Runs that
// lock a working folder and then an output folder always do so in that
// order, so two runs cannot wait for each other.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace prt::platform {

struct LockHolder {
  int pid = 0;          // 0: not found in /proc/locks
  std::string command;  // /proc/<pid>/comm; empty when unreadable
};

struct LockWait {
  std::chrono::milliseconds bound{600'000};  // 0: one attempt only
  std::chrono::milliseconds poll{50};
  // Called once, when the first attempt finds `folder` locked.
  std::function<void(const std::u16string& folder, const LockHolder&)> onWait;
};

class FolderLock {
 public:
  // The locked folder's descriptor, whose closing ends the lock (-1 when
  // this process already held the folder), and which folder it is.
  struct Hold {
    int fd;
    uint64_t device;
    uint64_t inode;
    ~Hold();
  };
  FolderLock() = default;
  explicit FolderLock(std::unique_ptr<Hold> hold) : hold_(std::move(hold)) {}

  bool Held() const { return hold_ != nullptr; }
  // Whether it is held on the folder (device, inode).
  bool Locks(uint64_t device, uint64_t inode) const {
    return hold_ && hold_->device == device && hold_->inode == inode;
  }

 private:
  std::unique_ptr<Hold> hold_;
};

enum class LockStatus {
  Locked,    // held now (also when this process already held it)
  NoFolder,  // the folder does not exist or is not a folder
  Failed,    // it could not be opened or locked
  TimedOut,  // another process held it for the whole bound
};
struct LockResult {
  LockStatus status = LockStatus::Failed;
  FolderLock lock;     // Held() when Locked
  std::string reason;  // the system's text for NoFolder and Failed
  LockHolder holder;   // who held it, for TimedOut
};

// Takes the lock on `folder`, polling while another process holds it.
// With `noFollow` a symbolic link in the folder's place fails the lock.
LockResult LockFolder(const std::u16string& folder, const LockWait& wait, bool noFollow = false);

// The bound from PRT2QML_LOCK_WAIT (whole seconds, 0: do not wait, at most
// a year); 600 s when it is unset, nullopt when it is set to anything but a
// whole number of seconds ("-1", "1e9", ""), whose text goes to `text`.
std::optional<std::chrono::seconds> LockWaitFromEnvironment(std::string& text);
std::optional<std::chrono::seconds> ParseLockWait(const char* text);

}  // namespace prt::platform
