#include "platform/FaultSeam.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace prt::platform {

namespace detail {
std::atomic<bool> faultArmed{false};
}  // namespace detail

namespace {

struct FaultRule {
  FaultOp op = FaultOp::Write;
  uint32_t nth = 1;     // the first matching call is 1
  int error = 0;        // an errno value
  std::string inPath;   // empty: any path
};

struct Named {
  const char* name;
  int value;
};
constexpr std::array kOps{Named{"open", 0}, Named{"write", 1}, Named{"sync", 2}, Named{"rename", 3}, Named{"link", 4}};
constexpr std::array kErrors{Named{"ENOSPC", ENOSPC}, Named{"EIO", EIO},       Named{"EDQUOT", EDQUOT},
                             Named{"EFBIG", EFBIG},   Named{"EACCES", EACCES}, Named{"EPERM", EPERM},
                             Named{"EROFS", EROFS},   Named{"EXDEV", EXDEV},   Named{"EMFILE", EMFILE}};

template <size_t N>
std::optional<int> Lookup(const std::array<Named, N>& table, std::string_view name) {
  for (const Named& entry : table)
    if (name == entry.name) return entry.value;
  return std::nullopt;
}

std::mutex stateMutex;
FaultRule armed;
uint32_t seen = 0;
int pendingWriteError = 0;  // the write after a short one fails

std::string PathOf(int fd) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char target[4096];
  const ssize_t n = ::readlink(link, target, sizeof target);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

// nullopt when the text is not a rule.
std::optional<FaultRule> ParseFaultRule(std::string_view text) {
  std::string_view fields[4];
  size_t count = 0;
  while (count < 4) {
    const size_t comma = count < 3 ? text.find(',') : std::string_view::npos;
    fields[count++] = text.substr(0, comma);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (count < 3) return std::nullopt;
  const auto op = Lookup(kOps, fields[0]);
  const auto error = Lookup(kErrors, fields[2]);
  uint32_t nth = 0;
  const auto [end, ec] = std::from_chars(fields[1].data(), fields[1].data() + fields[1].size(), nth);
  if (!op || !error || ec != std::errc() || end != fields[1].data() + fields[1].size() || nth == 0)
    return std::nullopt;
  return FaultRule{static_cast<FaultOp>(*op), nth, *error, std::string(fields[3])};
}

}  // namespace

void ArmFaultFromEnvironment() {
  const char* text = std::getenv("PRT2QML_TEST_FAULT");
  if (text == nullptr) return;
  const std::optional<FaultRule> rule = ParseFaultRule(text);
  if (!rule) {
    std::fprintf(stderr, "PRT2QML_TEST_FAULT is not a rule: %s\n", text);
    return;
  }
  std::lock_guard lock(stateMutex);
  armed = *rule;
  seen = 0;
  pendingWriteError = 0;
  detail::faultArmed = true;
}

int detail::Fault(FaultOp op, const char* path, int fd, size_t* size) {
  std::lock_guard lock(stateMutex);
  if (op == FaultOp::Write && pendingWriteError != 0) return std::exchange(pendingWriteError, 0);
  if (op != armed.op || seen >= armed.nth) return 0;
  if (!armed.inPath.empty() && (path ? std::string(path) : PathOf(fd)).find(armed.inPath) == std::string::npos)
    return 0;
  if (++seen < armed.nth) return 0;
  if (size != nullptr && *size > 1) {
    *size /= 2;
    pendingWriteError = armed.error;
    return 0;
  }
  return armed.error;
}

}  // namespace prt::platform
