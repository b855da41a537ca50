#pragma once
// The run's parallel stages on two threads: the calling one and one more,
// started once for the run. In each stage both threads take the next item
// from a shared counter until none is left or the stage is stopped.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/SystemError.h"

namespace prt {

// Calls `body(i)` for every index taken from `next` below `count`, until
// none is left or `stopped` is set.
template <typename Body>
void ClaimEach(std::atomic<size_t>& next, size_t count, const std::atomic<bool>& stopped, Body&& body) {
  for (size_t i = next++; i < count && !stopped.load(std::memory_order_relaxed); i = next++) body(i);
}

class WorkerPair {
 public:
  WorkerPair() = default;
  // Joins the second thread.
  ~WorkerPair();
  WorkerPair(const WorkerPair&) = delete;
  WorkerPair& operator=(const WorkerPair&) = delete;

  // Starts the second thread; its heap is prepared as the process's was.
  platform::SysStatus Start();
  // Runs `work(slot)` on this thread (slot 0) and the second one (slot 1),
  // and returns when both are done. `work` must not throw.
  void RunOnBoth(const std::function<void(int slot)>& work);

 private:
  void Serve();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  const std::function<void(int)>* work_ = nullptr;  // the stage under way
  uint64_t round_ = 0;                                // stages handed out
  bool finished_ = true;                              // the second thread's part of the last one
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace prt
