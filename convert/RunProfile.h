#pragma once
// Optional timing of one conversion run, for the benchmark. The run and the
// workers record into the installed profile only when one is installed;
// each worker writes only its own slot, read after the join.
#include <chrono>
#include <cstdint>
#include <functional>

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
  // Called once the data set is loaded, before anything is generated.
  std::function<void()> afterLoad;
  std::chrono::steady_clock::time_point origin;  // the documents' start
  double loadSeconds = 0;        // the working copy and the data set
  double generationSeconds = 0;  // from the staging folder to the publish
  double collectSeconds = 0;     // checking the control trees and planning the files
  double filesSeconds = 0;       // from the plan until both workers are done
  double moveSeconds = 0;        // files to disk, then the staging folder into place
  WorkerProfile workers[2];      // 0: the run's own thread, 1: the extra thread
};

// Not thread-safe: install before a run, remove after it.
void SetRunProfile(RunProfile* profile);
RunProfile* ActiveRunProfile();

// Seconds since `start`, on the monotonic clock.
inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Adds the seconds of its life to `*figure`; nothing, not even the clock,
// without one.
class ScopedTimer {
 public:
  explicit ScopedTimer(double* figure) : figure_(figure) {
    if (figure_) start_ = std::chrono::steady_clock::now();
  }
  ~ScopedTimer() {
    if (figure_) *figure_ += SecondsSince(start_);
  }
  ScopedTimer(const ScopedTimer&) = delete;
  ScopedTimer& operator=(const ScopedTimer&) = delete;

 private:
  double* figure_;
  std::chrono::steady_clock::time_point start_;
};

// The figure of the active run's worker `slot`, or null without a profile.
inline double* WorkerFigure(int slot, double WorkerProfile::*figure) {
  RunProfile* run = ActiveRunProfile();
  return run ? &(run->workers[slot].*figure) : nullptr;
}
inline double* RunFigure(double RunProfile::*figure) {
  RunProfile* run = ActiveRunProfile();
  return run ? &(run->*figure) : nullptr;
}

}  // namespace prt
