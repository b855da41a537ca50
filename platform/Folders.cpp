#include "platform/Folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/FileIo.h"
#include "platform/Text.h"

namespace prt::platform {

namespace {

using io::Failed;

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// `name` as the system takes it, or the error of `op` on a name that is
// not one.
SysResult<std::string> Entry(const std::u16string& name, Op op) {
  io::Io<std::string> narrow = io::OneName(name);
  if (!narrow) return Fail(Failed(op, name, narrow.Error()));
  return std::move(*narrow);
}

// A folder that did not open with O_NOFOLLOW: O_DIRECTORY answers ENOTDIR
// for a link, which says what it is only when looked at.
std::error_code FolderOpenError(int at, const char* name, bool noFollow) {
  const int error = errno;
  struct stat st {};
  if (noFollow && (error == ELOOP || (::fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))))
    return LinkNotFollowed();
  return ErrnoError(error);
}

std::u16string Joined(const std::u16string& folder, const std::u16string& name) {
  return folder.ends_with(u'/') ? folder + name : folder + u"/" + name;
}

// A file opened in the folder `at` with `flags`, written with `data` and
// closed; `trim` cuts what an overwrite left beyond the new end.
SysResult<FileInfo> WriteFile(io::OpenedFile file, const std::u16string& name, std::string_view data, bool trim) {
  if (const std::error_code ec = io::WriteAll(file.fd.Get(), data)) return Fail(Failed(Op::Write, name, ec));
  if (trim && static_cast<uint64_t>(file.info.st_size) > data.size() &&
      ::ftruncate(file.fd.Get(), static_cast<off_t>(data.size())) != 0)
    return Fail(Failed(Op::Write, name, io::LastError()));
  SysResult<FileInfo> closed = file.fd.CloseWithStatus();
  if (!closed) return Fail(closed.Error().On(name));
  return closed;
}

}  // namespace

SysResult<FolderHandle> FolderHandle::Open(const std::u16string& path, Links links) {
  const bool noFollow = links == Links::Refuse;
  std::u16string entry = noFollow ? EntryName(path) : path;
  const std::string name = NarrowPath(entry);
  if (const int error = InjectedFault(FaultOp::Open, name.c_str())) return Fail(Failed(Op::OpenFolder, path, ErrnoError(error)));
  Descriptor fd(::open(name.c_str(), kFolderFlags | (noFollow ? O_NOFOLLOW : 0)));
  if (fd.Get() < 0) return Fail(Failed(Op::OpenFolder, path, FolderOpenError(AT_FDCWD, name.c_str(), noFollow)));
  return FolderHandle(std::move(fd), std::move(entry));
}

SysResult<FolderHandle> FolderHandle::OpenFolder(const std::u16string& name) const {
  SysResult<std::string> entryName = Entry(name, Op::OpenFolder);
  if (!entryName) return Fail(entryName.Error());
  const std::string& entry = *entryName;
  if (const int error = io::FaultAt(FaultOp::Open, path_, entry)) return Fail(Failed(Op::OpenFolder, name, ErrnoError(error)));
  Descriptor fd(::openat(fd_.Get(), entry.c_str(), kFolderFlags | O_NOFOLLOW));
  if (fd.Get() < 0) return Fail(Failed(Op::OpenFolder, name, FolderOpenError(fd_.Get(), entry.c_str(), true)));
  return FolderHandle(std::move(fd), Joined(path_, name));
}

SysResult<std::vector<std::u16string>> FolderHandle::List() const {
  Descriptor listed(::openat(fd_.Get(), ".", kFolderFlags));
  if (listed.Get() < 0) return Fail(Failed(Op::List, path_, io::LastError()));
  DIR* entries = ::fdopendir(listed.Get());
  if (entries == nullptr) return Fail(Failed(Op::List, path_, io::LastError()));
  listed.Release();  // the stream owns it now
  std::vector<std::u16string> names;
  errno = 0;
  while (const dirent* entry = ::readdir(entries)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
      names.push_back(WidenPath(entry->d_name));
  }
  const std::error_code ec = errno != 0 ? io::LastError() : std::error_code();
  ::closedir(entries);
  if (ec) return Fail(Failed(Op::List, path_, ec));
  std::sort(names.begin(), names.end());
  return names;
}

