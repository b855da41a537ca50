#pragma once
// Paths as the system walks them, and names as the system takes them.
// Paths are wide (UTF-16) and converted only at the system call.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/SystemError.h"

namespace prt::platform {

// The path the way open(2) walks it: when a component of its folder part
// is "..", the folder part is resolved whole (links first, then ".."), so
// that "B/link/../a.prt" names the file the system opens for it, not
// "B/a.prt". Any other path comes back unchanged, byte for byte, as does
// one whose folder cannot be resolved (opening it then fails as well).
std::u16string KernelPath(const std::u16string& path);
// The name without trailing separators: a trailing slash would make the
// system calls follow a symbolic link instead of taking the link.
std::u16string EntryName(std::u16string path);
// Absolute form of KernelPath(path), with "." components and repeated
// separators dropped; empty when it cannot be formed (an empty path, no
// current directory).
std::u16string FullPath(const std::u16string& path);

// The folder that holds `path` ("." for a bare name, "/" for a name in
// the root) and the last name in it, for calls made relative to a folder.
struct FolderAndName {
  std::u16string folder;
  std::u16string name;
};
FolderAndName SplitFolder(const std::u16string& path);

// True when the name exists; a symbolic link counts itself.
bool EntryExists(const std::u16string& path);
// True when the path names something, links followed.
bool Exists(const std::u16string& path);
// The size of the regular file `path` names (links followed), looked at
// without opening it, so that a FIFO or a device cannot block or be read:
// otherwise the system's reason, EISDIR for a folder, NotRegularFile().
SysResult<uint64_t> RegularFileSize(const std::u16string& path);

// A file name without wildcards: `prefix`, then any run of characters
// (also none) when `anyMiddle`, then `suffix`. Every character of a data
// file's name, '*', '?' and '[' included, stands for itself.
struct NameRule {
  std::u16string prefix;
  std::u16string suffix;
  bool anyMiddle = false;
  bool Matches(std::u16string_view name) const;
};

// Whether `name` is one name inside a folder: not empty, "." or "..", and
// without a '/' or a NUL.
bool IsOneName(std::u16string_view name);

}  // namespace prt::platform
