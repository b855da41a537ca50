#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/Text.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace prt::platform {

namespace fs = std::filesystem;

namespace {

// The error of an open that met a FIFO, socket or device where a file was
// expected: ENXIO, in words that say so.
class FileKindCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "file kind"; }
  std::string message(int) const override { return "not a regular file"; }
  std::error_condition default_error_condition(int) const noexcept override {
    return std::errc::no_such_device_or_address;
  }
};

}  // namespace

std::error_code NotRegularFile() {
  static const FileKindCategory category;
  return {ENXIO, category};
}

std::error_code ErrnoError(int error) {
  return error == ENXIO ? NotRegularFile() : std::error_code(error, std::generic_category());
}

std::u16string FullPath(const std::u16string& path) {
  if (path.empty()) return {};
  std::error_code ec;
  // lexically_normal folds "." and ".." as a full-path service does,
  // without following links.
  const fs::path full = fs::absolute(ToPath(path), ec);
  if (ec) return {};
  return FromPath(full.lexically_normal());
}

CreatedDir CreateDirectory(const std::u16string& path) {
  std::error_code ec;
  if (fs::create_directory(ToPath(path), ec)) return {CreateDirResult::Created, {}};
  if (ec) return {CreateDirResult::Failed, ec.message()};
  return {CreateDirResult::Existed, {}};
}

bool FileExists(const std::u16string& path) {
  std::error_code ec;
  return fs::exists(ToPath(path), ec);
}

bool MatchesPattern(std::u16string_view name, std::u16string_view pattern) {
  // Greedy match with one backtrack point: the last `*` seen.
  size_t n = 0, p = 0;
  size_t starP = std::u16string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && pattern[p] == name[n]) {
      ++p, ++n;
    } else if (starP != std::u16string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

FoundFiles FindFiles(const std::u16string& folder, const std::u16string& pattern) {
  FoundFiles found;
  std::error_code ec;
  fs::directory_iterator it(folder.empty() ? fs::path(".") : ToPath(folder), ec);
  for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
    std::error_code typeEc;
    if (it->is_directory(typeEc)) continue;
    std::u16string name = FromPath(it->path().filename());
    if (MatchesPattern(name, pattern)) found.names.push_back(std::move(name));
  }
  if (ec) {
    found.reason = ec.message();
    return found;
  }
  std::sort(found.names.begin(), found.names.end());
  found.ranToEnd = true;
  return found;
}

Failure DeleteFile(const std::u16string& path) {
  std::error_code ec;
  if (fs::remove(ToPath(path), ec) && !ec) return std::nullopt;
  return ec ? ec.message() : std::make_error_code(std::errc::no_such_file_or_directory).message();
}

namespace {

std::error_code LastError() { return ErrnoError(errno); }

// A file descriptor, closed when it goes unless Close() reported on it.
class Descriptor {
 public:
  Descriptor() = default;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  void Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int Get() const { return fd_; }
  // Hands the descriptor over to another owner.
  void Release() { fd_ = -1; }
  // A file system may report a failed write only here (NFS, a full quota).
  // Linux frees the descriptor even when close is interrupted, so an
  // interruption is no error and is not retried.
  std::error_code Close() {
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0 && errno != EINTR) return LastError();
    return {};
  }

 private:
  int fd_ = -1;
};

std::error_code WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
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

// Reads to the end; `sizeHint` only sizes the first read.
template <typename Buffer>
std::error_code ReadAll(int fd, size_t sizeHint, Buffer& content) {
  content.clear();
  content.resize(std::max<size_t>(sizeHint, 4096));
  size_t filled = 0;
  for (;;) {
    if (filled == content.size()) content.resize(content.size() * 2);
    const ssize_t n = ::read(fd, content.data() + filled, content.size() - filled);
    if (n < 0) {
      if (errno == EINTR) continue;
      content.clear();
      return LastError();
    }
    if (n == 0) break;
    filled += static_cast<size_t>(n);
  }
  content.resize(filled);
  return {};
}

// Opens `path` and refuses anything but a regular file. O_NONBLOCK keeps
// the open of a FIFO or device from waiting (or fails it with ENXIO); the
// type is checked on the descriptor itself, so nothing can be swapped in
// between, and only a regular file gets its blocking mode back.
std::error_code OpenRegular(const std::u16string& path, int flags, Descriptor& file, struct stat& info) {
  file.Reset(::open(ToPath(path).c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666));
  if (file.Get() < 0) return LastError();
  if (::fstat(file.Get(), &info) != 0) return LastError();
  if (S_ISDIR(info.st_mode)) return std::make_error_code(std::errc::is_a_directory);
  if (!S_ISREG(info.st_mode)) return NotRegularFile();
  // F_SETFL takes only the status flags (O_APPEND among them) from these.
  if (::fcntl(file.Get(), F_SETFL, flags) != 0) return LastError();
  return {};
}

