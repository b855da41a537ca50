#pragma once
// Turns four-character file codes into the paths of the data set's files,
// inside the working copy ("SimWork") beside the project data file.
#include <cstdint>
#include <optional>
#include <string>

#include "data/files/IPRSingleton.h"
#include "platform/FolderLock.h"

namespace prt {

// A file code: four characters, most significant byte first ('@CFG').
constexpr uint32_t FileCode(char a, char b, char c, char d) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(a)) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 8) | static_cast<uint32_t>(static_cast<uint8_t>(d));
}
inline constexpr uint32_t kFileConfig = FileCode('@', 'C', 'F', 'G');
inline constexpr uint32_t kFileLanguage = FileCode('L', 'A', 'N', 'G');
inline constexpr uint32_t kFileConnection = FileCode('C', 'O', 'N', 'N');

// Data files above this size are refused before anything is copied: the
// builder makes no larger container, and the load holds the file in memory.
inline constexpr uint64_t kMaxDataFileBytes = uint64_t{256} << 20;

// Why the working copy could not be made; nothing of it is used then.
struct ProjectPathError {
  enum class Step : uint8_t {
    OpenData,      // the data file: `path`
    NotPrtName,    // the data file `path` is not named <name>.prt
    TooLarge,      // the data file `path` is larger than kMaxDataFileBytes
    CreateFolder,  // the working folder: `path`
    LockFolder,    // the working folder: `path`; `lock` says how
    ReadFolder,    // the data file's folder: `path`
    DeleteFile,    // `path` (a file name) in the working folder `folder`
    CopyFile,      // `path` (a file name) into the working folder `folder`
  };
  Step step = Step::OpenData;
  std::u16string path;
  std::u16string folder;
  std::string reason;  // the system's text
  platform::LockStatus lock = platform::LockStatus::Failed;
  platform::LockHolder holder;  // who held the folder, when timed out
};

// Whether the working copy `fileName` in `workFolder` holds the current
// bytes of `dataFile`, as a run would find it (nothing is written).
bool WorkingCopyIsCurrent(const std::u16string& workFolder, const std::u16string& dataFile,
                          const std::u16string& fileName);

class CPRFileNameGenerator : public IPRSingleton {
 public:
  static CPRFileNameGenerator& GetInstance();

  bool Initialize() override { return true; }
  void Uninitialize() override {}

  // Once per process: locks the working folder for the rest of the process,
  // brings the working copy up to date and sets the base path. After a
  // success, later calls change nothing.
  //
  // The working copy is refreshed when its size or modification time
  // differs from the data file's, or the hash of the data file's bytes
  // differs from the one stored beside the copy (<name>.prt.hash) when it
  // was taken. Everything in the working folder is created and removed
  // without following a link there.
  [[nodiscard]] std::optional<ProjectPathError> SetProjectPath(const std::u16string& path,
                                                               const platform::LockWait& wait = {});
  bool ProjectPathSet() const { return projectPathSet_; }
  // Forgets the project path and releases the working folder, so that a
  // later SetProjectPath starts afresh.
  void Reset();
  // Reset, after removing the working folder when SetProjectPath made it:
  // a data set that did not load leaves no folder where there was none.
  void Discard();
  // Full path for a file code; always answers 0.
  uint32_t GetFileName(uint32_t code, std::u16string& out) const;

  const std::u16string& Base() const { return base_; }
  const std::u16string& Folder() const { return folder_; }
  const std::u16string& Name() const { return name_; }
  const std::u16string& FolderCopy() const { return folderCopy_; }

 private:
  std::u16string base_;
  std::u16string folder_;
  std::u16string name_;
  std::u16string folderCopy_;
  bool projectPathSet_ = false;
  bool madeFolder_ = false;
  platform::FolderLock workLock_;
};

}  // namespace prt
