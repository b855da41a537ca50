#pragma once
// The process-wide file name generator of the data manager's interface:
// turns file codes into the paths of the data set's files inside the
// working copy that SetProjectPath prepares.
#include <optional>
#include <string>

#include "data/files/WorkingCopy.h"
#include "data/manager/IPRSingleton.h"

namespace prt {

class CPRFileNameGenerator : public IPRSingleton {
 public:
  static CPRFileNameGenerator& GetInstance();

  bool Initialize() override { return true; }
  void Uninitialize() override {}

  // Once per process: prepares the working copy (WorkingCopy::Prepare),
  // holding its folder locked until Reset. After a success, later calls
  // change nothing.
  Status SetProjectPath(const std::u16string& path, const platform::LockWait& wait = {});
  bool ProjectPathSet() const { return copy_.has_value(); }
  // The working copy SetProjectPath prepared; null before.
  const WorkingCopy* PreparedCopy() const { return copy_ ? &*copy_ : nullptr; }
  // Forgets the project path and releases the working folder, so that a
  // later SetProjectPath starts afresh.
  void Reset() { copy_.reset(); }
  // Reset, after removing the working folder when SetProjectPath made it.
  void Discard();
  // Full path for a file code (from empty strings before SetProjectPath);
  // always answers 0.
  uint32_t GetFileName(uint32_t code, std::u16string& out) const;

  std::u16string Base() const { return copy_ ? copy_->Base() : std::u16string(); }
  std::u16string Folder() const { return copy_ ? copy_->FolderPath() : std::u16string(); }

 private:
  std::optional<WorkingCopy> copy_;
};

}  // namespace prt