// Every byte of the regular file at `path` into `content`.
template <typename Buffer>
std::error_code ReadWhole(const std::u16string& path, Buffer& content) {
  Descriptor file;
  struct stat info {};
  if (auto ec = OpenRegular(path, O_RDONLY, file, info)) return ec;
  // One byte more than the size, so a file that has not grown ends on the
  // first short read.
  if (auto ec = ReadAll(file.Get(), static_cast<size_t>(info.st_size) + 1, content)) return ec;
  return file.Close();
}

// Copies what is left of `from` to the end of `to`.
std::error_code CopyContent(int from, int to) {
  char chunk[1 << 16];
  for (;;) {
    const ssize_t n = ::read(from, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (n == 0) return {};
    if (auto ec = WriteAll(to, {chunk, static_cast<size_t>(n)})) return ec;
  }
}

// The open(2) flags of an fopen mode ("r", "w" or "a", then any of "b+").
bool FlagsOfMode(const char* mode, int& flags) {
  switch (mode[0]) {
    case 'r':
      flags = O_RDONLY;
      break;
    case 'w':
      flags = O_WRONLY | O_CREAT | O_TRUNC;
      break;
    case 'a':
      flags = O_WRONLY | O_CREAT | O_APPEND;
      break;
    default:
      return false;
  }
  for (const char* c = mode + 1; *c != '\0'; ++c) {
    if (*c == '+') {
      flags = (flags & ~O_ACCMODE) | O_RDWR;
    } else if (*c != 'b') {
      return false;
    }
  }
  return true;
}

}  // namespace

