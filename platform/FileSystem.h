#pragma once
// The few file-system services the tool needs, on std::filesystem and the
// C library. Paths are wide (UTF-16) and converted only in here; no call
// throws.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/ByteBlock.h"

namespace prt::platform {

// The path the way open(2) walks it: when a component of its folder part
// is "..", the folder part is resolved whole (links first, then ".."), so
// that "B/link/../a.prt" names the file the system opens for it, not
// "B/a.prt". Any other path comes back unchanged, byte for byte, as does
// one whose folder cannot be resolved (opening it then fails as well).
std::u16string KernelPath(const std::u16string& path);
// The name without trailing separators: a trailing slash would make the
// system calls follow a symbolic link instead of taking the link.
std::u16string EntryName(std::u16string path);
// Absolute form of KernelPath(path), with "." components and repeated
// separators dropped; empty when it cannot be formed (an empty path, no
// current directory).
std::u16string FullPath(const std::u16string& path);

// Creates one folder; its parent must exist. An existing folder (also one
// a link names) is no error: `made` tells whether it was created.
std::error_code CreateFolder(const std::u16string& path, bool& made);

bool FileExists(const std::u16string& path);

// Every function here that opens a file by name opens only a regular file:
// a FIFO, socket or device in its place fails at once with NotRegularFile()
// (a folder with EISDIR), instead of blocking the open or a later read, or
// being read without end. NotRegularFile() is ENXIO with the text "not a
// regular file"; it compares equal to std::errc::no_such_device_or_address.
std::error_code NotRegularFile();
// Files the run made itself (its working copy and state files) are opened
// without following a symbolic link in their place: such a link fails the
// open with LinkNotFollowed(), ELOOP with the text "a symbolic link, not
// followed".
std::error_code LinkNotFollowed();
// An errno value as these functions report it (ENXIO as NotRegularFile()).
std::error_code ErrnoError(int error);
// The entry operations of FolderHandle take one name inside the folder: a
// name that is empty, "." or "..", or holds a '/' or a NUL fails with
// NotOneName(), EINVAL with the text "not a single name inside the folder",
// so that no caller reaches outside the folder whatever name it passes.
std::error_code NotOneName();

// Who runs this process, and the permission bits a file it creates gets
// (0666 less the umask, read once while the process starts).
uint32_t RunningUser();
uint32_t FreshFileMode();

// The names the temporary files of this program take before they are put
// in place: ".prt2qml.tmp.<pid>.<n>". A run that holds a folder's lock
// removes what a killed run left under such names there.
bool IsTemporaryName(std::u16string_view name);

// A file name without wildcards: `prefix`, then any run of characters
// (also none) when `anyMiddle`, then `suffix`. Every character of a data
// file's name, '*', '?' and '[' included, stands for itself.
struct NameRule {
  std::u16string prefix;
  std::u16string suffix;
  bool anyMiddle = false;
  bool Matches(std::u16string_view name) const;
};

// The names (only, sorted) of the entries of `folder` that are not folders
// and follow `rule`.
std::error_code FindFiles(const std::u16string& folder, const NameRule& rule, std::vector<std::u16string>& names);

// Removes a file or an empty folder; a missing one is an error.
std::error_code DeleteFile(const std::u16string& path);

// fopen on a wide path, for the run's own state files: a link in the
// file's place is not followed. nullptr on failure, with the reason in
// `error` (when given) and in errno.
std::FILE* OpenStream(const std::u16string& path, const char* mode, std::error_code* error = nullptr);

// What a file's status says about its content.
struct FileInfo {
  bool regular = false;
  uint64_t size = 0;
  int64_t modifiedNs = 0;  // modification time, ns since the epoch
  int64_t changedNs = 0;   // status change: moves with every write, also one that sets the time back
  uint64_t device = 0;     // with the inode: which file it is
  uint64_t inode = 0;
  uint32_t mode = 0;       // permission bits
  uint32_t owner = 0;      // user id
};

// Whole-file services on the system's file calls, without stream buffers.
// Each refuses anything that is not a regular file (a FIFO or a device
// neither blocks nor is read), loops over short transfers and interrupted
// calls, and returns the system's error (of open, read, write or close) as
// a value; an empty error_code means done.
// A writer's `made`, when given, receives the status of the file as written.
// Every byte of the file, read to its end.
std::error_code ReadWholeFile(const std::u16string& path, std::string& content);
// The same; nullopt when the file cannot be read.
std::optional<std::string> ReadWholeFile(const std::u16string& path);
// The same into bytes, for a caller that reshapes the buffer in place.
std::error_code ReadWholeFile(const std::u16string& path, std::vector<uint8_t>& content);
// Replaces the file's content by `data`, creating the file.
std::error_code WriteWholeFile(const std::u16string& path, std::string_view data, FileInfo* made = nullptr);
// Makes `path` a new file holding `data`: fails with file_exists, and
// leaves it alone, when anything is there already (a link included).
std::error_code CreateWholeFile(const std::u16string& path, std::string_view data, FileInfo* made = nullptr);
// The same for a file that usually exists: its content is overwritten in
// place and cut to the new length, rather than the file being truncated
// first. On ext4 truncating a file to zero and writing it anew makes its
// close start writing the data out at once; here it stays in the page cache
// like any other new data. A missing file is created.
std::error_code OverwriteWholeFile(const std::u16string& path, std::string_view data, FileInfo* made = nullptr);
// Writes `data` into a new file without a name (or, where the file system
// cannot make one, under a temporary name) beside `path`, checks its size
// and puts it in place of `path`: a reader sees the old file or the whole
// new one, never a part. Nothing of it stays on failure. `made` is the
// status of the file in place.
std::error_code ReplaceWholeFile(const std::u16string& path, std::string_view data, FileInfo* made = nullptr);
// Copies the regular file `from` over `to`, creating it.
std::error_code CopyWholeFile(const std::u16string& from, const std::u16string& to);
// The size a reader sees at the file's end; nullopt when it cannot be opened
// for reading.
std::optional<uint64_t> ReadableFileSize(const std::u16string& path);

// Folder services for publishing a finished folder.
// True when the name exists; a symbolic link counts itself.
bool EntryExists(const std::u16string& path);
std::error_code MakeFolder(const std::u16string& path);
// The names of every entry of the folder, sorted.
std::error_code ListFolder(const std::u16string& folder, std::vector<std::u16string>& names);
// Removes the entry and, for a folder, everything in it; a missing entry is
// no error. A symbolic link, also one met inside, is removed itself, never
// followed; the removal goes on past an entry that cannot be removed and
// answers the first error.
std::error_code RemoveTree(const std::u16string& path);
// rename(2): replaces an empty folder or a file at `to`.
std::error_code RenameEntry(const std::u16string& from, const std::u16string& to);
// Swaps two existing entries of one file system in a single step: at any
// moment each name holds either its old or its new entry.
std::error_code ExchangeEntries(const std::u16string& a, const std::u16string& b);
// Writes the folder's own entries (names, renames) to the disk.
std::error_code SyncFolder(const std::u16string& path);

// The status of the file `path` names, following links as an open does.
std::error_code StatFile(const std::u16string& path, FileInfo& info);

// A fast hash of a file's bytes (XXH3, 64 bits), fed whole or in blocks of
// any size: it tells changed content from unchanged, not a deliberate
// collision.
inline constexpr size_t kHashBlock = 1 << 16;  // what a file is read in
class ContentHash {
 public:
  ContentHash();
  ~ContentHash();
  ContentHash(const ContentHash&) = delete;
  ContentHash& operator=(const ContentHash&) = delete;
  // The hash HashFile gives a file holding `bytes`.
  static uint64_t Of(std::string_view bytes);
  static uint64_t Of(std::span<const uint8_t> bytes);
  void Add(std::string_view block);
  uint64_t Value() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};
// The hash of every byte of the regular file `path` (links followed).
std::error_code HashFile(const std::u16string& path, uint64_t& hash);

// A regular file's bytes read whole in one pass, with its status from
// before the read and whether it changed meanwhile (its size or times moved,
// or it ended early or late): changed bytes may be torn.
struct FileSnapshot {
  ByteBlock bytes;
  FileInfo info;
  bool changed = false;
};
// Reads the regular file `path`, following a link there unless it is a
// file the run made (`ownFile`); a file of more than `maxBytes` fails with
// EFBIG before anything is read.
std::error_code ReadSnapshot(const std::u16string& path, uint64_t maxBytes, FileSnapshot& out, bool ownFile = false);

// A file descriptor, closed when it goes unless Close() reported on it.
class Descriptor {
 public:
  Descriptor() = default;
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
  void Release() { fd_ = -1; }
  // A file system may report a failed write only here (NFS, a full quota).
  // With `made`, the written file's status is taken first: one call on the
  // open file instead of a lookup by name later.
  std::error_code Close(FileInfo* made = nullptr);

