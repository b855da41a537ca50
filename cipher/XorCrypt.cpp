#include "cipher/XorCrypt.h"

#include "cipher/XorCryptLanes.h"

namespace prt {

namespace {

using lanes::kMod1;
using lanes::kMod2;
using lanes::kMul1;
using lanes::kMul2;
using lanes::kOffset;

constexpr int32_t kQuot1 = 53668;
constexpr int32_t kQuot2 = 52774;

// One Schrage step. The products wrap, so they are formed in uint32_t
// (signed overflow would be undefined) and read back as signed.
int32_t Step(int32_t state, int32_t mul, int32_t quot, int32_t mod) {
  const int32_t k = state / quot;
  int32_t next = static_cast<int32_t>(static_cast<uint32_t>(state) * static_cast<uint32_t>(mul) -
                                      static_cast<uint32_t>(k) * static_cast<uint32_t>(mod));
  if (next < 0) next = static_cast<int32_t>(static_cast<uint32_t>(next) + static_cast<uint32_t>(mod));
  return next;
}

bool InRange(int32_t state, int32_t mod) { return state >= 0 && state < mod; }

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

void CXorCrypt::NextValues(uint32_t* out, uint32_t count) {
  uint32_t i = 0;
  // A seed outside the range takes one Schrage step, which brings it in.
  while (i < count && !(InRange(state1_, kMod1) && InRange(state2_, kMod2))) {
    out[i++] = static_cast<uint32_t>(NextValue());
  }
  if (const uint32_t rounds = (count - i) / lanes::kLanes; rounds > 0) {
    lanes::LaneStates states =
        lanes::StartLanes(static_cast<uint32_t>(state1_), static_cast<uint32_t>(state2_));
    lanes::RunLanes(states, out + i, rounds, true);
    i += rounds * lanes::kLanes;
    state1_ = static_cast<int32_t>(states.s1[lanes::kLanes - 1]);
    state2_ = static_cast<int32_t>(states.s2[lanes::kLanes - 1]);
  }
  for (; i < count; ++i) out[i] = static_cast<uint32_t>(NextValue());
}

}  // namespace prt