int64_t LastWriteTimeMs(const std::u16string& path) {
  Descriptor file;
  struct stat info {};
  if (OpenRegular(path, O_RDONLY, file, info)) return 0;
  // On the file clock, as std::filesystem::last_write_time reports it.
  const std::chrono::sys_time<std::chrono::nanoseconds> written{std::chrono::seconds(info.st_mtim.tv_sec) +
                                                                std::chrono::nanoseconds(info.st_mtim.tv_nsec)};
  const auto t = std::chrono::file_clock::from_sys(written);
  return std::chrono::floor<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

Failure CopyFileKeepTime(const std::u16string& from, const std::u16string& to) {
  Descriptor source;
  Descriptor target;
  struct stat info {};
  struct stat targetInfo {};
  std::error_code ec = OpenRegular(from, O_RDONLY, source, info);
  // Not truncated on open: an existing target is cut only once it is known
  // to be a regular file.
  if (!ec) ec = OpenRegular(to, O_WRONLY | O_CREAT, target, targetInfo);
  if (!ec && ::ftruncate(target.Get(), 0) != 0) ec = LastError();
  if (!ec && ::fchmod(target.Get(), info.st_mode & 07777) != 0) ec = LastError();
  if (!ec) ec = CopyContent(source.Get(), target.Get());
  const struct timespec times[2] = {{0, UTIME_OMIT}, info.st_mtim};
  if (!ec && ::futimens(target.Get(), times) != 0) ec = LastError();
  if (!ec) ec = target.Close();
  if (ec) return ec.message();
  return std::nullopt;
}

std::FILE* OpenStream(const std::u16string& path, const char* mode, std::error_code* error) {
  std::error_code ignored;
  std::error_code& ec = error ? *error : ignored;
  int flags = 0;
  if (mode == nullptr || !FlagsOfMode(mode, flags)) {
    ec = std::make_error_code(std::errc::invalid_argument);
    errno = EINVAL;
    return nullptr;
  }
  Descriptor file;
  struct stat info {};
  ec = OpenRegular(path, flags, file, info);
  std::FILE* stream = ec ? nullptr : ::fdopen(file.Get(), mode);
  if (stream != nullptr) {
    file.Release();
    return stream;
  }
  if (!ec) ec = LastError();
  errno = ec.value();
  return nullptr;
}

std::error_code ReadWholeFile(const std::u16string& path, std::string& content) {
  return ReadWhole(path, content);
}

std::error_code ReadWholeFile(const std::u16string& path, std::vector<uint8_t>& content) {
  return ReadWhole(path, content);
}

std::optional<std::string> ReadWholeFile(const std::u16string& path) {
  std::string content;
  if (ReadWholeFile(path, content)) return std::nullopt;
  return content;
}

std::error_code WriteWholeFile(const std::u16string& path, std::string_view data) {
  Descriptor file;
  struct stat info {};
  if (auto ec = OpenRegular(path, O_WRONLY | O_CREAT | O_TRUNC, file, info)) return ec;
  if (auto ec = WriteAll(file.Get(), data)) return ec;
  return file.Close();
}

std::error_code OverwriteWholeFile(const std::u16string& path, std::string_view data) {
  Descriptor file;
  struct stat info {};
  if (auto ec = OpenRegular(path, O_WRONLY | O_CREAT, file, info)) return ec;
  if (auto ec = WriteAll(file.Get(), data)) return ec;
  if (static_cast<uint64_t>(info.st_size) > data.size() &&
      ::ftruncate(file.Get(), static_cast<off_t>(data.size())) != 0)
    return LastError();
  return file.Close();
}

std::error_code ReplaceWholeFile(const std::u16string& path, std::string_view data) {
  static std::atomic<uint32_t> serial{0};
  Descriptor file;
  std::u16string temporary;
  for (int attempt = 0; file.Get() < 0; ++attempt) {
    temporary = path + u".tmp" + Widen(std::to_string(::getpid()) + "." + std::to_string(serial++));
    file.Reset(::open(ToPath(temporary).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (file.Get() < 0 && (errno != EEXIST || attempt == 100)) return LastError();
  }
  std::error_code ec = WriteAll(file.Get(), data);
  struct stat info {};
  if (!ec && ::fstat(file.Get(), &info) != 0) ec = LastError();
  if (!ec && static_cast<uint64_t>(info.st_size) != data.size()) ec = std::make_error_code(std::errc::io_error);
  if (const std::error_code closed = file.Close(); !ec) ec = closed;
  if (!ec && ::rename(ToPath(temporary).c_str(), ToPath(path).c_str()) != 0) ec = LastError();
  if (ec) ::unlink(ToPath(temporary).c_str());
  return ec;
}

std::error_code CopyWholeFile(const std::u16string& from, const std::u16string& to) {
  Descriptor source;
  Descriptor target;
  struct stat info {};
  if (auto ec = OpenRegular(from, O_RDONLY, source, info)) return ec;
  if (auto ec = OpenRegular(to, O_WRONLY | O_CREAT | O_TRUNC, target, info)) return ec;
  if (auto ec = CopyContent(source.Get(), target.Get())) return ec;
  return target.Close();
}

std::optional<uint64_t> ReadableFileSize(const std::u16string& path) {
  Descriptor file;
  struct stat info {};
  if (OpenRegular(path, O_RDONLY, file, info)) return std::nullopt;
  return static_cast<uint64_t>(info.st_size);
}

bool EntryExists(const std::u16string& path) {
  struct stat info {};
  return ::lstat(ToPath(path).c_str(), &info) == 0;
}

std::error_code MakeFolder(const std::u16string& path) {
  if (::mkdir(ToPath(path).c_str(), 0777) != 0) return LastError();
  return {};
}

std::error_code ListFolder(const std::u16string& folder, std::vector<std::u16string>& names) {
  names.clear();
  std::error_code ec;
  fs::directory_iterator it(ToPath(folder), ec);
  for (const fs::directory_iterator end; !ec && it != end; it.increment(ec))
    names.push_back(FromPath(it->path().filename()));
  std::sort(names.begin(), names.end());
  return ec;
}

std::error_code RemoveTree(const std::u16string& path) {
  std::error_code ec;
  fs::remove_all(ToPath(path), ec);
  return ec;
}

std::error_code RenameEntry(const std::u16string& from, const std::u16string& to) {
  if (::rename(ToPath(from).c_str(), ToPath(to).c_str()) != 0) return LastError();
  return {};
}

std::error_code ExchangeEntries(const std::u16string& a, const std::u16string& b) {
#if defined(SYS_renameat2)
  // The system call itself: older C libraries have no wrapper for it.
  constexpr unsigned kRenameExchange = 1u << 1;
  if (::syscall(SYS_renameat2, AT_FDCWD, ToPath(a).c_str(), AT_FDCWD, ToPath(b).c_str(), kRenameExchange) != 0)
    return LastError();
  return {};
#else
  return std::make_error_code(std::errc::function_not_supported);
#endif
}

std::error_code SyncFolder(const std::u16string& path) {
  Descriptor folder;
  folder.Reset(::open(ToPath(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Get() < 0) return LastError();
  if (::fsync(folder.Get()) != 0) return LastError();
  return folder.Close();
}

FolderHandle::~FolderHandle() {
  if (fd_ >= 0) ::close(fd_);
}

FolderHandle::FolderHandle(FolderHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

std::error_code FolderHandle::Open(const std::u16string& path) {
  const int fd = ::open(ToPath(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return LastError();
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  return {};
}

std::error_code FolderHandle::SyncFileSystem() const {
  if (::syncfs(fd_) != 0) return LastError();
  return {};
}

void PrepareProcess() {
  static char buffer[BUFSIZ];
  std::setvbuf(stdout, buffer, _IOLBF, sizeof buffer);
#if defined(__GLIBC__)
  mallopt(M_TOP_PAD, 16 << 20);
#endif
  std::signal(SIGXFSZ, SIG_IGN);
}

void FlushFileSystems() { ::sync(); }

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void DiscardPages(void* data, size_t size) {
  const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto begin = (reinterpret_cast<uintptr_t>(data) + page - 1) / page * page;
  const auto end = (reinterpret_cast<uintptr_t>(data) + size) / page * page;
  if (begin < end) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
}

}  // namespace prt::platform
