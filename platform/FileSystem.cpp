#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <memory>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

#define XXH_STATIC_LINKING_ONLY  // the streaming state lives inside ContentHash
#include <xxhash.h>

#include "platform/ByteBlock.h"
#include "platform/FaultSeam.h"
#include "platform/Text.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace prt::platform {

namespace fs = std::filesystem;

namespace {

// The error of an open that met a FIFO, socket or device where a file was
// expected (ENXIO), or a link where the run's own file was (ELOOP), in
// words that say so.
class FileKindCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "file kind"; }
  std::string message(int code) const override {
    if (code == ELOOP) return "a symbolic link, not followed";
    return code == EINVAL ? "not a single name inside the folder" : "not a regular file";
  }
  std::error_condition default_error_condition(int code) const noexcept override {
    return std::generic_category().default_error_condition(code);
  }
};

const FileKindCategory fileKind;

}  // namespace

std::error_code NotRegularFile() { return {ENXIO, fileKind}; }

std::error_code LinkNotFollowed() { return {ELOOP, fileKind}; }

std::error_code NotOneName() { return {EINVAL, fileKind}; }

namespace {

// The umask can only be read by setting it: that is done here, during static
// initialisation, while the process has one thread.
const uint32_t runningUser = ::geteuid();
const uint32_t freshFileMode = [] {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666u & ~static_cast<uint32_t>(mask);
}();

constexpr char kTemporaryPrefix[] = ".prt2qml.tmp.";
constexpr char16_t kTemporaryPrefixWide[] = u".prt2qml.tmp.";

}  // namespace

uint32_t RunningUser() { return runningUser; }

uint32_t FreshFileMode() { return freshFileMode; }

