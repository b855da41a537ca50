#include "convert/WorkerPair.h"

#include <system_error>

#include "platform/Process.h"

namespace prt {

WorkerPair::~WorkerPair() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

platform::SysStatus WorkerPair::Start() {
  try {
    thread_ = std::thread([this] { Serve(); });
  } catch (const std::system_error& e) {
    return Fail(platform::SystemError{.op = platform::Op::StartThread, .code = e.code()});
  }
  return {};
}

void WorkerPair::RunOnBoth(const std::function<void(int slot)>& work) {
  {
    std::lock_guard lock(mutex_);
    work_ = &work;
    finished_ = false;
    ++round_;
  }
  wake_.notify_one();
  work(0);
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return finished_; });
  work_ = nullptr;
}

void WorkerPair::Serve() {
  platform::PrepareThreadHeap();
  uint64_t served = 0;
  for (;;) {
    const std::function<void(int)>* work = nullptr;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stop_ || round_ != served; });
      if (stop_) return;
      served = round_;
      work = work_;
    }
    (*work)(1);
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    done_.notify_one();
  }
}

}  // namespace prt
