#pragma once
// The few file-system services the tool needs, on std::filesystem and the
// C library. Paths are wide (UTF-16) and converted only in here; no call
// throws.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace prt::platform {

// Absolute form of `path` without resolving links or touching the disk;
// empty when it cannot be formed (an empty path, no current directory).
std::u16string FullPath(const std::u16string& path);

enum class CreateDirResult { Created, Existed, Failed };
// Creates one folder; its parent must exist.
CreateDirResult CreateDirectory(const std::u16string& path);

bool FileExists(const std::u16string& path);

// Every function here that opens a file by name opens only a regular file:
// a FIFO, device, socket or folder in its place fails at once, with errno
// ENXIO, instead of blocking the open or a later read, or reading something
// that never ends. errno holds the reason of any failed open.

// The reason for an errno value left by these functions: the system's text,
// but "not a regular file" for ENXIO, which they give for anything else.
std::string FileErrorText(int error);

// Modification time in milliseconds since the file clock's epoch; 0 for a
// file that cannot be opened for reading.
int64_t LastWriteTimeMs(const std::u16string& path);

struct FoundFiles {
  std::vector<std::u16string> names;  // file names only, sorted
  bool ranToEnd = false;              // false when the folder could not be read
};
// Regular files in `folder` whose names match `pattern`, in which `*`
// stands for any run of characters (also none); everything else matches
// itself, case-sensitively.
FoundFiles FindFiles(const std::u16string& folder, const std::u16string& pattern);
bool MatchesPattern(std::u16string_view name, std::u16string_view pattern);

bool DeleteFile(const std::u16string& path);

// Copies `from` over `to` (replacing its content) and gives the copy the
// source's modification time, so that a later comparison sees them as
// equal. Both must be regular files; an existing `to` that is not stays.
bool CopyFileKeepTime(const std::u16string& from, const std::u16string& to);

// fopen on a wide path; nullptr (errno set) on failure.
std::FILE* OpenStream(const std::u16string& path, const char* mode);

// Whole-file services without stream buffers: each is one open, the data in
// one transfer, and a close.
// Every byte of the file; nullopt when it cannot be opened for reading.
std::optional<std::string> ReadWholeFile(const std::u16string& path);
// Replaces the file's content by `data`, creating the file.
enum class WriteOutcome { NotOpened, Short, Written };
WriteOutcome WriteWholeFile(const std::u16string& path, std::string_view data);
// The same for a file that usually exists: its content is overwritten in
// place and cut to the new length, rather than the file being truncated
// first. On ext4 truncating a file to zero and writing it anew makes its
// close start writing the data out at once; here it stays in the page cache
// like any other new data. A missing file is created.
WriteOutcome OverwriteWholeFile(const std::u16string& path, std::string_view data);
// The size a reader sees at the file's end; nullopt when it cannot be opened
// for reading.
std::optional<uint64_t> ReadableFileSize(const std::u16string& path);

// Process-wide settings, made first thing, before anything is written:
// - Standard output gets its buffer now, from static storage, line by line.
//   Left to the first line, the buffer was allocated after the cache stage,
//   and that one allocation had the allocator first tidy up all the memory
//   the workers had freed (over a millisecond).
// - The allocator keeps 16 MiB of slack when it grows or trims its heap, so
//   the memory one document's compilation frees is not handed back to the
//   system only to be faulted in again for the next (a 400-screen run takes
//   some 1,700 page faults fewer).
void PrepareProcess();

// Has the system write every modified file out to its disk and waits for
// it, so that a measurement that follows starts with nothing pending.
void FlushFileSystems();

}  // namespace prt::platform
