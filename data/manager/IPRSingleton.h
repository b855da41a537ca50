#pragma once
#include <cstdint>

namespace prt {

// Base of the process-wide services. InitializeOnce runs Initialize only
// while the flag is 0 and keeps its result, so a failure is retried.
class IPRSingleton {
 public:
  virtual bool Initialize() = 0;
  virtual void Uninitialize() = 0;
  virtual ~IPRSingleton() = default;

  bool InitializeOnce() {
    if (initialised_ != 0) return true;
    initialised_ = 1;
    initialised_ = Initialize() ? 1 : 0;
    return initialised_ != 0;
  }
  bool IsInitialisedFlag() const { return initialised_ != 0; }

 protected:
  uint8_t initialised_ = 0;
};

}  // namespace prt
