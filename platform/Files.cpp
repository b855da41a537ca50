#include "platform/Files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/ContentHash.h"
#include "platform/FileIo.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace prt::platform {

namespace {

using io::Failed;

// Opens the regular file `path` with `flags`.
SysResult<io::OpenedFile> Open(const std::u16string& path, int flags, Op op = Op::Open) {
  const std::string name = NarrowPath(path);
  io::Io<io::OpenedFile> file = io::OpenRegular(AT_FDCWD, name, flags, name);
  if (!file) return Fail(Failed(op, path, file.Error()));
  return std::move(*file);
}

SysResult<FileInfo> WriteAndClose(const std::u16string& path, io::OpenedFile& file, std::string_view data) {
  if (const std::error_code ec = io::WriteAll(file.fd.Get(), data)) return Fail(Failed(Op::Write, path, ec));
  SysResult<FileInfo> closed = file.fd.CloseWithStatus();
  if (!closed) return Fail(closed.Error().On(path));
  return closed;
}

}  // namespace

SysResult<std::string> ReadWholeFile(const std::u16string& path) {
  SysResult<io::OpenedFile> file = Open(path, O_RDONLY, Op::Read);
  if (!file) return Fail(file.Error());
  // One byte more than the size, so a file that has not grown ends on the
  // first short read.
  io::Io<std::string> content = io::ReadAll<std::string>(file->fd.Get(), static_cast<size_t>(file->info.st_size) + 1);
  if (!content) return Fail(Failed(Op::Read, path, content.Error()));
  return std::move(*content);
}

SysResult<FileInfo> WriteWholeFile(const std::u16string& path, std::string_view data) {
  SysResult<io::OpenedFile> file = Open(path, O_WRONLY | O_CREAT | O_TRUNC);
  if (!file) return Fail(file.Error());
  return WriteAndClose(path, *file, data);
}

SysResult<FileInfo> OverwriteWholeFile(const std::u16string& path, std::string_view data) {
  SysResult<io::OpenedFile> file = Open(path, O_WRONLY | O_CREAT);
  if (!file) return Fail(file.Error());
  if (const std::error_code ec = io::WriteAll(file->fd.Get(), data)) return Fail(Failed(Op::Write, path, ec));
  if (static_cast<uint64_t>(file->info.st_size) > data.size() &&
      ::ftruncate(file->fd.Get(), static_cast<off_t>(data.size())) != 0)
    return Fail(Failed(Op::Write, path, io::LastError()));
  return WriteAndClose(path, *file, {});
}

