#pragma once
// A system call that failed: what was asked, on which path, and the
// system's reason. Every call of platform/ that can fail answers one.
#include <cstdint>
#include <string>
#include <system_error>

#include "platform/Error.h"

namespace prt::platform {

// What was asked of the system. Several name steps a caller reports in the
// file-system library's words ("cannot rename"); the edge keeps those.
enum class Op : uint8_t {
  Open,        // a file, to read or write it
  Read,
  Write,       // also creating a file and putting it in place
  Stat,
  List,        // listing a folder's entries
  OpenFolder,
  MakeFolder,
  Remove,      // an entry, a folder with everything in it
  Rename,
  Exchange,    // two entries swapped in one step
  MoveAside,   // an entry moved to a free name beside it
  Link,
  CopyFile,
  Sync,
  Lock,
  StartThread,
};

struct SystemError {
  Op op = Op::Open;
  std::u16string path;   // as the call was given it: a name inside a held folder, or a path
  std::error_code code;
  std::u16string other;  // the second path of a rename, link or copy

  std::string Reason() const { return code.message(); }
  // The same error shown on other paths: the caller knows the texts the
  // user gave, the call only the name it was handed.
  SystemError On(std::u16string shown, std::u16string shownOther = {}) const {
    return {op, std::move(shown), code, std::move(shownOther)};
  }
};

template <typename T>
using SysResult = Expected<T, SystemError>;
using SysStatus = Expected<void, SystemError>;

// Where a file is expected, a FIFO, socket or device fails at once with
// NotRegularFile() (a folder with EISDIR), instead of blocking the open or
// a later read: ENXIO with the text "not a regular file"; it compares equal
// to std::errc::no_such_device_or_address.
std::error_code NotRegularFile();
// A link where the run's own file or folder is (ELOOP): "a symbolic link,
// not followed".
std::error_code LinkNotFollowed();
// A name that is empty, "." or "..", or holds a '/' or a NUL, where one name
// inside a folder is taken (EINVAL): "not a single name inside the folder".
std::error_code NotOneName();
// An errno value as these calls report it (ENXIO as NotRegularFile()).
std::error_code ErrnoError(int error);
// The system's text for an errno value ("No such file or directory").
std::string SystemReason(int errorNumber);

}  // namespace prt::platform
