#include "platform/TempFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/FileIo.h"
#include "platform/Text.h"

namespace prt::platform {

namespace {

constexpr char kTemporaryPrefix[] = ".prt2qml.tmp.";
constexpr char16_t kTemporaryPrefixWide[] = u".prt2qml.tmp.";

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

}  // namespace

bool IsTemporaryName(std::u16string_view name) {
  const auto number = [](std::u16string_view digits) {
    return !digits.empty() &&
           std::all_of(digits.begin(), digits.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
  };
  if (!name.starts_with(kTemporaryPrefixWide)) return false;
  name.remove_prefix(std::size(kTemporaryPrefixWide) - 1);
  const size_t dot = name.find(u'.');
  return dot != std::u16string_view::npos && number(name.substr(0, dot)) && number(name.substr(dot + 1));
}

namespace io {

Io<NewFile> CreateNew(int at, std::u16string_view folder, const std::string& target) {
  NewFile file;
  file.fault = FaultArmed() ? NarrowPath(folder) + "/" + target : std::string();
  if (const int error = InjectedFault(FaultOp::Open, file.fault.c_str())) return Fail(ErrnoError(error));
  if (CanLinkUnnamed()) {
    file.fd.Reset(::openat(at, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (file.fd.Get() >= 0) return file;
    // These say that the file system (or the kernel) has no unnamed files.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return Fail(LastError());
  }
  for (int attempt = 0;; ++attempt) {
    file.temporary = TemporaryName();
    file.fd.Reset(::openat(at, file.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (file.fd.Get() >= 0) return file;
    const int error = errno;
    file.temporary.clear();
    if (error != EEXIST || attempt == 100) return Fail(ErrnoError(error));
  }
}

void Abandon(int at, NewFile& file) {
  file.fd.Reset(-1);
  if (!file.temporary.empty()) ::unlinkat(at, file.temporary.c_str(), 0);
}

namespace {

// Gives an unnamed file the name `target` when it is free, else a
// temporary one to be renamed; answers whether it took `target`.
Io<bool> LinkUnnamed(int at, const std::string& target, NewFile& file) {
  char self[32];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", file.fd.Get());
  if (::linkat(AT_FDCWD, self, at, target.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  for (int attempt = 0; errno == EEXIST && attempt < 100 && file.temporary.empty(); ++attempt) {
    std::string name = TemporaryName();
    if (::linkat(AT_FDCWD, self, at, name.c_str(), AT_SYMLINK_FOLLOW) == 0) file.temporary = std::move(name);
  }
  if (file.temporary.empty()) return Fail(LastError());
  return false;
}

}  // namespace

Io<FileInfo> PutInPlace(int at, const std::string& target, NewFile& file) {
  if (const int error = InjectedFault(FaultOp::Rename, file.fault.c_str())) {
    Abandon(at, file);
    return Fail(ErrnoError(error));
  }
  if (file.temporary.empty()) {
    const Io<bool> linked = LinkUnnamed(at, target, file);
    if (!linked) {
      Abandon(at, file);
      return Fail(linked.Error());
    }
    if (*linked) {
      // A new name moves the status change time: the status is taken after.
      SysResult<FileInfo> closed = file.fd.CloseWithStatus();
      if (!closed) ::unlinkat(at, target.c_str(), 0);
      if (!closed) return Fail(closed.Error().code);
      return *closed;
    }
  }
  std::error_code ec;
  if (SysStatus closed = file.fd.Close(); !closed) ec = closed.Error().code;
  if (!ec && ::renameat(at, file.temporary.c_str(), at, target.c_str()) != 0) ec = LastError();
  if (ec) {
    ::unlinkat(at, file.temporary.c_str(), 0);
    return Fail(ec);
  }
  struct stat st {};
  if (::fstatat(at, target.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return Fail(LastError());
  return InfoOf(st);
}

Io<FileInfo> ReplaceAt(int at, std::u16string_view folder, const std::string& target, std::string_view data,
                       const FileInfo* like) {
  Io<NewFile> created = CreateNew(at, folder, target);
  if (!created) return Fail(created.Error());
  NewFile& file = *created;
  std::error_code ec = WriteAll(file.fd.Get(), data, file.fault.empty() ? nullptr : file.fault.c_str());
  if (like) {
    if (!ec && ::fchmod(file.fd.Get(), like->mode) != 0) ec = LastError();
    const struct timespec times[2] = {{0, UTIME_OMIT},
                                      {like->modifiedNs / 1'000'000'000, like->modifiedNs % 1'000'000'000}};
    if (!ec && ::futimens(file.fd.Get(), times) != 0) ec = LastError();
  }
  struct stat info {};
  if (!ec && ::fstat(file.fd.Get(), &info) != 0) ec = LastError();
  if (!ec && static_cast<uint64_t>(info.st_size) != data.size()) ec = std::make_error_code(std::errc::io_error);
  if (!ec) return PutInPlace(at, target, file);
  Abandon(at, file);
  return Fail(ec);
}

void RemoveTemporariesAt(int at) {
  Descriptor listed(::openat(at, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  DIR* entries = listed.Get() < 0 ? nullptr : ::fdopendir(listed.Get());
  if (entries == nullptr) return;
  listed.Release();
  std::vector<std::string> found;
  while (const dirent* entry = ::readdir(entries))
    if (IsTemporaryName(WidenPath(entry->d_name))) found.emplace_back(entry->d_name);
  ::closedir(entries);
  for (const std::string& name : found) RemoveAt(at, name.c_str());
}

}  // namespace io

}  // namespace prt::platform
