#include "generator/XorCrypt.h"

namespace prt {

namespace {

constexpr int32_t kMul1 = 40014;
constexpr int32_t kQuot1 = 53668;
constexpr int32_t kMod1 = 2147483563;
constexpr int32_t kMul2 = 40692;
constexpr int32_t kQuot2 = 52774;
constexpr int32_t kMod2 = 2147483399;
constexpr int32_t kOffset = 2147483562;

// One Schrage step. The products wrap, so they are formed in uint32_t
// (signed overflow would be undefined) and read back as signed.
int32_t Step(int32_t state, int32_t mul, int32_t quot, int32_t mod) {
  const int32_t k = state / quot;
  int32_t next = static_cast<int32_t>(static_cast<uint32_t>(state) * static_cast<uint32_t>(mul) -
                                      static_cast<uint32_t>(k) * static_cast<uint32_t>(mod));
  if (next < 0) next = static_cast<int32_t>(static_cast<uint32_t>(next) + static_cast<uint32_t>(mod));
  return next;
}

}  // namespace

void CXorCrypt::SetSeed(uint32_t seed1, uint32_t seed2) {
  state1_ = static_cast<int32_t>(seed1);
  state2_ = static_cast<int32_t>(seed2);
}

int32_t CXorCrypt::NextValue() {
  state1_ = Step(state1_, kMul1, kQuot1, kMod1);
  state2_ = Step(state2_, kMul2, kQuot2, kMod2);
  int32_t z = static_cast<int32_t>(static_cast<uint32_t>(state1_) - static_cast<uint32_t>(state2_));
  if (z < 1) z = static_cast<int32_t>(static_cast<uint32_t>(z) + static_cast<uint32_t>(kOffset));
  return z;
}

void CXorCrypt::XorWords(uint32_t* words, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    if (words == nullptr) continue;
    *words ^= static_cast<uint32_t>(NextValue());
    ++words;
  }
}

}  // namespace prt
