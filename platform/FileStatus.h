#pragma once
// The outcome of one step of the run on one file. A file that cannot be
// read or written fails the run; its top level prints the line naming the
// file and the system's reason.
#include <string>
#include <system_error>
#include <utility>

#include "platform/Text.h"

namespace prt {

struct FileStatus {
  bool ok = true;
  std::u16string path;    // the file that failed
  std::error_code error;  // the system's reason; none for a failure already reported where it arose
  bool reading = false;   // the failed step read the file rather than wrote it
  std::string notes;      // fixed lines the step leaves for the run to print first (standard error)

  static FileStatus Failed(std::u16string path, std::error_code error, bool reading = false) {
    return {false, std::move(path), error, reading, {}};
  }
};

// "prt2qml: cannot write '<path>': <reason>"; empty when there is nothing
// more to say.
inline std::string FaultLine(const FileStatus& status) {
  if (status.ok || !status.error) return {};
  return std::string("prt2qml: cannot ") + (status.reading ? "read '" : "write '") +
         platform::ToPath(status.path).string() + "': " + status.error.message();
}

}  // namespace prt