 private:
  int fd_ = -1;
};

// An open folder. Opened before a batch of files is written into it, it
// can later flush its whole file system in one call and learn of every
// write-back error since it was opened, whichever file it hit.
//
// Opened with `noFollow`, it is a folder the run owns (the working folder):
// a symbolic link in its place is refused, and the entry operations below
// work on names inside it (openat and friends on its descriptor), never
// following a link there.
class FolderHandle {
 public:
  std::error_code Open(const std::u16string& path, bool noFollow = false);
  // As opened, without trailing separators.
  const std::u16string& Path() const { return path_; }
  // syncfs(2) on the folder's file system; waits for the disk.
  std::error_code SyncFileSystem() const;

  // The names of its entries, sorted.
  std::error_code List(std::vector<std::u16string>& names) const;
  // The entry's own status (a link is not regular); an error when missing.
  std::error_code Stat(const std::u16string& name, FileInfo& info) const;
  // Removes the entry, a folder with everything in it; a missing entry is
  // no error.
  std::error_code Remove(const std::u16string& name) const;
  // Every byte of the regular file `name`, at most `maxBytes` (EFBIG).
  std::error_code Read(const std::u16string& name, std::string& content, size_t maxBytes) const;
  // Puts a file holding `data` in place of `name` in one step (written
  // beside it as ReplaceWholeFile does, so a link there is replaced); with
  // `like`, the file gets its mode and modification time.
  std::error_code Replace(const std::u16string& name, std::string_view data, const FileInfo* like = nullptr) const;

