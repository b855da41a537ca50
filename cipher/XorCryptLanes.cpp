#include "cipher/XorCryptLanes.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PRT_KEYSTREAM_AVX2 1
#include <immintrin.h>
#endif

namespace prt::lanes {

namespace {

// For a state in [0, mod) a Schrage step is exactly mul * state mod mod, so
// k steps are one multiplication by mul^k mod mod. Both moduli are 2^31 - c
// with a small c, which lets the 62-bit product be folded without a division.
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

uint32_t Combine(uint32_t s1, uint32_t s2) {
  // Both states in range: the difference fits in 32 signed bits.
  int64_t z = static_cast<int64_t>(s1) - static_cast<int64_t>(s2);
  if (z < 1) z += kOffset;
  return static_cast<uint32_t>(z);
}

void RunLanesPortable(LaneStates& lanes, uint32_t* out, uint32_t rounds) {
  uint64_t l1[kLanes];
  uint64_t l2[kLanes];
  for (int j = 0; j < kLanes; ++j) {
    l1[j] = lanes.s1[j];
    l2[j] = lanes.s2[j];
  }
  for (uint32_t r = 0;; ++r, out += kLanes) {
    for (int j = 0; j < kLanes; ++j) out[j] = Combine(static_cast<uint32_t>(l1[j]), static_cast<uint32_t>(l2[j]));
    if (r + 1 == rounds) break;
    for (int j = 0; j < kLanes; ++j) {
      l1[j] = kGen1.MulMod(kGen1.jump, l1[j]);
      l2[j] = kGen2.MulMod(kGen2.jump, l2[j]);
    }
  }
  for (int j = 0; j < kLanes; ++j) {
    lanes.s1[j] = static_cast<uint32_t>(l1[j]);
    lanes.s2[j] = static_cast<uint32_t>(l2[j]);
  }
}

#if defined(PRT_KEYSTREAM_AVX2)

// The same fold on four 64-bit lanes; only the low half of each lane of
// `state` is read, and the result is in the low half, the high half zero.
inline __attribute__((target("avx2"), always_inline)) __m256i MulModLow(__m256i a, __m256i state, __m256i fold, __m256i mod) {
  const __m256i low31 = _mm256_set1_epi64x(0x7FFFFFFF);
  __m256i x = _mm256_mul_epu32(a, state);
  x = _mm256_add_epi64(_mm256_and_si256(x, low31), _mm256_mul_epu32(_mm256_srli_epi64(x, 31), fold));
  x = _mm256_add_epi64(_mm256_and_si256(x, low31), _mm256_mul_epu32(_mm256_srli_epi64(x, 31), fold));
  // x < 2^32: x - mod wraps above x exactly when x < mod, so the smaller of
  // the two 32-bit values is x mod mod.
  return _mm256_min_epu32(x, _mm256_sub_epi32(x, mod));
}

// Eight 32-bit states: the even lanes and the odd lanes each take one
// 64-bit pass, then are put back side by side.
inline __attribute__((target("avx2"), always_inline)) __m256i Advance(__m256i states, __m256i jump, __m256i fold, __m256i mod) {
  const __m256i even = MulModLow(jump, states, fold, mod);
  const __m256i odd = MulModLow(jump, _mm256_srli_epi64(states, 32), fold, mod);
  return _mm256_blend_epi32(even, _mm256_slli_epi64(odd, 32), 0xAA);
}

__attribute__((target("avx2"))) void RunLanesAvx2(LaneStates& lanes, uint32_t* out, uint32_t rounds) {
  const __m256i jump1 = _mm256_set1_epi64x(static_cast<int64_t>(kGen1.jump));
  const __m256i fold1 = _mm256_set1_epi64x(static_cast<int64_t>(kGen1.fold));
  const __m256i mod1 = _mm256_set1_epi64x(static_cast<int64_t>(kGen1.mod));
  const __m256i jump2 = _mm256_set1_epi64x(static_cast<int64_t>(kGen2.jump));
  const __m256i fold2 = _mm256_set1_epi64x(static_cast<int64_t>(kGen2.fold));
  const __m256i mod2 = _mm256_set1_epi64x(static_cast<int64_t>(kGen2.mod));
  const __m256i one = _mm256_set1_epi32(1);
  const __m256i offset = _mm256_set1_epi32(kOffset);
  __m256i s1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes.s1));
  __m256i s2 = _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes.s2));
  for (uint32_t r = 0;; ++r, out += kLanes) {
    // z = s1 - s2, plus the offset where z < 1: all within 32 signed bits.
    const __m256i z = _mm256_sub_epi32(s1, s2);
    const __m256i low = _mm256_cmpgt_epi32(one, z);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_add_epi32(z, _mm256_and_si256(low, offset)));
    if (r + 1 == rounds) break;
    s1 = Advance(s1, jump1, fold1, mod1);
    s2 = Advance(s2, jump2, fold2, mod2);
  }
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes.s1), s1);
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes.s2), s2);
}

#endif

}  // namespace

LaneStates StartLanes(uint32_t s1, uint32_t s2) {
  LaneStates lanes;
  uint64_t a = s1;
  uint64_t b = s2;
  for (int j = 0; j < kLanes; ++j) {
    a = kGen1.MulMod(kGen1.mul, a);
    b = kGen2.MulMod(kGen2.mul, b);
    lanes.s1[j] = static_cast<uint32_t>(a);
    lanes.s2[j] = static_cast<uint32_t>(b);
  }
  return lanes;
}

bool VectorLanesAvailable() {
#if defined(PRT_KEYSTREAM_AVX2)
  static const bool available = __builtin_cpu_supports("avx2");
  return available;
#else
  return false;
#endif
}

void RunLanes(LaneStates& lanes, uint32_t* out, uint32_t rounds, bool vector) {
#if defined(PRT_KEYSTREAM_AVX2)
  if (vector && VectorLanesAvailable()) {
    RunLanesAvx2(lanes, out, rounds);
    return;
  }
#endif
  (void)vector;
  RunLanesPortable(lanes, out, rounds);
}

}  // namespace prt::lanes
