#pragma once
// One run per folder: an advisory lock (flock) on the folder, held until
// the lock object goes or the process ends. Runs that lock a working folder
// and then an output folder always do so in that order, so two runs cannot
// wait for each other.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Folders.h"

namespace prt::platform {

struct LockHolder {
  int pid = 0;          // 0: not found in /proc/locks
  std::string command;  // /proc/<pid>/comm; empty when unreadable
};

struct LockWait {
  std::chrono::seconds bound{600};  // 0: one attempt only
  std::chrono::milliseconds poll{50};
  // Called once, when the first attempt finds `folder` locked.
  std::function<void(const std::u16string& folder, const LockHolder&)> onWait;
};

// Why a folder was not locked.
struct LockError {
  enum class Kind : uint8_t {
    Failed,    // it could not be opened or locked: `code`
    TimedOut,  // `holder` held it for the whole `bound`
  };
  Kind kind = Kind::Failed;
  std::u16string folder;
  std::error_code code;
  LockHolder holder;
  std::chrono::seconds bound{0};

  std::string Reason() const;
};

class FolderLock {
 public:
  FolderLock() = default;
  bool Held() const { return hold_ != nullptr; }

 private:
  friend Expected<FolderLock, LockError> LockFolder(const FolderHandle& folder, const LockWait& wait);
  // A descriptor of the folder's own, whose closing ends the lock (-1 when
  // this process already held the folder), and which folder it is.
  struct Hold {
    int fd;
    uint64_t device;
    uint64_t inode;
    ~Hold();
  };
  explicit FolderLock(std::unique_ptr<Hold> hold) : hold_(std::move(hold)) {}

  std::unique_ptr<Hold> hold_;
};

// Takes the lock on the folder `folder` holds, polling while another
// process holds it.
Expected<FolderLock, LockError> LockFolder(const FolderHandle& folder, const LockWait& wait);

// Why PRT2QML_LOCK_WAIT was refused: its text.
struct BadLockWait {
  std::string text;
  std::string Reason() const { return "not a whole number of seconds: '" + text + "'"; }
};
// The bound from PRT2QML_LOCK_WAIT (whole seconds, 0: do not wait, at most
// a year); 600 s when it is unset; refused when it is set to anything but a
// whole number of seconds ("-1", "1e9", "").
Expected<std::chrono::seconds, BadLockWait> LockWaitFromEnvironment();
std::optional<std::chrono::seconds> ParseLockWait(const char* text);

}  // namespace prt::platform