bool IsTemporaryName(std::u16string_view name) {
  const auto number = [](std::u16string_view digits) {
    return !digits.empty() && std::all_of(digits.begin(), digits.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
  };
  if (!name.starts_with(kTemporaryPrefixWide)) return false;
  name.remove_prefix(std::size(kTemporaryPrefixWide) - 1);
  const size_t dot = name.find(u'.');
  return dot != std::u16string_view::npos && number(name.substr(0, dot)) && number(name.substr(dot + 1));
}

std::error_code ErrnoError(int error) {
  return error == ENXIO ? NotRegularFile() : std::error_code(error, std::generic_category());
}

std::u16string EntryName(std::u16string path) {
  while (path.size() > 1 && path.back() == u'/') path.pop_back();
  return path;
}

std::u16string KernelPath(const std::u16string& path) {
  const size_t sep = path.rfind(u'/');
  if (sep == std::u16string::npos) return path;
  const fs::path folder = ToPath(path.substr(0, sep + 1));
  if (std::find(folder.begin(), folder.end(), fs::path("..")) == folder.end()) return path;
  char* resolved = ::realpath(folder.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::u16string result = WidenPath(resolved);
  std::free(resolved);
  if (result.back() != u'/') result += u'/';
  return result + path.substr(sep + 1);
}

std::u16string FullPath(const std::u16string& path) {
  if (path.empty()) return {};
  std::error_code ec;
  // With no ".." left, lexically_normal only drops "." and doubled
  // separators.
  const fs::path full = fs::absolute(ToPath(KernelPath(path)), ec);
  if (ec) return {};
  return FromPath(full.lexically_normal());
}

std::error_code CreateFolder(const std::u16string& path, bool& made) {
  std::error_code ec;
  made = fs::create_directory(ToPath(path), ec);
  return ec;
}

bool FileExists(const std::u16string& path) {
  std::error_code ec;
  return fs::exists(ToPath(path), ec);
}

bool NameRule::Matches(std::u16string_view name) const {
  const size_t fixed = prefix.size() + suffix.size();
  return (anyMiddle ? name.size() >= fixed : name.size() == fixed) && name.starts_with(prefix) && name.ends_with(suffix);
}

std::error_code FindFiles(const std::u16string& folder, const NameRule& rule, std::vector<std::u16string>& names) {
  names.clear();
  std::error_code ec;
  fs::directory_iterator it(folder.empty() ? fs::path(".") : ToPath(folder), ec);
  for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
    std::error_code typeEc;
    if (it->is_directory(typeEc)) continue;
    std::u16string name = FromPath(it->path().filename());
    if (rule.Matches(name)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());
  return ec;
}

std::error_code DeleteFile(const std::u16string& path) {
  std::error_code ec;
  if (!fs::remove(ToPath(path), ec) && !ec) return std::make_error_code(std::errc::no_such_file_or_directory);
  return ec;
}

namespace {

std::error_code LastError() { return ErrnoError(errno); }

// `name`, when given, is what a test's fault rule sees instead of the
// descriptor's path (an unnamed file has none yet).
std::error_code WriteAll(int fd, std::string_view data, const char* name = nullptr) {
  while (!data.empty()) {
    size_t size = data.size();
    if (const int error = InjectedFault(FaultOp::Write, name, fd, &size)) return ErrnoError(error);
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

// Fills `buffer` from `fd` up to its size or the end of the file; answers
// the bytes read, or -1 with errno set.
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

constexpr size_t kNoLimit = SIZE_MAX - 1;

// Reads to the end; `sizeHint` only sizes the first read. More than
// `maxBytes` fails with EFBIG.
template <typename Buffer>
std::error_code ReadAll(int fd, size_t sizeHint, Buffer& content, size_t maxBytes = kNoLimit) {
  content.resize(std::min(std::max<size_t>(sizeHint, 4096), maxBytes + 1));
  size_t filled = 0;
  for (;;) {
    const ssize_t n = ReadFull(fd, reinterpret_cast<char*>(content.data()) + filled, content.size() - filled);
    if (n < 0) {
      content.clear();
      return LastError();
    }
    filled += static_cast<size_t>(n);
    if (filled < content.size()) break;  // the end
    if (filled > maxBytes) {
      content.clear();
      return ErrnoError(EFBIG);
    }
    content.resize(std::min(content.size() * 2, maxBytes + 1));
  }
  content.resize(filled);
  return {};
}

// Opens `path` (in the folder `at`, when given) and refuses anything but a
// regular file. O_NONBLOCK keeps the open of a FIFO or device from waiting
// (or fails it with ENXIO); the type is checked on the descriptor itself,
// so nothing can be swapped in between, and only a regular file gets its
// blocking mode back. With O_NOFOLLOW a link there fails as
// LinkNotFollowed().
std::error_code OpenRegular(const std::u16string& path, int flags, Descriptor& file, struct stat& info,
                            int at = AT_FDCWD) {
  const std::string name = NarrowPath(path);
  if (const int error = InjectedFault(FaultOp::Open, name.c_str())) return ErrnoError(error);
  file.Reset(::openat(at, name.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666));
  if (file.Get() < 0) return (errno == ELOOP && (flags & O_NOFOLLOW)) ? LinkNotFollowed() : LastError();
  if (::fstat(file.Get(), &info) != 0) return LastError();
  if (S_ISDIR(info.st_mode)) return std::make_error_code(std::errc::is_a_directory);
  if (!S_ISREG(info.st_mode)) return NotRegularFile();
  // F_SETFL takes only the status flags (O_APPEND among them) from these.
  if (::fcntl(file.Get(), F_SETFL, flags) != 0) return LastError();
  return {};
}

// Every byte of the regular file at `path` into `content`.
template <typename Buffer>
std::error_code ReadWhole(const std::u16string& path, Buffer& content, int flags = O_RDONLY,
                          size_t maxBytes = kNoLimit, int at = AT_FDCWD) {
  Descriptor file;
  struct stat info {};
  if (auto ec = OpenRegular(path, flags, file, info, at)) return ec;
  // One byte more than the size, so a file that has not grown ends on the
  // first short read.
  if (auto ec = ReadAll(file.Get(), static_cast<size_t>(info.st_size) + 1, content, maxBytes)) return ec;
  return file.Close();
}

// Copies what is left of `from` to the end of `to` (to none when `to` is
// -1), in whole blocks, adding them to `hash`; `copied` counts the bytes.
std::error_code CopyContent(int from, int to, ContentHash* hash = nullptr, uint64_t* copied = nullptr) {
  std::unique_ptr<char[]> chunk(new char[kHashBlock]);
  for (;;) {
    const ssize_t n = ReadFull(from, chunk.get(), kHashBlock);
    if (n < 0) return LastError();
    if (n == 0) return {};
    const std::string_view block(chunk.get(), static_cast<size_t>(n));
    if (hash) hash->Add(block);
    if (copied) *copied += block.size();
    if (to >= 0) {
      if (auto ec = WriteAll(to, block)) return ec;
    }
    if (static_cast<size_t>(n) < kHashBlock) return {};
  }
}

int64_t Nanoseconds(const struct timespec& t) { return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec; }

FileInfo InfoOf(const struct stat& st) {
  return {S_ISREG(st.st_mode), static_cast<uint64_t>(st.st_size), Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim),
          static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), static_cast<uint32_t>(st.st_mode & 07777),
          static_cast<uint32_t>(st.st_uid)};
}

}  // namespace

void Descriptor::Reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

std::error_code Descriptor::Close(FileInfo* made) {
  struct stat st {};
  if (made && ::fstat(fd_, &st) != 0) return LastError();
  if (made) *made = InfoOf(st);
  // Linux frees the descriptor even when close is interrupted, so an
  // interruption is no error and is not retried.
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0 && errno != EINTR) return LastError();
  return {};
}

namespace {

// A name of the pattern IsTemporaryName knows, not yet used by this process.
std::string TemporaryName() {
  static std::atomic<uint32_t> serial{0};
  return kTemporaryPrefix + std::to_string(::getpid()) + "." + std::to_string(serial++);
}

// An unnamed file is put in place through /proc/self/fd, which needs /proc.
bool CanLinkUnnamed() {
  static const bool can = ::access("/proc/self/fd", X_OK) == 0;
  return can;
}

// A file written before it is put in place of a name: unnamed (O_TMPFILE),
// so that a kill leaves nothing behind, or where the file system cannot
// make one, under a temporary name.
struct NewFile {
  Descriptor fd;
  std::string temporary;  // its name, beside the target; empty while it has none
};

// The folder part of `target` ("" or ending in '/').
std::string FolderOf(const std::string& target) { return target.substr(0, target.rfind('/') + 1); }

// A new file beside `target` in the folder `at`.
std::error_code CreateNew(int at, const std::string& target, NewFile& file) {
  if (const int error = InjectedFault(FaultOp::Open, target.c_str())) return ErrnoError(error);
  const std::string folder = FolderOf(target);
  if (CanLinkUnnamed()) {
    file.fd.Reset(::openat(at, folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (file.fd.Get() >= 0) return {};
    // These say that the file system (or the kernel) has no unnamed files.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return LastError();
  }
  for (int attempt = 0;; ++attempt) {
    file.temporary = folder + TemporaryName();
    file.fd.Reset(::openat(at, file.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (file.fd.Get() >= 0) return {};
    const int error = errno;
    file.temporary.clear();
    if (error != EEXIST || attempt == 100) return ErrnoError(error);
  }
}

// Drops a new file that is not to be put in place.
void Abandon(int at, NewFile& file) {
  file.fd.Reset(-1);
  if (!file.temporary.empty()) ::unlinkat(at, file.temporary.c_str(), 0);
}

// Puts `file` in place of `target` in the folder `at` and closes it; `made`
// gets its status there (a new name moves the status change time). An
// unnamed file is linked to a free target at once; over an existing one it
// takes a temporary name and is renamed, as a named one is. On failure
// nothing of it stays.
std::error_code PutInPlace(int at, const std::string& target, NewFile& file, FileInfo* made) {
  if (const int error = InjectedFault(FaultOp::Rename, target.c_str())) {
    Abandon(at, file);
    return ErrnoError(error);
  }
  struct stat st {};
  if (file.temporary.empty()) {
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", file.fd.Get());
    if (::linkat(AT_FDCWD, self, at, target.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      std::error_code ec = ::fstat(file.fd.Get(), &st) != 0 ? LastError() : std::error_code();
      if (const std::error_code closed = file.fd.Close(); !ec) ec = closed;
      if (ec) ::unlinkat(at, target.c_str(), 0);
      if (!ec && made) *made = InfoOf(st);
      return ec;
    }
    for (int attempt = 0; errno == EEXIST && attempt < 100 && file.temporary.empty(); ++attempt) {
      std::string name = FolderOf(target) + TemporaryName();
      if (::linkat(AT_FDCWD, self, at, name.c_str(), AT_SYMLINK_FOLLOW) == 0) file.temporary = std::move(name);
    }
    if (file.temporary.empty()) {
      const std::error_code ec = LastError();
      Abandon(at, file);
      return ec;
    }
  }
  std::error_code ec = file.fd.Close();
  if (!ec && ::renameat(at, file.temporary.c_str(), at, target.c_str()) != 0) ec = LastError();
  if (ec) {
    ::unlinkat(at, file.temporary.c_str(), 0);
    return ec;
  }
  if (made && ::fstatat(at, target.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return LastError();
  if (made) *made = InfoOf(st);
  return {};
}

std::error_code RenameAt(int from, const std::string& a, int to, const std::string& b) {
  if (const int error = InjectedFault(FaultOp::Rename, a.c_str())) return ErrnoError(error);
  if (::renameat(from, a.c_str(), to, b.c_str()) != 0) return LastError();
  return {};
}

// Writes `data` into a new file for `target` in the folder `at`, gives it
// the mode and time of `like` when asked, checks its size and puts it in
// place of `target`; nothing of it stays on failure.
std::error_code ReplaceAt(int at, const std::string& target, std::string_view data, const FileInfo* like,
                          FileInfo* made) {
  NewFile file;
  if (auto ec = CreateNew(at, target, file)) return ec;
  std::error_code ec = WriteAll(file.fd.Get(), data, target.c_str());
  if (like) {
    if (!ec && ::fchmod(file.fd.Get(), like->mode) != 0) ec = LastError();
    const struct timespec times[2] = {{0, UTIME_OMIT}, {like->modifiedNs / 1'000'000'000, like->modifiedNs % 1'000'000'000}};
    if (!ec && ::futimens(file.fd.Get(), times) != 0) ec = LastError();
  }
  struct stat info {};
  if (!ec && ::fstat(file.fd.Get(), &info) != 0) ec = LastError();
  if (!ec && static_cast<uint64_t>(info.st_size) != data.size()) ec = std::make_error_code(std::errc::io_error);
  if (!ec) return PutInPlace(at, target, file, made);
  Abandon(at, file);
  return ec;
}

// Removes `name` in the folder `at` and, for a folder, everything in it; a
// link is removed itself. Goes on past what cannot be removed and answers
// the first error.
std::error_code RemoveAt(int at, const char* name) {
  if (::unlinkat(at, name, 0) == 0 || errno == ENOENT) return {};
  // Linux answers EISDIR for a folder; EPERM may also be an immutable file.
  const int error = errno;
  const std::error_code first = ErrnoError(error);
  if (error != EISDIR && error != EPERM) return first;
  Descriptor folder;
  folder.Reset(::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (folder.Get() < 0) return errno == ENOTDIR ? first : LastError();
  std::error_code ec;
  DIR* entries = ::fdopendir(folder.Get());
  if (entries == nullptr) return LastError();
  folder.Release();  // the stream owns it now
  while (const dirent* entry = ::readdir(entries)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    const std::error_code inner = RemoveAt(::dirfd(entries), entry->d_name);
    if (!ec) ec = inner;
  }
  ::closedir(entries);
  if (::unlinkat(at, name, AT_REMOVEDIR) != 0 && !ec) ec = LastError();
  return ec;
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
  ec = OpenRegular(path, flags | O_NOFOLLOW, file, info);
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

std::error_code WriteWholeFile(const std::u16string& path, std::string_view data, FileInfo* made) {
  Descriptor file;
  struct stat info {};
  if (auto ec = OpenRegular(path, O_WRONLY | O_CREAT | O_TRUNC, file, info)) return ec;
  if (auto ec = WriteAll(file.Get(), data)) return ec;
  return file.Close(made);
}

std::error_code CreateWholeFile(const std::u16string& path, std::string_view data, FileInfo* made) {
  const std::string name = NarrowPath(path);
  if (const int error = InjectedFault(FaultOp::Open, name.c_str())) return ErrnoError(error);
  // A new file is a regular one: no check after the open is needed.
  Descriptor file;
  file.Reset(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (file.Get() < 0) return LastError();
  if (auto ec = WriteAll(file.Get(), data)) return ec;
  return file.Close(made);
}

std::error_code OverwriteWholeFile(const std::u16string& path, std::string_view data, FileInfo* made) {
  Descriptor file;
  struct stat info {};
  if (auto ec = OpenRegular(path, O_WRONLY | O_CREAT, file, info)) return ec;
  if (auto ec = WriteAll(file.Get(), data)) return ec;
  if (static_cast<uint64_t>(info.st_size) > data.size() &&
      ::ftruncate(file.Get(), static_cast<off_t>(data.size())) != 0)
    return LastError();
  return file.Close(made);
}

std::error_code ReplaceWholeFile(const std::u16string& path, std::string_view data, FileInfo* made) {
  return ReplaceAt(AT_FDCWD, NarrowPath(path), data, nullptr, made);
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

std::error_code RemoveTree(const std::u16string& path) { return RemoveAt(AT_FDCWD, ToPath(EntryName(path)).c_str()); }

std::error_code RenameEntry(const std::u16string& from, const std::u16string& to) {
  return RenameAt(AT_FDCWD, NarrowPath(from), AT_FDCWD, NarrowPath(to));
}

std::error_code ExchangeEntries(const std::u16string& a, const std::u16string& b) {
  if (const int error = InjectedFault(FaultOp::Rename, NarrowPath(a).c_str())) return ErrnoError(error);
  if (::renameat2(AT_FDCWD, ToPath(a).c_str(), AT_FDCWD, ToPath(b).c_str(), RENAME_EXCHANGE) != 0) return LastError();
  return {};
}

std::error_code SyncFolder(const std::u16string& path) {
  Descriptor folder;
  folder.Reset(::open(ToPath(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Get() < 0) return LastError();
  if (const int error = InjectedFault(FaultOp::Sync, NarrowPath(path).c_str())) return ErrnoError(error);
  if (::fsync(folder.Get()) != 0) return LastError();
  return folder.Close();
}

std::error_code FolderHandle::Open(const std::u16string& path, bool noFollow) {
  std::u16string entry = noFollow ? EntryName(path) : path;
  if (const int error = InjectedFault(FaultOp::Open, NarrowPath(entry).c_str())) return ErrnoError(error);
  const int fd = ::open(ToPath(entry).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (noFollow ? O_NOFOLLOW : 0));
  if (fd < 0) {
    // O_DIRECTORY answers ENOTDIR for a link.
    struct stat st {};
    const int error = errno;
    if (noFollow && (error == ELOOP || (::lstat(ToPath(entry).c_str(), &st) == 0 && S_ISLNK(st.st_mode))))
      return LinkNotFollowed();
    return ErrnoError(error);
  }
  fd_.Reset(fd);
  path_ = std::move(entry);
  return {};
}

std::error_code FolderHandle::SyncFileSystem() const {
  if (const int error = InjectedFault(FaultOp::Sync, NarrowPath(path_).c_str())) return ErrnoError(error);
  if (::syncfs(fd_.Get()) != 0) return LastError();
  return {};
}

std::error_code FolderHandle::List(std::vector<std::u16string>& names) const {
  names.clear();
  const int fd = ::openat(fd_.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return LastError();
  DIR* entries = ::fdopendir(fd);
  if (entries == nullptr) {
    const std::error_code ec = LastError();
    ::close(fd);
    return ec;
  }
  errno = 0;
  while (const dirent* entry = ::readdir(entries)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
      names.push_back(WidenPath(entry->d_name));
  }
  const std::error_code ec = errno != 0 ? LastError() : std::error_code();
  ::closedir(entries);
  std::sort(names.begin(), names.end());
  return ec;
}

namespace {

// `name` as the system takes it, when it is one name inside a folder.
std::error_code OneName(const std::u16string& name, std::string& narrow) {
  narrow = NarrowPath(name);
  if (narrow.empty() || narrow == "." || narrow == ".." || narrow.find_first_of(std::string_view("/\0", 2)) != std::string::npos)
    return NotOneName();
  return {};
}

}  // namespace

std::error_code FolderHandle::Stat(const std::u16string& name, FileInfo& info) const {
  std::string entry;
  if (auto ec = OneName(name, entry)) return ec;
  struct stat st {};
  if (::fstatat(fd_.Get(), entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return LastError();
  info = InfoOf(st);
  return {};
}

std::error_code FolderHandle::Status(FileInfo& info) const {
  struct stat st {};
  if (::fstat(fd_.Get(), &st) != 0) return LastError();
  info = InfoOf(st);
  return {};
}

std::error_code FolderHandle::Remove(const std::u16string& name) const {
  std::string entry;
  if (auto ec = OneName(name, entry)) return ec;
  return RemoveAt(fd_.Get(), entry.c_str());
}

void FolderHandle::RemoveTemporaries() const {
  std::vector<std::u16string> names;
  List(names);
  for (const std::u16string& name : names)
    if (IsTemporaryName(name)) Remove(name);
}

std::error_code FolderHandle::Read(const std::u16string& name, std::string& content, size_t maxBytes) const {
  std::string entry;
  if (auto ec = OneName(name, entry)) return ec;
  return ReadWhole(name, content, O_RDONLY | O_NOFOLLOW, maxBytes, fd_.Get());
}

std::error_code FolderHandle::Replace(const std::u16string& name, std::string_view data, const FileInfo* like) const {
  std::string entry;
  if (auto ec = OneName(name, entry)) return ec;
  return ReplaceAt(fd_.Get(), entry, data, like, nullptr);
}

std::error_code FolderHandle::Link(const std::u16string& name, const FolderHandle& into,
                                   const std::u16string& to) const {
  std::string entry, target;
  if (auto ec = OneName(name, entry)) return ec;
  if (auto ec = OneName(to, target)) return ec;
  if (const int error = InjectedFault(FaultOp::Link, target.c_str())) return ErrnoError(error);
  if (::linkat(fd_.Get(), entry.c_str(), into.fd_.Get(), target.c_str(), 0) != 0) return LastError();
  return {};
}

std::error_code FolderHandle::CopyIn(const std::u16string& source, const std::u16string& name, Copied& copied) const {
  copied = {};
  std::string target;
  if (auto ec = OneName(name, target)) return ec;
  Descriptor from;
  struct stat before {};
  if (auto ec = OpenRegular(source, O_RDONLY, from, before)) return ec;
  NewFile file;
  if (auto ec = CreateNew(fd_.Get(), target, file)) return ec;
  const int to = file.fd.Get();
  uint64_t bytes = 0;
  std::error_code ec = CopyContent(from.Get(), to, nullptr, &bytes);
  if (!ec && ::fchmod(to, before.st_mode & 07777) != 0) ec = LastError();
  const struct timespec times[2] = {{0, UTIME_OMIT}, before.st_mtim};
  if (!ec && ::futimens(to, times) != 0) ec = LastError();
  struct stat after {};
  if (!ec && ::fstat(from.Get(), &after) != 0) ec = LastError();
  // A write moves the status change time even when the writer sets the
  // modification time back.
  const FileInfo was = InfoOf(before), is = InfoOf(after);
  copied.changed = !ec && (bytes != is.size || was.size != is.size || was.modifiedNs != is.modifiedNs ||
                           was.changedNs != is.changedNs);
  if (!ec && !copied.changed) return PutInPlace(fd_.Get(), target, file, nullptr);
  Abandon(fd_.Get(), file);
  return ec;
}

struct ContentHash::State {
  XXH3_state_t xxh;
};

ContentHash::ContentHash() : state_(std::make_unique<State>()) { XXH3_64bits_reset(&state_->xxh); }
ContentHash::~ContentHash() = default;

uint64_t ContentHash::Of(std::string_view bytes) { return XXH3_64bits(bytes.data(), bytes.size()); }

uint64_t ContentHash::Of(std::span<const uint8_t> bytes) { return XXH3_64bits(bytes.data(), bytes.size()); }

void ContentHash::Add(std::string_view block) { XXH3_64bits_update(&state_->xxh, block.data(), block.size()); }

uint64_t ContentHash::Value() const { return XXH3_64bits_digest(&state_->xxh); }

std::error_code ReadSnapshot(const std::u16string& path, uint64_t maxBytes, FileSnapshot& out, bool ownFile) {
  out = {};
  Descriptor file;
  struct stat before {};
  if (auto ec = OpenRegular(path, ownFile ? O_RDONLY | O_NOFOLLOW : O_RDONLY, file, before)) return ec;
  const auto size = static_cast<uint64_t>(before.st_size);
  if (size > maxBytes) return ErrnoError(EFBIG);
  ByteBlock bytes(static_cast<size_t>(size));
  if (!bytes.Valid()) return ErrnoError(ENOMEM);
  const ssize_t n = ReadFull(file.Get(), reinterpret_cast<char*>(bytes.Data()), bytes.Size());
  if (n < 0) return LastError();
  char more = 0;  // a file that grew has more
  const ssize_t extra = n == static_cast<ssize_t>(size) ? ReadFull(file.Get(), &more, 1) : 0;
  if (extra < 0) return LastError();
  struct stat after {};
  if (::fstat(file.Get(), &after) != 0) return LastError();
  out.info = InfoOf(before);
  const FileInfo now = InfoOf(after);
  out.changed = static_cast<uint64_t>(n) != size || extra != 0 || now.size != size ||
                now.modifiedNs != out.info.modifiedNs || now.changedNs != out.info.changedNs;
  out.bytes = std::move(bytes);
  return file.Close();
}

std::error_code StatFile(const std::u16string& path, FileInfo& info) {
  struct stat st {};
  if (::stat(NarrowPath(path).c_str(), &st) != 0) return LastError();
  info = InfoOf(st);
  return {};
}

std::error_code HashFile(const std::u16string& path, uint64_t& hash) {
  Descriptor file;
  struct stat info {};
  if (auto ec = OpenRegular(path, O_RDONLY, file, info)) return ec;
  ContentHash content;
  if (auto ec = CopyContent(file.Get(), -1, &content)) return ec;
  hash = content.Value();
  return {};
}

namespace {

// The C library gives a thread's own arena heaps of this size, each aligned
// to it. Were that to change, the advice would only miss.
constexpr uintptr_t kArenaHeap = uintptr_t{64} << 20;
uintptr_t mainHeapBegin = 0, mainHeapEnd = 0;

void AdviseHugePages(uintptr_t begin, uintptr_t end) {
  begin = (begin + kHugePage - 1) & ~(kHugePage - 1);
  end &= ~(kHugePage - 1);
  if (begin < end) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace

void PrepareProcess() {
  static char buffer[BUFSIZ];
  std::setvbuf(stdout, buffer, _IOLBF, sizeof buffer);
#if defined(__GLIBC__)
  mallopt(M_TOP_PAD, 16 << 20);
  if (void* grow = std::malloc(size_t{64} << 10)) {
    std::free(grow);
    mainHeapEnd = reinterpret_cast<uintptr_t>(::sbrk(0));
    mainHeapBegin = mainHeapEnd - mallinfo2().arena;
    AdviseHugePages(mainHeapBegin, mainHeapEnd);
  }
#endif
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  ArmFaultFromEnvironment();
}

void PrepareThreadHeap() {
#if defined(__GLIBC__)
  void* probe = std::malloc(64);
  const auto at = reinterpret_cast<uintptr_t>(probe);
  if (probe && (at < mainHeapBegin || at >= mainHeapEnd)) {
    const uintptr_t heap = at & ~(kArenaHeap - 1);
    ::madvise(reinterpret_cast<void*>(heap), kArenaHeap, MADV_HUGEPAGE);
  }
  std::free(probe);
#endif
}

bool SwitchedOff(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && std::strcmp(value, "0") == 0;
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
