#include "platform/DurableFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace prt::platform {

namespace {

std::error_code Errno() { return ErrnoError(errno); }

}  // namespace

std::error_code WriteFileDurably(const std::u16string& path, std::string_view data) {
  static std::atomic<unsigned> serial = 0;
  const std::string target = NarrowPath(path);
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  const std::string temporary = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + "." +
                                target.substr(slash + 1) + "." + std::to_string(::getpid()) + "." +
                                std::to_string(serial++) + ".tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return Errno();
  std::error_code ec;
  for (size_t done = 0; !ec && done < data.size();) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno != EINTR) ec = Errno();
    if (n > 0) done += static_cast<size_t>(n);
  }
  if (!ec && ::fsync(fd) != 0) ec = Errno();
  if (::close(fd) != 0 && !ec) ec = Errno();
  if (!ec && ::rename(temporary.c_str(), target.c_str()) != 0) ec = Errno();
  if (ec) {
    ::unlink(temporary.c_str());
    return ec;
  }
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return Errno();
  if (::fsync(dir) != 0) ec = Errno();
  ::close(dir);
  return ec;
}

}  // namespace prt::platform
