#pragma once
// Optional timing of one generation run, for the benchmark. The run and the
// workers record into the installed profile only when one is installed;
// each worker writes only its own slot, read after the join.
#include <chrono>
#include <cstdint>

namespace prt {

struct WorkerProfile {
  double rebuildSeconds = 0;   // building each tree before its document
  double generateSeconds = 0;  // writing the text into the stream
  double saveSeconds = 0;      // writing the .qml files
  double releaseSeconds = 0;   // freeing each tree after its document
  double compileSeconds = 0;
  double encryptSeconds = 0;
  double startSeconds = 0;  // since the run's origin
  double endSeconds = 0;    // since the run's origin
  uint32_t files = 0;
  uint32_t load = 0;  // sum of the text lengths it wrote
};

struct RunProfile {
  std::chrono::steady_clock::time_point origin;  // the run's start
  double collectSeconds = 0;  // building the control trees and planning the files
  double filesSeconds = 0;    // from the plan until both workers are done
  double moveSeconds = 0;     // files to disk, then the staging folder into place
  WorkerProfile workers[2];   // 0: the run's own thread, 1: the extra thread
};

// Not thread-safe: install before a run, remove after it.
void SetRunProfile(RunProfile* profile);
RunProfile* ActiveRunProfile();

// Seconds since `start`, on the monotonic clock.
inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace prt
