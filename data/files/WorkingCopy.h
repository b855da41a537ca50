#pragma once
// The working copy of a data set: the data file's family of files copied
// into the folder SimWork beside it, and the names of its files by
// four-character file code. The copy is the run's own; the source files
// are only read.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ByteBlock.h"
#include "platform/FolderLock.h"
#include "platform/Folders.h"

namespace prt {

// The working folder beside the data file.
inline constexpr std::u16string_view kWorkFolderName = u"SimWork";
// A data file's name ends in this; so does its working copy's.
inline constexpr std::u16string_view kDataFileSuffix = u".prt";

// A file code: four characters, most significant byte first ('@CFG').
constexpr uint32_t FileCode(char a, char b, char c, char d) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(a)) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 8) | static_cast<uint32_t>(static_cast<uint8_t>(d));
}
inline constexpr uint32_t kFileConfig = FileCode('@', 'C', 'F', 'G');
inline constexpr uint32_t kFileLanguage = FileCode('L', 'A', 'N', 'G');
inline constexpr uint32_t kFileConnection = FileCode('C', 'O', 'N', 'N');

// base + the ending a file code gives: ".prt" for '@CFG', ".<code>.cnk" for
// chunks, ".rt_file.<code>" for state files such as 'LANG'.
std::u16string DataSetFileName(const std::u16string& base, uint32_t code);

// Why no working copy was made.
struct WorkingCopyError {
  enum class Step : uint8_t {
    OpenData,      // the data file `path` cannot be opened
    NotPrtName,    // the data file `path` is not named <name>.prt
    TooLarge,      // the data file `path` is larger than the limit
    CreateFolder,  // the working folder `path` cannot be made
    LockFolder,    // the working folder cannot be locked (`lock`)
    ReadFolder,    // the folder `path` cannot be listed
    DeleteFile,    // the file `path` in the working folder `folder` cannot be deleted
    CopyFile,      // the file `path` cannot be copied into the working folder `folder`
  };
  Step step = Step::OpenData;
  std::u16string path;
  std::u16string folder;
  std::string reason;  // the system's text, or the rule broken
  std::optional<platform::LockError> lock;

  std::string Reason() const { return reason; }
};

class WorkingCopy {
 public:
  // Locks the working folder beside `dataFile` (waiting as `wait` says) and
  // brings the working copy up to date.
  //
  // The data file is read once, whole. The working copy is refreshed when
  // its size or modification time differs from the data file's, or the
  // hash of the bytes read differs from the one stored beside the copy
  // (<name>.prt.hash) when it was taken; the copy is then written from
  // those bytes, which the copy keeps (TakeDataBytes). Everything in the
  // working folder is created and removed by name in the folder held, never
  // following a link there; what a killed run left under a temporary name
  // goes. On failure nothing of the copy is used.
  static Expected<WorkingCopy, WorkingCopyError> Prepare(const std::u16string& dataFile,
                                                         const platform::LockWait& wait = {});

  WorkingCopy(WorkingCopy&&) noexcept = default;
  WorkingCopy& operator=(WorkingCopy&&) noexcept = default;

  // The working path without its extension: <folder>/SimWork/<name>.
  const std::u16string& Base() const { return base_; }
  // The working folder, held, and its path without a trailing separator.
  const platform::FolderHandle& Folder() const { return folder_; }
  const std::u16string& FolderPath() const { return folder_.Path(); }
  // The data file's name without its extension.
  const std::u16string& Name() const { return name_; }
  std::u16string FileName(uint32_t code) const { return DataSetFileName(base_, code); }
  // The name of a file of the data set in the working folder.
  std::u16string EntryName(uint32_t code) const { return DataSetFileName(name_, code); }
  // The hash of the data file's bytes that the copy holds.
  uint64_t DataHash() const { return dataHash_; }
  // The data file's bytes as read for the copy; empty once taken.
  platform::ByteBlock TakeDataBytes() { return std::move(dataBytes_); }

  // Removes the working folder when Prepare made it and found it empty once
  // locked (everything in it is this run's then): a data set that did not
  // load leaves no folder where there was none. A run waiting for the
  // folder meanwhile makes it anew. The lock goes either way.
  void Discard() &&;

 private:
  WorkingCopy() = default;

  std::u16string base_;
  std::u16string name_;
  uint64_t dataHash_ = 0;
  bool madeFolder_ = false;
  platform::FolderHandle project_;  // the data file's folder
  platform::FolderHandle folder_;
  platform::FolderLock lock_;  // held while the value lives
  platform::ByteBlock dataBytes_;
};

// Whether the working copy `fileName` in `workFolder` holds the current
// bytes of `dataFile`, as a run would find it (nothing is written).
bool WorkingCopyIsCurrent(const std::u16string& workFolder, const std::u16string& dataFile,
                          const std::u16string& fileName);

// The project's stored language: the first four bytes of the language file,
// little-endian, as the data manager reads them (a missing file is made
// empty and gives 0, an unreadable one 0). Refused only for what must not
// be read or made: a FIFO, device, folder or link in its place.
Expected<uint32_t, platform::SystemError> ReadStoredLanguage(const WorkingCopy& copy);

}  // namespace prt