  // A second name, `to` in the folder `into`, for the file `name` (a link
  // there is linked itself, not followed).
  // Every name above must be one name inside the folder (NotOneName()).
  std::error_code Link(const std::u16string& name, const FolderHandle& into, const std::u16string& to) const;

  struct Copied {
    bool changed = false;  // the source changed while it was read: nothing was put in place
  };
  // Copies the regular file `source` (links followed) in place of `name`,
  // in one step as Replace does, with the source's mode and modification
  // time. Everything is read from one descriptor; the source's size and
  // times are compared before and after, so that a copy taken while the
  // source was rewritten is never put in place.
  std::error_code CopyIn(const std::u16string& source, const std::u16string& name, Copied& copied) const;

  // The folder's own status.
  std::error_code Status(FileInfo& info) const;
  // Removes the temporary files (IsTemporaryName) a killed run left here;
  // the caller holds the folder's lock. What cannot be removed stays.
  void RemoveTemporaries() const;

 private:
  std::u16string path_;
  Descriptor fd_;
};

// Process-wide settings, made first thing, before anything is written:
// - Standard output gets its buffer now, from static storage, line by line.
//   Left to the first line, the buffer was allocated after the cache stage,
//   and that one allocation had the allocator first tidy up all the memory
//   the workers had freed (over a millisecond).
// - The allocator keeps 16 MiB of slack when it grows or trims its heap, so
//   the memory one document's compilation frees is not handed back to the
//   system only to be faulted in again for the next (a 400-screen run takes
//   some 1,700 page faults fewer).
// - The heap is advised to be made of huge pages: the compiler then takes
//   fewer page faults and TLB misses (about 5 % less processor time).
// - SIGXFSZ is ignored: a write past the file-size limit then fails with
//   EFBIG and is reported like a full disk, instead of killing the process
//   without a word.
// - SIGPIPE is ignored: standard output or error on a closed pipe then
//   fails its writes, and the run goes on to its end instead of stopping
//   half way.
// - A test's fault rule (FaultSeam.h) is armed.
void PrepareProcess();
// Called first on a thread that allocates much: its own heap is advised to be
// made of huge pages too.
void PrepareThreadHeap();

// Whether the environment variable `name` is set to exactly "0".
bool SwitchedOff(const char* name);

// Has the system write every modified file out to its disk and waits for
// it, so that a measurement that follows starts with nothing pending.
void FlushFileSystems();

// For progress shown as one line that is rewritten in place.
bool StandardErrorIsTerminal();

// Gives the whole memory pages inside [data, data + size) back to the
// system; what they held is lost. For the unused capacity of a buffer that
// was filled once and then cut.
void DiscardPages(void* data, size_t size);

}  // namespace prt::platform