SysResult<FileInfo> FolderHandle::Stat(const std::u16string& name) const {
  SysResult<std::string> entryName = Entry(name, Op::Stat);
  if (!entryName) return Fail(entryName.Error());
  const std::string& entry = *entryName;
  struct stat st {};
  if (::fstatat(fd_.Get(), entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return Fail(Failed(Op::Stat, name, io::LastError()));
  return io::InfoOf(st);
}

bool FolderHandle::Exists(const std::u16string& name) const { return static_cast<bool>(Stat(name)); }

SysResult<FileInfo> FolderHandle::Status() const {
  SysResult<FileInfo> info = fd_.Status();
  if (!info) return Fail(info.Error().On(path_));
  return info;
}

SysResult<std::string> FolderHandle::Read(const std::u16string& name, size_t maxBytes) const {
  SysResult<std::string> entryName = Entry(name, Op::Read);
  if (!entryName) return Fail(entryName.Error());
  const std::string& entry = *entryName;
  io::Io<io::OpenedFile> file = io::OpenRegular(fd_.Get(), entry, O_RDONLY | O_NOFOLLOW, entry);
  if (!file) return Fail(Failed(Op::Read, name, file.Error()));
  // One byte more than the size, so a file that has not grown ends on the
  // first short read.
  io::Io<std::string> content =
      io::ReadAll<std::string>(file->fd.Get(), static_cast<size_t>(file->info.st_size) + 1, maxBytes);
  if (!content) return Fail(Failed(Op::Read, name, content.Error()));
  return std::move(*content);
}

SysResult<std::string> FolderHandle::ReadStart(const std::u16string& name, size_t bytes) const {
  SysResult<std::string> entryName = Entry(name, Op::Read);
  if (!entryName) return Fail(entryName.Error());
  const std::string& entry = *entryName;
  io::Io<io::OpenedFile> file = io::OpenRegular(fd_.Get(), entry, O_RDONLY | O_NOFOLLOW, entry);
  if (!file) return Fail(Failed(Op::Read, name, file.Error()));
  std::string start(bytes, '\0');
  const ssize_t n = io::ReadFull(file->fd.Get(), start.data(), bytes);
  if (n < 0) return Fail(Failed(Op::Read, name, io::LastError()));
  start.resize(static_cast<size_t>(n));
  return start;
}

SysResult<FileInfo> FolderHandle::Create(const std::u16string& name, std::string_view data) const {
  SysResult<std::string> entryName = Entry(name, Op::Write);
  if (!entryName) return Fail(entryName.Error());
  const std::string& entry = *entryName;
  if (const int error = io::FaultAt(FaultOp::Open, path_, entry)) return Fail(Failed(Op::Write, name, ErrnoError(error)));
  // A new file is a regular one: no check after the open is needed.
  io::OpenedFile file;
  file.fd.Reset(::openat(fd_.Get(), entry.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (file.fd.Get() < 0) return Fail(Failed(Op::Write, name, io::LastError()));
  return WriteFile(std::move(file), name, data, false);
}

SysResult<FileInfo> FolderHandle::Write(const std::u16string& name, std::string_view data) const {
  SysResult<std::string> entryName = Entry(name, Op::Write);
  if (!entryName) return Fail(entryName.Error());
  const std::string& entry = *entryName;
  io::Io<io::OpenedFile> file =
      io::OpenRegular(fd_.Get(), entry, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, NarrowPath(Joined(path_, name)));
  if (!file) return Fail(Failed(Op::Write, name, file.Error()));
  return WriteFile(std::move(*file), name, data, false);
}

SysResult<FileInfo> FolderHandle::Overwrite(const std::u16string& name, std::string_view data) const {
  SysResult<std::string> entryName = Entry(name, Op::Write);
  if (!entryName) return Fail(entryName.Error());
  const std::string& entry = *entryName;
  io::Io<io::OpenedFile> file =
      io::OpenRegular(fd_.Get(), entry, O_WRONLY | O_CREAT | O_NOFOLLOW, NarrowPath(Joined(path_, name)));
  if (!file) return Fail(Failed(Op::Write, name, file.Error()));
  return WriteFile(std::move(*file), name, data, true);
}

SysResult<FileInfo> FolderHandle::Replace(const std::u16string& name, std::string_view data, const FileInfo* like) const {
  SysResult<std::string> entryName = Entry(name, Op::Write);
  if (!entryName) return Fail(entryName.Error());
  const std::string& entry = *entryName;
  io::Io<FileInfo> replaced = io::ReplaceAt(fd_.Get(), path_, entry, data, like);
  if (!replaced) return Fail(Failed(Op::Write, name, replaced.Error()));
  return *replaced;
}

SysResult<bool> FolderHandle::CopyIn(const std::u16string& source, const std::u16string& name) const {
  SysResult<std::string> targetName = Entry(name, Op::CopyFile);
  if (!targetName) return Fail(targetName.Error());
  const std::string& target = *targetName;
  const std::string from = NarrowPath(source);
  io::Io<io::OpenedFile> opened = io::OpenRegular(AT_FDCWD, from, O_RDONLY, from);
  if (!opened) return Fail(SystemError{Op::CopyFile, source, opened.Error(), name});
  const struct stat& before = opened->info;
  io::Io<io::NewFile> created = io::CreateNew(fd_.Get(), path_, target);
  if (!created) return Fail(SystemError{Op::CopyFile, source, created.Error(), name});
  const int to = created->fd.Get();
  io::Io<uint64_t> bytes = io::CopyContent(opened->fd.Get(), to);
  std::error_code ec = bytes ? std::error_code() : bytes.Error();
  if (!ec && ::fchmod(to, before.st_mode & 07777) != 0) ec = io::LastError();
  const struct timespec times[2] = {{0, UTIME_OMIT}, before.st_mtim};
  if (!ec && ::futimens(to, times) != 0) ec = io::LastError();
  struct stat after {};
  if (!ec && ::fstat(opened->fd.Get(), &after) != 0) ec = io::LastError();
  // A write moves the status change time even when the writer sets the
  // modification time back.
  const FileInfo was = io::InfoOf(before), is = io::InfoOf(after);
  const bool changed = !ec && (*bytes != is.size || was.size != is.size || was.modifiedNs != is.modifiedNs ||
                               was.changedNs != is.changedNs);
  if (ec || changed) {
    io::Abandon(fd_.Get(), *created);
    if (ec) return Fail(SystemError{Op::CopyFile, source, ec, name});
    return true;
  }
  if (io::Io<FileInfo> put = io::PutInPlace(fd_.Get(), target, *created); !put)
    return Fail(SystemError{Op::CopyFile, source, put.Error(), name});
  return false;
}

SysStatus FolderHandle::CopyTo(const std::u16string& name, const FolderHandle& into, const std::u16string& to) const {
  SysResult<std::string> entryName = Entry(name, Op::CopyFile);
  if (!entryName) return Fail(entryName.Error());
  const std::string& entry = *entryName;
  SysResult<std::string> targetName = Entry(to, Op::CopyFile);
  if (!targetName) return Fail(targetName.Error());
  const std::string& target = *targetName;
  const auto failed = [&](std::error_code code) { return Fail(SystemError{Op::CopyFile, name, code, to}); };
  io::Io<io::OpenedFile> source = io::OpenRegular(fd_.Get(), entry, O_RDONLY | O_NOFOLLOW, entry);
  if (!source) return failed(source.Error());
  io::Io<io::OpenedFile> copy = io::OpenRegular(into.fd_.Get(), target, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW,
                                                NarrowPath(Joined(into.path_, to)));
  if (!copy) return failed(copy.Error());
  if (io::Io<uint64_t> copied = io::CopyContent(source->fd.Get(), copy->fd.Get()); !copied) return failed(copied.Error());
  if (SysStatus closed = copy->fd.Close(); !closed) return failed(closed.Error().code);
  return {};
}

SysStatus FolderHandle::Link(const std::u16string& name, const FolderHandle& into, const std::u16string& to) const {
  SysResult<std::string> entryName = Entry(name, Op::Link);
  if (!entryName) return Fail(entryName.Error());
  const std::string& entry = *entryName;
  SysResult<std::string> targetName = Entry(to, Op::Link);
  if (!targetName) return Fail(targetName.Error());
  const std::string& target = *targetName;
  if (const int error = io::FaultAt(FaultOp::Link, into.path_, target)) return Fail(SystemError{Op::Link, name, ErrnoError(error), to});
  if (::linkat(fd_.Get(), entry.c_str(), into.fd_.Get(), target.c_str(), 0) != 0)
    return Fail(SystemError{Op::Link, name, io::LastError(), to});
  return {};
}

SysStatus FolderHandle::MakeFolder(const std::u16string& name) const {
  SysResult<std::string> entryName = Entry(name, Op::MakeFolder);
  if (!entryName) return Fail(entryName.Error());
  const std::string& entry = *entryName;
  if (::mkdirat(fd_.Get(), entry.c_str(), 0777) != 0) return Fail(Failed(Op::MakeFolder, name, io::LastError()));
  return {};
}

SysStatus FolderHandle::Remove(const std::u16string& name) const {
  SysResult<std::string> entryName = Entry(name, Op::Remove);
  if (!entryName) return Fail(entryName.Error());
  const std::string& entry = *entryName;
  if (const std::error_code ec = io::RemoveAt(fd_.Get(), entry.c_str())) return Fail(Failed(Op::Remove, name, ec));
  return {};
}

SysStatus FolderHandle::Rename(const std::u16string& name, const std::u16string& to) const {
  SysResult<std::string> fromName = Entry(name, Op::Rename);
  if (!fromName) return Fail(fromName.Error());
  const std::string& from = *fromName;
  SysResult<std::string> targetName = Entry(to, Op::Rename);
  if (!targetName) return Fail(targetName.Error());
  const std::string& target = *targetName;
  std::error_code ec;
  if (const int error = io::FaultAt(FaultOp::Rename, path_, from)) ec = ErrnoError(error);
  else if (::renameat(fd_.Get(), from.c_str(), fd_.Get(), target.c_str()) != 0) ec = io::LastError();
  if (ec) return Fail(SystemError{Op::Rename, name, ec, to});
  return {};
}

SysStatus FolderHandle::Exchange(const std::u16string& a, const std::u16string& b) const {
  SysResult<std::string> firstName = Entry(a, Op::Exchange);
  if (!firstName) return Fail(firstName.Error());
  const std::string& first = *firstName;
  SysResult<std::string> secondName = Entry(b, Op::Exchange);
  if (!secondName) return Fail(secondName.Error());
  const std::string& second = *secondName;
  std::error_code ec;
  if (const int error = io::FaultAt(FaultOp::Rename, path_, first)) ec = ErrnoError(error);
  else if (::renameat2(fd_.Get(), first.c_str(), fd_.Get(), second.c_str(), RENAME_EXCHANGE) != 0) ec = io::LastError();
  if (ec) return Fail(SystemError{Op::Exchange, a, ec, b});
  return {};
}

SysResult<std::u16string> FolderHandle::MoveAside(const std::u16string& name) const {
  for (uint32_t n = 0;; ++n) {
    std::u16string aside = name + u".stale." + Widen(std::to_string(n));
    if (Exists(aside)) continue;
    if (SysStatus moved = Rename(name, aside); !moved) return Fail(SystemError{Op::MoveAside, name, moved.Error().code, aside});
    return aside;
  }
}

SysStatus FolderHandle::Sync() const {
  if (const int error = InjectedFault(FaultOp::Sync, NarrowPath(path_).c_str())) return Fail(Failed(Op::Sync, path_, ErrnoError(error)));
  if (::fsync(fd_.Get()) != 0) return Fail(Failed(Op::Sync, path_, io::LastError()));
  return {};
}

SysStatus FolderHandle::SyncFileSystem() const {
  if (const int error = InjectedFault(FaultOp::Sync, NarrowPath(path_).c_str())) return Fail(Failed(Op::Sync, path_, ErrnoError(error)));
  if (::syncfs(fd_.Get()) != 0) return Fail(Failed(Op::Sync, path_, io::LastError()));
  return {};
}

void FolderHandle::RemoveTemporaries() const { io::RemoveTemporariesAt(fd_.Get()); }

SysStatus MakeFolder(const std::u16string& path) {
  if (::mkdir(NarrowPath(path).c_str(), 0777) != 0) return Fail(Failed(Op::MakeFolder, path, io::LastError()));
  return {};
}

SysResult<bool> MakeFolderIfMissing(const std::u16string& path) {
  if (::mkdir(NarrowPath(path).c_str(), 0777) == 0) return true;
  const int error = errno;
  struct stat st {};
  if (error == EEXIST && ::stat(NarrowPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return false;
  return Fail(Failed(Op::MakeFolder, path, ErrnoError(error)));
}

SysStatus RemoveTree(const std::u16string& path) {
  if (const std::error_code ec = io::RemoveAt(AT_FDCWD, NarrowPath(EntryName(path)).c_str()))
    return Fail(Failed(Op::Remove, path, ec));
  return {};
}

SysResult<std::vector<std::u16string>> FindFiles(const std::u16string& folder, const NameRule& rule) {
  namespace fs = std::filesystem;
  std::vector<std::u16string> names;
  std::error_code ec;
  fs::directory_iterator it(folder.empty() ? fs::path(".") : ToPath(folder), ec);
  for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
    std::error_code typeEc;
    if (it->is_directory(typeEc)) continue;
    std::u16string name = FromPath(it->path().filename());
    if (rule.Matches(name)) names.push_back(std::move(name));
  }
  if (ec) return Fail(Failed(Op::List, folder, ec));
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace prt::platform
