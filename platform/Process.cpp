#include "platform/Process.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/ByteBlock.h"
#include "platform/FaultSeam.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace prt::platform {

namespace {

// The umask can only be read by setting it: that is done here, during
// static initialisation, while the process has one thread.
const uint32_t runningUser = ::geteuid();
const uint32_t freshFileMode = [] {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666u & ~static_cast<uint32_t>(mask);
}();

// The C library gives a thread's own arena heaps of this size, each aligned
// to it; were that to change, the advice would only miss.
constexpr uintptr_t kArenaHeap = uintptr_t{64} << 20;
uintptr_t mainHeapBegin = 0, mainHeapEnd = 0;

void AdviseHugePages(uintptr_t begin, uintptr_t end) {
  begin = (begin + kHugePage - 1) & ~(kHugePage - 1);
  end &= ~(kHugePage - 1);
  if (begin < end) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace

uint32_t RunningUser() { return runningUser; }

uint32_t FreshFileMode() { return freshFileMode; }

void PrepareProcess() {
  static char buffer[BUFSIZ];
  std::setvbuf(stdout, buffer, _IOLBF, sizeof buffer);
#if defined(__GLIBC__)
  mallopt(M_TOP_PAD, 16 << 20);
  if (void* grow = std::malloc(size_t{64} << 10)) {
    std::free(grow);
    mainHeapEnd = reinterpret_cast<uintptr_t>(::sbrk(0));
    mainHeapBegin = mainHeapEnd - mallinfo2().arena;
    AdviseHugePages(mainHeapBegin, mainHeapEnd);
  }
#endif
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  ArmFaultFromEnvironment();
}

void ClearUpperVectorState() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  if (__builtin_cpu_supports("avx")) {
    __asm__ volatile("vzeroupper" ::: "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8",
                     "xmm9", "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15");
  }
#endif
}

void PrepareThreadHeap() {
#if defined(__GLIBC__)
  void* probe = std::malloc(64);
  const auto at = reinterpret_cast<uintptr_t>(probe);
  if (probe && (at < mainHeapBegin || at >= mainHeapEnd)) {
    const uintptr_t heap = at & ~(kArenaHeap - 1);
    ::madvise(reinterpret_cast<void*>(heap), kArenaHeap, MADV_HUGEPAGE);
  }
  std::free(probe);
#endif
}

bool SwitchedOff(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && std::strcmp(value, "0") == 0;
}

bool SwitchedOn(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && std::strcmp(value, "1") == 0;
}

std::optional<std::string> EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void FlushFileSystems() { ::sync(); }

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void DiscardPages(void* data, size_t size) {
  const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto begin = (reinterpret_cast<uintptr_t>(data) + page - 1) / page * page;
  const auto end = (reinterpret_cast<uintptr_t>(data) + size) / page * page;
  if (begin < end) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
}

}  // namespace prt::platform
