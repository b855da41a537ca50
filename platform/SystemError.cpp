#include "platform/SystemError.h"

#include <cerrno>

namespace prt::platform {

namespace {

// The errors of a file of the wrong kind, in words that say so.
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

std::error_code ErrnoError(int error) {
  return error == ENXIO ? NotRegularFile() : std::error_code(error, std::generic_category());
}

std::string SystemReason(int errorNumber) { return std::generic_category().message(errorNumber); }

}  // namespace prt::platform
