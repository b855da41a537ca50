#pragma once
// Process set-up, and what the process is.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace prt::platform {

// Made first thing, before anything is written:
// - standard output gets its line buffer from static storage, so that no
//   allocation after the workers' frees has the allocator tidy up first;
// - the allocator keeps 16 MiB of slack when it grows or trims its heap,
//   so memory one document's compilation frees is not faulted in again;
// - the heap is advised to be made of huge pages (fewer page faults and
//   TLB misses for the compiler);
// - SIGXFSZ and SIGPIPE are ignored: a write past the file-size limit or
//   to a closed pipe fails with a reason instead of ending the process;
// - a test's fault rule (FaultSeam.h) is armed.
void PrepareProcess();
// A library's start-up code can leave the upper halves of the AVX registers
// in use (the QML library does); until they are cleared, every SSE
// instruction of this thread pays a transition penalty. Threads started
// later inherit the cleared state.
void ClearUpperVectorState();
// Called first on a thread that allocates much: its own heap is advised to
// be made of huge pages too.
void PrepareThreadHeap();

// Who runs this process, and the permission bits a file it creates gets
// (0666 less the umask, read once while the process starts).
uint32_t RunningUser();
uint32_t FreshFileMode();

// Whether the environment variable `name` is set to exactly "0", or "1".
bool SwitchedOff(const char* name);
bool SwitchedOn(const char* name);
// The value of the environment variable `name`; none when it is unset.
std::optional<std::string> EnvironmentValue(const char* name);

// Has the system write every modified file out to its disk and waits for
// it, so that a measurement that follows starts with nothing pending.
void FlushFileSystems();

// For progress shown as one line that is rewritten in place.
bool StandardErrorIsTerminal();

// Gives the whole memory pages inside [data, data + size) back to the
// system; what they held is lost. For the unused capacity of a buffer that
// was filled once and then cut.
void DiscardPages(void* data, size_t size);

}  // namespace prt::platform
