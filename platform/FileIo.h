#pragma once
// For platform/ only: the system calls under its file and folder services,
// on a folder descriptor (`at`, AT_FDCWD for the current folder) and a name
// as the system takes it.
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/Descriptor.h"
#include "platform/FaultSeam.h"

namespace prt::platform {
class ContentHash;
}

namespace prt::platform::io {

template <typename T>
using Io = Expected<T, std::error_code>;

std::error_code LastError();
FileInfo InfoOf(const struct stat& st);
SystemError Failed(Op op, std::u16string path, std::error_code code);

// What a test's fault rule sees for `name` in the folder shown as `folder`;
// the text is formed only while a rule is armed.
int FaultAt(FaultOp op, std::u16string_view folder, std::string_view name);

// Writes all of `data`, over short writes and interruptions. `faultName`
// is what a test's fault rule sees (an unnamed file has no path yet).
std::error_code WriteAll(int fd, std::string_view data, const char* faultName = nullptr);
// Fills `buffer` up to its size or the end of the file; -1 with errno set.
ssize_t ReadFull(int fd, char* buffer, size_t size);

inline constexpr size_t kNoLimit = SIZE_MAX - 1;

// Reads to the end; `sizeHint` only sizes the first read. More than
// `maxBytes` fails with EFBIG.
template <typename Buffer>
Io<Buffer> ReadAll(int fd, size_t sizeHint, size_t maxBytes = kNoLimit) {
  Buffer content;
  content.resize(std::min(std::max<size_t>(sizeHint, 4096), maxBytes + 1));
  size_t filled = 0;
  for (;;) {
    const ssize_t n = ReadFull(fd, reinterpret_cast<char*>(content.data()) + filled, content.size() - filled);
    if (n < 0) return Fail(LastError());
    filled += static_cast<size_t>(n);
    if (filled < content.size()) break;  // the end
    if (filled > maxBytes) return Fail(std::error_code(EFBIG, std::generic_category()));
    content.resize(std::min(content.size() * 2, maxBytes + 1));
  }
  content.resize(filled);
  return content;
}

struct OpenedFile {
  Descriptor fd;
  struct stat info {};
};
// Opens `name` in the folder `at` and refuses anything but a regular file.
// O_NONBLOCK keeps the open of a FIFO or device from waiting (or fails it
// with ENXIO); the type is checked on the descriptor itself, so nothing can
// be swapped in between, and only a regular file gets its blocking mode
// back. With O_NOFOLLOW a link there fails as LinkNotFollowed().
// `faultName` is what a test's fault rule sees.
Io<OpenedFile> OpenRegular(int at, const std::string& name, int flags, const std::string& faultName);

// Copies what is left of `from` to the end of `to` (to none when `to` is
// -1), in whole blocks, adding them to `hash`; answers the bytes copied.
Io<uint64_t> CopyContent(int from, int to, ContentHash* hash = nullptr);

// Removes `name` in the folder `at` and, for a folder, everything in it; a
// link is removed itself, a missing entry is no error. Goes on past what
// cannot be removed and answers the first error.
std::error_code RemoveAt(int at, const char* name);

// `name` as the system takes it, when it is one name inside a folder.
Io<std::string> OneName(std::u16string_view name);

}  // namespace prt::platform::io

namespace prt::platform::io {

// A file written before it is put in place of a name: unnamed (O_TMPFILE),
// so that a kill leaves nothing behind, or, where the file system cannot
// make one, under a temporary name (IsTemporaryName).
struct NewFile {
  Descriptor fd;
  std::string temporary;  // its name in the folder; empty while it has none
  std::string fault;      // what a test's fault rule sees for the target
};
// A new file for `target` in the folder `at`, shown as `folder`.
Io<NewFile> CreateNew(int at, std::u16string_view folder, const std::string& target);
// Drops a new file that is not to be put in place.
void Abandon(int at, NewFile& file);
// Puts `file` in place of `target` in the folder `at` and closes it;
// answers its status there. On failure nothing of it stays.
Io<FileInfo> PutInPlace(int at, const std::string& target, NewFile& file);
// Writes `data` into a new file for `target`, gives it the mode and time of
// `like` when asked, checks its size and puts it in place.
Io<FileInfo> ReplaceAt(int at, std::u16string_view folder, const std::string& target, std::string_view data,
                       const FileInfo* like);
// Removes what a killed run left under temporary names in the folder `at`.
void RemoveTemporariesAt(int at);

}  // namespace prt::platform::io
