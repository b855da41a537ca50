#pragma once
// Folders held by descriptor. A run opens each folder it works in once and
// then creates, links, renames and removes the files in it by name,
// relative to that descriptor: a name is one component, checked, so that
// nothing reaches outside the folder whatever name a caller passes (one
// read from a file included), and a link inside is never followed.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Descriptor.h"
#include "platform/Paths.h"

namespace prt::platform {

class FolderHandle {
 public:
  enum class Links : uint8_t {
    Follow,  // a folder the user named
    Refuse,  // a folder the run made: a link in its place fails (LinkNotFollowed())
  };
  // Opens the folder `path` (trailing separators dropped with Refuse).
  static SysResult<FolderHandle> Open(const std::u16string& path, Links links = Links::Follow);

  FolderHandle() = default;  // holds none
  FolderHandle(FolderHandle&&) noexcept = default;
  FolderHandle& operator=(FolderHandle&&) noexcept = default;

  // The folder `name` in this one, a link there refused.
  SysResult<FolderHandle> OpenFolder(const std::u16string& name) const;
  bool Valid() const { return fd_.Get() >= 0; }
  // As opened; a folder opened in another is shown as its path + "/" + name.
  const std::u16string& Path() const { return path_; }
  const Descriptor& Handle() const { return fd_; }

  // Every entry operation below takes one name inside the folder: a name
  // that is not one fails with NotOneName(). Errors carry the name given.
  SysResult<std::vector<std::u16string>> List() const;  // sorted
  // The entry's own status (a link is not regular).
  SysResult<FileInfo> Stat(const std::u16string& name) const;
  bool Exists(const std::u16string& name) const;
  // The folder's own status.
  SysResult<FileInfo> Status() const;

  // Every byte of the regular file `name`, at most `maxBytes` (EFBIG).
  SysResult<std::string> Read(const std::u16string& name, size_t maxBytes) const;
  // Its first `bytes` bytes at most.
  SysResult<std::string> ReadStart(const std::u16string& name, size_t bytes) const;
  // A new file `name` holding `data`: fails with EEXIST, and leaves it
  // alone, when anything is there already (a link included).
  SysResult<FileInfo> Create(const std::u16string& name, std::string_view data) const;
  // Replaces the content of the regular file `name`, creating it.
  SysResult<FileInfo> Write(const std::u16string& name, std::string_view data) const;
  // The same, overwriting in place and cutting to the new length.
  SysResult<FileInfo> Overwrite(const std::u16string& name, std::string_view data) const;
  // Puts a file holding `data` in place of `name` in one step (a link there
  // is replaced); with `like`, the file gets its mode and modification time.
  SysResult<FileInfo> Replace(const std::u16string& name, std::string_view data, const FileInfo* like = nullptr) const;
  // Copies the regular file `source` (a path, links followed) in place of
  // `name` in one step, with the source's mode and modification time. The
  // source's size and times are compared before and after: a copy taken
  // while it was rewritten is never put in place, and answers true.
  SysResult<bool> CopyIn(const std::u16string& source, const std::u16string& name) const;
  // Copies the regular file `name` to `to` in the folder `into`, creating it.
  SysStatus CopyTo(const std::u16string& name, const FolderHandle& into, const std::u16string& to) const;
  // A second name, `to` in the folder `into`, for the file `name` (a link
  // there is linked itself, not followed).
  SysStatus Link(const std::u16string& name, const FolderHandle& into, const std::u16string& to) const;

  SysStatus MakeFolder(const std::u16string& name) const;
  // Removes the entry, a folder with everything in it; a missing entry is
  // no error. A link, also one met inside, is removed itself.
  SysStatus Remove(const std::u16string& name) const;
  // rename(2) inside the folder: replaces an empty folder or a file at `to`.
  SysStatus Rename(const std::u16string& name, const std::u16string& to) const;
  // Swaps two entries in one step: at any moment each name holds either
  // its old or its new entry.
  SysStatus Exchange(const std::u16string& a, const std::u16string& b) const;
  // Moves `name` to the first free name `name`.stale.<n>, which it answers.
  // The caller holds the folder's lock: no other run takes that name.
  SysResult<std::u16string> MoveAside(const std::u16string& name) const;

  // Writes the folder's own entries (names, renames) to the disk.
  SysStatus Sync() const;
  // syncfs(2) on the folder's file system: one flush for many files, which
  // learns of every write-back error since the folder was opened.
  SysStatus SyncFileSystem() const;
  // Removes the temporary files (IsTemporaryName) a killed run left here;
  // the caller holds the folder's lock. What cannot be removed stays.
  void RemoveTemporaries() const;

 private:
  FolderHandle(Descriptor fd, std::u16string path) : fd_(std::move(fd)), path_(std::move(path)) {}

  Descriptor fd_;
  std::u16string path_;
};

// Folders by path, for what a run does not hold.
// Creates one folder; its parent must exist.
SysStatus MakeFolder(const std::u16string& path);
// The same, where an existing folder (also one a link names) is no error:
// answers whether it was created.
SysResult<bool> MakeFolderIfMissing(const std::u16string& path);
// Removes the entry and, for a folder, everything in it, as Remove does.
SysStatus RemoveTree(const std::u16string& path);
// The names (only, sorted) of the entries of `folder` that are not folders
// and follow `rule`.
SysResult<std::vector<std::u16string>> FindFiles(const std::u16string& folder, const NameRule& rule);

}  // namespace prt::platform
