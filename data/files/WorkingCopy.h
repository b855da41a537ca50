#pragma once
// The working copy of a data set: the data file's family of files copied
// into the folder SimWork beside it, and the names of its files by
// four-character file code. The copy is the run's own; the source files
// are only read.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/ByteBlock.h"
#include "platform/Error.h"
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

// base + the ending a file code gives: ".prt" for '@CFG', ".<code>.cnk" for
// chunks, ".rt_file.<code>" for state files such as 'LANG'.
std::u16string DataSetFileName(const std::u16string& base, uint32_t code);

class WorkingCopy {
 public:
  // Locks the working folder beside `dataFile` (waiting as `wait` says) and
  // brings the working copy up to date.
  //
  // The data file is read once, whole. The working copy is refreshed when
  // its size or modification time differs from the data file's, or the
  // hash of the bytes read differs from the one stored beside the copy
  // (<name>.prt.hash) when it was taken; the copy is then written from
  // those bytes, which `dataBytes` receives when given: they are the
  // working copy's, and need not be read again. Everything in the working
  // folder is created and removed without following a link there; what a
  // killed run left under a temporary name goes.
  // Fails with a Step::OpenData, NotPrtName, TooLarge, CreateFolder,
  // LockFolder, ReadFolder, DeleteFile or CopyFile error; nothing of the copy
  // is used then.
  static Result<WorkingCopy> Prepare(const std::u16string& dataFile, const platform::LockWait& wait = {},
                                     platform::ByteBlock* dataBytes = nullptr);

  WorkingCopy(WorkingCopy&&) noexcept = default;
  WorkingCopy& operator=(WorkingCopy&&) noexcept = default;

  // The working path without its extension: <folder>/SimWork/<name>.
  const std::u16string& Base() const { return base_; }
  // The working folder, without a trailing separator.
  const std::u16string& Folder() const { return folder_; }
  // The data file's name without its extension.
  const std::u16string& Name() const { return name_; }
  std::u16string FileName(uint32_t code) const { return DataSetFileName(base_, code); }
  // The hash of the data file's bytes that the copy holds.
  uint64_t DataHash() const { return dataHash_; }

  // Removes the working folder when Prepare made it and found it empty once
  // locked (everything in it is this run's then): a data set that did not
  // load leaves no folder where there was none. A run waiting for the
  // folder meanwhile makes it anew. The lock goes either way.
  void Discard() &&;

 private:
  WorkingCopy() = default;

  std::u16string base_;
  std::u16string folder_;
  std::u16string name_;
  uint64_t dataHash_ = 0;
  bool madeFolder_ = false;
  platform::FolderLock lock_;  // held while the value lives
};

// Whether the working copy `fileName` in `workFolder` holds the current
// bytes of `dataFile`, as a run would find it (nothing is written).
bool WorkingCopyIsCurrent(const std::u16string& workFolder, const std::u16string& dataFile,
                          const std::u16string& fileName);

// The project's stored language: the first four bytes of the language file
// `path`, little-endian, as the data manager reads them (a missing file is
// made empty and gives 0, an unreadable one 0). A Step::Read error only for
// what must not be read or made: a FIFO, device, folder or link in its place.
Result<uint32_t> ReadStoredLanguage(const std::u16string& path);

}  // namespace prt
