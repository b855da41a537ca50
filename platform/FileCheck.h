#pragma once
// Looks at what a path names before anything is opened or created for it.
#include <cstdint>
#include <string>

namespace prt::platform {

enum class FileKind { Regular, NotFound, NotRegular };
struct FileCheck {
  FileKind kind;
  std::string reason;  // the system's text when not Regular
  uint64_t size = 0;   // of a regular file
};
// Follows links, as an open would; never opens the file, so a FIFO or a
// device cannot block or be read.
FileCheck CheckRegularFile(const std::u16string& path);

// The system's text for an errno value ("No such file or directory").
std::string SystemReason(int errorNumber);

}  // namespace prt::platform
