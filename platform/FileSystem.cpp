#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "platform/Text.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace prt::platform {

namespace fs = std::filesystem;

namespace {

// Closes a descriptor without disturbing the errno of the failure that led here.
void CloseKeepingErrno(int fd) {
  const int saved = errno;
  ::close(fd);
  errno = saved;
}

// open(2) of a file that must be a regular one. O_NONBLOCK keeps the open of
// a FIFO (or a device) from waiting for a peer; the type is then checked on
// the descriptor itself, so nothing can be swapped in between, and only a
// regular file gets its blocking mode back. -1 with errno on failure.
int OpenRegular(const std::u16string& path, int flags, mode_t createMode = 0666, struct stat* info = nullptr) {
  const int fd = ::open(Narrow(path).c_str(), flags | O_NONBLOCK | O_CLOEXEC, createMode);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    CloseKeepingErrno(fd);
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = ENXIO;
    return -1;
  }
  const int status = ::fcntl(fd, F_GETFL);
  if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
    CloseKeepingErrno(fd);
    return -1;
  }
  if (info != nullptr) *info = st;
  return fd;
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

// Every byte of `data`, across short writes and interruptions.
bool WriteFully(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool CopyContent(int from, int to) {
  std::vector<char> buffer(256 * 1024);
  for (;;) {
    const ssize_t n = ::read(from, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    if (!WriteFully(to, buffer.data(), static_cast<size_t>(n))) return false;
  }
}

}  // namespace

std::string FileErrorText(int error) {
  if (error == ENXIO) return "not a regular file";
  return std::strerror(error);
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

CreateDirResult CreateDirectory(const std::u16string& path) {
  std::error_code ec;
  if (fs::create_directory(ToPath(path), ec)) return CreateDirResult::Created;
  return ec ? CreateDirResult::Failed : CreateDirResult::Existed;
}

bool FileExists(const std::u16string& path) {
  std::error_code ec;
  return fs::exists(ToPath(path), ec);
}

int64_t LastWriteTimeMs(const std::u16string& path) {
  struct stat st;
  const int fd = OpenRegular(path, O_RDONLY, 0, &st);
  if (fd < 0) return 0;
  ::close(fd);
  // On the file clock, as std::filesystem::last_write_time reports it.
  const std::chrono::sys_time<std::chrono::nanoseconds> written{std::chrono::seconds(st.st_mtim.tv_sec) +
                                                                std::chrono::nanoseconds(st.st_mtim.tv_nsec)};
  const auto t = std::chrono::file_clock::from_sys(written);
  return std::chrono::floor<std::chrono::milliseconds>(t.time_since_epoch()).count();
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
  if (ec) return found;
  for (const fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) return found;
    std::error_code typeEc;
    if (it->is_directory(typeEc)) continue;
    std::u16string name = FromPath(it->path().filename());
    if (MatchesPattern(name, pattern)) found.names.push_back(std::move(name));
  }
  if (ec) return found;
  std::sort(found.names.begin(), found.names.end());
  found.ranToEnd = true;
  return found;
}

bool DeleteFile(const std::u16string& path) {
  std::error_code ec;
  return fs::remove(ToPath(path), ec) && !ec;
}

bool CopyFileKeepTime(const std::u16string& from, const std::u16string& to) {
  struct stat source;
  const int in = OpenRegular(from, O_RDONLY, 0, &source);
  if (in < 0) return false;
  // Not truncated on open: an existing destination is cut only once it is
  // known to be a regular file.
  const int out = OpenRegular(to, O_WRONLY | O_CREAT, source.st_mode & 07777);
  if (out < 0) {
    CloseKeepingErrno(in);
    return false;
  }
  const struct timespec times[2] = {{0, UTIME_OMIT}, source.st_mtim};
  bool ok = ::ftruncate(out, 0) == 0 && ::fchmod(out, source.st_mode & 07777) == 0 && CopyContent(in, out) &&
            ::futimens(out, times) == 0;
  int error = ok ? 0 : errno;
  ::close(in);
  if (::close(out) != 0 && ok) {
    ok = false;
    error = errno;
  }
  errno = error;
  return ok;
}

std::FILE* OpenStream(const std::u16string& path, const char* mode) {
  int flags = 0;
  if (mode == nullptr || !FlagsOfMode(mode, flags)) {
    errno = EINVAL;
    return nullptr;
  }
  const int fd = OpenRegular(path, flags);
  if (fd < 0) return nullptr;
  std::FILE* stream = ::fdopen(fd, mode);
  if (stream == nullptr) CloseKeepingErrno(fd);
  return stream;
}

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Unbuffered: large transfers go straight to the system either way, and a
// buffer would only cost an allocation per file.
File OpenUnbuffered(const std::u16string& path, const char* mode) {
  File f(OpenStream(path, mode));
  if (f) std::setvbuf(f.get(), nullptr, _IONBF, 0);
  return f;
}

// Every byte of `data` in one transfer (none for empty data).
bool WriteAll(std::FILE* f, std::string_view data) {
  return data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
}

std::optional<uint64_t> EndPosition(std::FILE* f) {
  if (std::fseek(f, 0, SEEK_END) != 0) return std::nullopt;
  const long end = std::ftell(f);
  if (end < 0) return std::nullopt;
  return static_cast<uint64_t>(end);
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::u16string& path) {
  File f = OpenUnbuffered(path, "rb");
  if (!f) return std::nullopt;
  std::string content;
  if (const auto size = EndPosition(f.get()); size && *size > 0 && std::fseek(f.get(), 0, SEEK_SET) == 0) {
    content.resize(static_cast<size_t>(*size));
    content.resize(std::fread(content.data(), 1, content.size(), f.get()));
  }
  // A file that cannot seek, or that grew meanwhile, is read on to its end.
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0;) content.append(chunk, n);
  return content;
}

WriteOutcome WriteWholeFile(const std::u16string& path, std::string_view data) {
  File f = OpenUnbuffered(path, "wb");
  if (!f) return WriteOutcome::NotOpened;
  return WriteAll(f.get(), data) ? WriteOutcome::Written : WriteOutcome::Short;
}

WriteOutcome OverwriteWholeFile(const std::u16string& path, std::string_view data) {
  File f = OpenUnbuffered(path, "r+b");
  if (!f) return WriteWholeFile(path, data);
  if (!WriteAll(f.get(), data)) return WriteOutcome::Short;
  const auto end = EndPosition(f.get());
  if (!end) return WriteOutcome::Short;
  if (*end > data.size()) {
    f.reset();
    std::error_code ec;
    fs::resize_file(ToPath(path), data.size(), ec);
    if (ec) return WriteOutcome::Short;
  }
  return WriteOutcome::Written;
}

std::optional<uint64_t> ReadableFileSize(const std::u16string& path) {
  File f = OpenUnbuffered(path, "rb");
  if (!f) return std::nullopt;
  return EndPosition(f.get());
}

void PrepareProcess() {
  static char buffer[BUFSIZ];
  std::setvbuf(stdout, buffer, _IOLBF, sizeof buffer);
#if defined(__GLIBC__)
  mallopt(M_TOP_PAD, 16 << 20);
#endif
}

void FlushFileSystems() {
#if defined(__unix__)
  ::sync();
#endif
}

}  // namespace prt::platform