SysResult<FileInfo> ReplaceWholeFile(const std::u16string& path, std::string_view data) {
  const auto [folder, name] = SplitFolder(path);
  Descriptor at(::open(NarrowPath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (at.Get() < 0) return Fail(Failed(Op::Write, path, io::LastError()));
  io::Io<FileInfo> replaced = io::ReplaceAt(at.Get(), folder, NarrowPath(name), data, nullptr);
  if (!replaced) return Fail(Failed(Op::Write, path, replaced.Error()));
  return *replaced;
}

SysStatus WriteFileDurably(const std::u16string& path, std::string_view data) {
  const auto [folder, name] = SplitFolder(path);
  Descriptor at(::open(NarrowPath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (at.Get() < 0) return Fail(Failed(Op::Write, path, io::LastError()));
  const std::string target = NarrowPath(name);
  io::Io<io::NewFile> created = io::CreateNew(at.Get(), folder, target);
  if (!created) return Fail(Failed(Op::Write, path, created.Error()));
  std::error_code ec = io::WriteAll(created->fd.Get(), data);
  if (!ec && ::fsync(created->fd.Get()) != 0) ec = io::LastError();
  if (ec) {
    io::Abandon(at.Get(), *created);
    return Fail(Failed(Op::Write, path, ec));
  }
  if (io::Io<FileInfo> placed = io::PutInPlace(at.Get(), target, *created); !placed)
    return Fail(Failed(Op::Write, path, placed.Error()));
  if (::fsync(at.Get()) != 0) return Fail(Failed(Op::Write, folder, io::LastError()));
  return {};
}

SysStatus CopyWholeFile(const std::u16string& from, const std::u16string& to) {
  SysResult<io::OpenedFile> source = Open(from, O_RDONLY, Op::CopyFile);
  if (!source) return Fail(source.Error().On(from, to));
  SysResult<io::OpenedFile> target = Open(to, O_WRONLY | O_CREAT | O_TRUNC, Op::CopyFile);
  if (!target) return Fail(target.Error().On(from, to));
  if (io::Io<uint64_t> copied = io::CopyContent(source->fd.Get(), target->fd.Get()); !copied)
    return Fail(SystemError{Op::CopyFile, from, copied.Error(), to});
  if (SysStatus closed = target->fd.Close(); !closed) return Fail(closed.Error().On(from, to));
  return {};
}

SysResult<uint64_t> ReadableFileSize(const std::u16string& path) {
  SysResult<io::OpenedFile> file = Open(path, O_RDONLY);
  if (!file) return Fail(file.Error());
  return static_cast<uint64_t>(file->info.st_size);
}

SysResult<FileInfo> StatFile(const std::u16string& path) {
  struct stat st {};
  if (::stat(NarrowPath(path).c_str(), &st) != 0) return Fail(Failed(Op::Stat, path, io::LastError()));
  return io::InfoOf(st);
}

SysResult<FileInfo> StatEntry(const std::u16string& path) {
  struct stat st {};
  if (::lstat(NarrowPath(path).c_str(), &st) != 0) return Fail(Failed(Op::Stat, path, io::LastError()));
  return io::InfoOf(st);
}

SysResult<uint64_t> HashFile(const std::u16string& path) {
  SysResult<io::OpenedFile> file = Open(path, O_RDONLY, Op::Read);
  if (!file) return Fail(file.Error());
  ContentHash content;
  if (io::Io<uint64_t> read = io::CopyContent(file->fd.Get(), -1, &content); !read)
    return Fail(Failed(Op::Read, path, read.Error()));
  return content.Value();
}

SysResult<FileSnapshot> ReadSnapshot(const std::u16string& path, uint64_t maxBytes, bool ownFile) {
  SysResult<io::OpenedFile> file = Open(path, ownFile ? O_RDONLY | O_NOFOLLOW : O_RDONLY, Op::Read);
  if (!file) return Fail(file.Error());
  const int fd = file->fd.Get();
  const auto size = static_cast<uint64_t>(file->info.st_size);
  const auto failed = [&](int error) { return Fail(Failed(Op::Read, path, ErrnoError(error))); };
  if (size > maxBytes) return failed(EFBIG);
  FileSnapshot out;
  out.bytes = ByteBlock(static_cast<size_t>(size));
  if (!out.bytes.Valid()) return failed(ENOMEM);
  const ssize_t n = io::ReadFull(fd, reinterpret_cast<char*>(out.bytes.Data()), out.bytes.Size());
  if (n < 0) return failed(errno);
  char more = 0;  // a file that grew has more
  const ssize_t extra = n == static_cast<ssize_t>(size) ? io::ReadFull(fd, &more, 1) : 0;
  if (extra < 0) return failed(errno);
  SysResult<FileInfo> now = file->fd.CloseWithStatus();
  if (!now) return Fail(now.Error().On(path));
  out.info = io::InfoOf(file->info);
  out.changed = static_cast<uint64_t>(n) != size || extra != 0 || now->size != size ||
                now->modifiedNs != out.info.modifiedNs || now->changedNs != out.info.changedNs;
  return out;
}

namespace {

// The open(2) flags of an fopen mode ("r", "w" or "a", then any of "b+").
int FlagsOfMode(const char* mode) {
  if (mode == nullptr) return -1;
  int flags = mode[0] == 'r' ? O_RDONLY : mode[0] == 'w' ? O_WRONLY | O_CREAT | O_TRUNC
                                      : mode[0] == 'a' ? O_WRONLY | O_CREAT | O_APPEND : -1;
  for (const char* c = mode + 1; flags >= 0 && *c != '\0'; ++c) {
    if (*c == '+') flags = (flags & ~O_ACCMODE) | O_RDWR;
    else if (*c != 'b') flags = -1;
  }
  return flags;
}

}  // namespace

SysResult<std::FILE*> OpenStream(const std::u16string& path, const char* mode) {
  const int flags = FlagsOfMode(mode);
  if (flags < 0) {
    errno = EINVAL;
    return Fail(Failed(Op::Open, path, std::make_error_code(std::errc::invalid_argument)));
  }
  SysResult<io::OpenedFile> file = Open(path, flags | O_NOFOLLOW);
  std::FILE* stream = file ? ::fdopen(file->fd.Get(), mode) : nullptr;
  if (stream != nullptr) {
    file->fd.Release();
    return stream;
  }
  const std::error_code ec = file ? io::LastError() : file.Error().code;
  errno = ec.value();
  return Fail(Failed(Op::Open, path, ec));
}

}  // namespace prt::platform
