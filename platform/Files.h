#pragma once
// Whole files by path, on the system's file calls, without stream buffers.
// Each refuses anything that is not a regular file (a FIFO or a device
// neither blocks nor is read), loops over short transfers and interrupted
// calls, and answers the system's error with the path. A writer answers
// the status of the file as written.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/ByteBlock.h"
#include "platform/Descriptor.h"

namespace prt::platform {

// Every byte of the file, read to its end.
SysResult<std::string> ReadWholeFile(const std::u16string& path);
// Replaces the file's content by `data`, creating the file.
SysResult<FileInfo> WriteWholeFile(const std::u16string& path, std::string_view data);
// The same for a file that usually exists: its content is overwritten in
// place and cut to the new length, rather than the file being truncated
// first (on ext4 a truncation to zero makes the close write the data out
// at once). A missing file is created.
SysResult<FileInfo> OverwriteWholeFile(const std::u16string& path, std::string_view data);
// Writes `data` into a new file beside `path` and puts it in place of
// `path` in one step: a reader sees the old file or the whole new one,
// never a part. Nothing of it stays on failure.
SysResult<FileInfo> ReplaceWholeFile(const std::u16string& path, std::string_view data);
// The same for a file another program reads once this one has ended: the
// file and then its folder are written out to the disk, so that the old
// file or the whole new one is there also after a crash. A link at `path`
// is replaced, not followed.
SysStatus WriteFileDurably(const std::u16string& path, std::string_view data);
// Copies the regular file `from` over `to`, creating it.
SysStatus CopyWholeFile(const std::u16string& from, const std::u16string& to);
// The size a reader sees at the file's end.
SysResult<uint64_t> ReadableFileSize(const std::u16string& path);
// The status of the file `path` names, following links as an open does.
SysResult<FileInfo> StatFile(const std::u16string& path);
// The status of the entry itself (a link is not followed).
SysResult<FileInfo> StatEntry(const std::u16string& path);
// The hash (ContentHash) of every byte of the regular file `path`.
SysResult<uint64_t> HashFile(const std::u16string& path);

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
SysResult<FileSnapshot> ReadSnapshot(const std::u16string& path, uint64_t maxBytes, bool ownFile = false);

// fopen on a wide path, for state files of the run's own: a link in the
// file's place is not followed. On failure errno holds the reason as well.
SysResult<std::FILE*> OpenStream(const std::u16string& path, const char* mode);

}  // namespace prt::platform
