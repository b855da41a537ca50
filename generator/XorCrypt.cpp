#include "generator/XorCrypt.h"

#include <array>
#include <cstddef>

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

uint32_t Combine(uint32_t s1, uint32_t s2) {
  // Both states in range: the difference fits in 32 signed bits.
  int64_t z = static_cast<int64_t>(s1) - static_cast<int64_t>(s2);
  if (z < 1) z += kOffset;
  return static_cast<uint32_t>(z);
}

// For a state in [0, mod) a Schrage step is exactly mul * state mod mod, so
// k steps are one multiplication by mul^k mod mod. Both moduli are 2^31 - c
// with a small c, which lets the 62-bit product be folded without a division.
constexpr int kLanes = 8;

struct Generator {
  uint64_t mod;
  uint64_t fold;  // 2^31 - mod
  uint64_t mul;
  uint64_t jump;  // mul^kLanes mod mod

  constexpr uint64_t MulMod(uint64_t a, uint64_t state) const {
    uint64_t x = a * state;                     // < 2^62
    x = (x & 0x7FFFFFFFu) + (x >> 31) * fold;  // < 2^40
    x = (x & 0x7FFFFFFFu) + (x >> 31) * fold;  // < 2^31 + 2^18 < 2 * mod
    return x >= mod ? x - mod : x;
  }
};

constexpr Generator MakeGenerator(int32_t mod, int32_t mul) {
  Generator g{static_cast<uint64_t>(mod), (uint64_t{1} << 31) - static_cast<uint64_t>(mod),
              static_cast<uint64_t>(mul), 1};
  for (int i = 0; i < kLanes; ++i) g.jump = g.MulMod(g.jump, g.mul);
  return g;
}

constexpr Generator kGen1 = MakeGenerator(kMod1, kMul1);
constexpr Generator kGen2 = MakeGenerator(kMod2, kMul2);

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
  if (count - i >= kLanes) {
    // Lane j holds the state j + 1 steps ahead; every round moves all lanes
    // kLanes steps on. The lanes are independent, so they run side by side.
    std::array<uint64_t, kLanes> lane1{};
    std::array<uint64_t, kLanes> lane2{};
    uint64_t s1 = static_cast<uint64_t>(state1_);
    uint64_t s2 = static_cast<uint64_t>(state2_);
    for (int j = 0; j < kLanes; ++j) {
      s1 = kGen1.MulMod(kGen1.mul, s1);
      s2 = kGen2.MulMod(kGen2.mul, s2);
      lane1[static_cast<size_t>(j)] = s1;
      lane2[static_cast<size_t>(j)] = s2;
    }
    for (; count - i >= kLanes; i += kLanes) {
      for (size_t j = 0; j < kLanes; ++j) {
        out[i + j] = Combine(static_cast<uint32_t>(lane1[j]), static_cast<uint32_t>(lane2[j]));
        s1 = lane1[j];
        s2 = lane2[j];
        lane1[j] = kGen1.MulMod(kGen1.jump, lane1[j]);
        lane2[j] = kGen2.MulMod(kGen2.jump, lane2[j]);
      }
    }
    state1_ = static_cast<int32_t>(s1);
    state2_ = static_cast<int32_t>(s2);
  }
  for (; i < count; ++i) out[i] = static_cast<uint32_t>(NextValue());
}

void CXorCrypt::XorWords(uint32_t* words, uint32_t count) {
  if (words == nullptr) return;
  uint32_t block[256];
  while (count > 0) {
    const uint32_t n = count < 256 ? count : 256;
    NextValues(block, n);
    for (uint32_t i = 0; i < n; ++i) words[i] ^= block[i];
    words += n;
    count -= n;
  }
}

}  // namespace prt
