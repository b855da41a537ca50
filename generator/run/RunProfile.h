#pragma once
// Optional timing of one generation run, for the benchmark. The run and the
// workers record into the installed profile only when one is installed;
// each worker writes only its own slot, read after the join.
#include <chrono>
#include <cstdint>

namespace prt {

struct WorkerProfile {
  double compileSeconds = 0;
  double encryptSeconds = 0;
  double wallSeconds = 0;
  uint32_t files = 0;
  uint32_t load = 0;  // sum of the share's text lengths
};

struct RunProfile {
  double collectSeconds = 0;   // building the control trees
  double generateSeconds = 0;  // writing the text into the stream
  double saveSeconds = 0;      // writing the .qml files
  double cacheSeconds = 0;     // both workers, wall time
  double moveSeconds = 0;      // files to disk, then the staging folder into place
  WorkerProfile workers[2];
};

// Not thread-safe: install before a run, remove after it.
void SetRunProfile(RunProfile* profile);
RunProfile* ActiveRunProfile();

// Seconds since `start`, on the monotonic clock.
inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace prt
