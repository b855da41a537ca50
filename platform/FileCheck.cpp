#include "platform/FileCheck.h"

#include <sys/stat.h>

#include <cerrno>
#include <system_error>

#include "platform/Text.h"

namespace prt::platform {

std::string SystemReason(int errorNumber) { return std::generic_category().message(errorNumber); }

FileCheck CheckRegularFile(const std::u16string& path) {
  struct stat st {};
  if (::stat(NarrowPath(path).c_str(), &st) != 0) return {FileKind::NotFound, SystemReason(errno)};
  if (S_ISREG(st.st_mode)) return {FileKind::Regular, {}, static_cast<uint64_t>(st.st_size)};
  return {FileKind::NotRegular, S_ISDIR(st.st_mode) ? SystemReason(EISDIR) : "not a regular file"};
}

}  // namespace prt::platform
