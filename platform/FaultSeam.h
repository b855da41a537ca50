#pragma once
// A seam for the tests, in the manner of a test file system: the Nth open,
// write, sync, rename or link whose path holds a given text fails with a chosen
// error, so that full disks and I/O errors can be tried without root or
// mounts. Every such call of platform/ asks it first.
//
// It is inert unless a test arms it through the environment variable
// PRT2QML_TEST_FAULT, which only the tests set and PrepareProcess reads once:
//   <open|write|sync|rename|link>,<n>,<errno name>[,<text in the path>]
// e.g. "write,1,ENOSPC,.qmlc": the first write to a file whose path holds
// ".qmlc" fails with ENOSPC. A failing write of more than one byte first
// writes half of them and answers the short count, as a filling disk does;
// the next write (for the rest) gets the error.
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace prt::platform {

enum class FaultOp : uint8_t { Open, Write, Sync, Rename, Link };

// Arms the rule of PRT2QML_TEST_FAULT when it is set; says on standard
// error when it is not a rule.
void ArmFaultFromEnvironment();

namespace detail {
extern std::atomic<bool> faultArmed;
int Fault(FaultOp op, const char* path, int fd, size_t* size);
}  // namespace detail

inline bool FaultArmed() { return detail::faultArmed.load(std::memory_order_relaxed); }

// 0, or the errno this call is to fail with. `path` names the file, or else
// `fd` does; a write passes its `size`, which may be cut to half.
inline int InjectedFault(FaultOp op, const char* path, int fd = -1, size_t* size = nullptr) {
  if (!FaultArmed()) return 0;
  return detail::Fault(op, path, fd, size);
}

}  // namespace prt::platform
