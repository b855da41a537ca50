#include "platform/FileIo.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/ContentHash.h"
#include "platform/Text.h"

namespace prt::platform {

void Descriptor::Reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

SysStatus Descriptor::Close() {
  // Linux frees the descriptor even when close is interrupted, so an
  // interruption is no error and is not retried.
  if (::close(std::exchange(fd_, -1)) != 0 && errno != EINTR) return Fail(io::Failed(Op::Write, {}, io::LastError()));
  return {};
}

SysResult<FileInfo> Descriptor::CloseWithStatus() {
  SysResult<FileInfo> info = Status();
  if (!info) return info;
  if (SysStatus closed = Close(); !closed) return Fail(closed.Error());
  return info;
}

SysResult<FileInfo> Descriptor::Status() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return Fail(io::Failed(Op::Stat, {}, io::LastError()));
  return io::InfoOf(st);
}

namespace io {

namespace {

int64_t Nanoseconds(const struct timespec& t) { return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec; }

}  // namespace

std::error_code LastError() { return ErrnoError(errno); }

FileInfo InfoOf(const struct stat& st) {
  return {S_ISREG(st.st_mode), static_cast<uint64_t>(st.st_size), Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim),
          static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), static_cast<uint32_t>(st.st_mode & 07777),
          static_cast<uint32_t>(st.st_uid), S_ISDIR(st.st_mode)};
}

SystemError Failed(Op op, std::u16string path, std::error_code code) {
  return {.op = op, .path = std::move(path), .code = code};
}

int FaultAt(FaultOp op, std::u16string_view folder, std::string_view name) {
  if (!FaultArmed()) return 0;
  const std::string text = NarrowPath(folder) + "/" + std::string(name);
  return InjectedFault(op, text.c_str());
}

std::error_code WriteAll(int fd, std::string_view data, const char* faultName) {
  while (!data.empty()) {
    size_t size = data.size();
    if (const int error = InjectedFault(FaultOp::Write, faultName, fd, &size)) return ErrnoError(error);
    const ssize_t n = ::write(fd, data.data(), size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    // A regular file takes at least one byte or reports why not.
    if (n == 0) return std::make_error_code(std::errc::io_error);
    data.remove_prefix(static_cast<size_t>(n));
  }
  return {};
}

ssize_t ReadFull(int fd, char* buffer, size_t size) {
  size_t filled = 0;
  while (filled < size) {
    const ssize_t n = ::read(fd, buffer + filled, size - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    filled += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(filled);
}

Io<OpenedFile> OpenRegular(int at, const std::string& name, int flags, const std::string& faultName) {
  if (const int error = InjectedFault(FaultOp::Open, faultName.c_str())) return Fail(ErrnoError(error));
  OpenedFile file;
  file.fd.Reset(::openat(at, name.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666));
  if (file.fd.Get() < 0) return Fail((errno == ELOOP && (flags & O_NOFOLLOW)) ? LinkNotFollowed() : LastError());
  if (::fstat(file.fd.Get(), &file.info) != 0) return Fail(LastError());
  if (S_ISDIR(file.info.st_mode)) return Fail(std::make_error_code(std::errc::is_a_directory));
  if (!S_ISREG(file.info.st_mode)) return Fail(NotRegularFile());
  // F_SETFL takes only the status flags (O_APPEND among them) from these.
  if (::fcntl(file.fd.Get(), F_SETFL, flags) != 0) return Fail(LastError());
  return file;
}

Io<uint64_t> CopyContent(int from, int to, ContentHash* hash) {
  std::unique_ptr<char[]> chunk(new char[kHashBlock]);
  uint64_t copied = 0;
  for (;;) {
    const ssize_t n = ReadFull(from, chunk.get(), kHashBlock);
    if (n < 0) return Fail(LastError());
    if (n == 0) return copied;
    const std::string_view block(chunk.get(), static_cast<size_t>(n));
    if (hash) hash->Add(block);
    copied += block.size();
    if (to >= 0) {
      if (const std::error_code ec = WriteAll(to, block)) return Fail(ec);
    }
    if (static_cast<size_t>(n) < kHashBlock) return copied;
  }
}

std::error_code RemoveAt(int at, const char* name) {
  if (::unlinkat(at, name, 0) == 0 || errno == ENOENT) return {};
  // Linux answers EISDIR for a folder; EPERM may also be an immutable file.
  const int error = errno;
  const std::error_code first = ErrnoError(error);
  if (error != EISDIR && error != EPERM) return first;
  Descriptor folder(::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (folder.Get() < 0) return errno == ENOTDIR ? first : LastError();
  DIR* entries = ::fdopendir(folder.Get());
  if (entries == nullptr) return LastError();
  folder.Release();  // the stream owns it now
  std::error_code ec;
  while (const dirent* entry = ::readdir(entries)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    const std::error_code inner = RemoveAt(::dirfd(entries), entry->d_name);
    if (!ec) ec = inner;
  }
  ::closedir(entries);
  if (::unlinkat(at, name, AT_REMOVEDIR) != 0 && !ec) ec = LastError();
  return ec;
}

Io<std::string> OneName(std::u16string_view name) {
  std::string narrow = NarrowPath(name);
  if (narrow.empty() || narrow == "." || narrow == ".." ||
      narrow.find_first_of(std::string_view("/\0", 2)) != std::string::npos)
    return Fail(NotOneName());
  return narrow;
}

}  // namespace io

}  // namespace prt::platform
