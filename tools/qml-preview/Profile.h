#pragma once
// Where a drawing process's time goes, by step, summed over its documents;
// printed on standard error when it ends with QML_PREVIEW_PROFILE set.
// Processor time of the whole process, so that other programs on a shared
// machine do not count; a clock read per step.
#include <time.h>

#include <array>
#include <cstdio>
#include <cstdlib>

namespace prt::preview {

enum class Step { Start, Read, Compile, Create, Controls, Render, Release, Png, Thumbnail, Page, Sheet, Count };
inline constexpr const char* kStepNames[] = {"start",   "read",    "compile",   "create", "controls", "render",
                                             "release", "png", "thumbnail", "page",   "sheet"};

struct Profile {
  std::array<double, static_cast<size_t>(Step::Count)> seconds{};
  static Profile& Of() {
    static Profile profile;
    return profile;
  }
  // One line per step: "profile <step> <seconds>", on standard error.
  void Print(int documents) const {
    if (std::getenv("QML_PREVIEW_PROFILE") == nullptr) return;
    std::fprintf(stderr, "profile documents %d\n", documents);
    for (size_t i = 0; i < seconds.size(); ++i) std::fprintf(stderr, "profile %s %.6f\n", kStepNames[i], seconds[i]);
  }
};

// Adds the time from its making to its end (or to Next) to a step.
class Timed {
 public:
  explicit Timed(Step step) : step(step), start(Now()) {}
  ~Timed() { Next(Step::Count); }
  // Ends this step and starts `next`.
  void Next(Step next) {
    const double now = Now();
    if (step != Step::Count) Profile::Of().seconds[static_cast<size_t>(step)] += now - start;
    step = next;
    start = now;
  }

 private:
  static double Now() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
  }

  Step step;
  double start;
};

}  // namespace prt::preview
