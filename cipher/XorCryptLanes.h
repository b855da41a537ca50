#pragma once
// The keystream's batched core, shared by CXorCrypt and its tests: eight
// lanes, lane j one step behind lane j + 1, each moved eight steps a round
// by one multiplication modulo the generator's modulus.
#include <cstdint>

namespace prt::lanes {

// The generator's parameters: two multiplicative LCGs and the offset that
// keeps their combined value positive.
inline constexpr int32_t kMul1 = 40014;
inline constexpr int32_t kMod1 = 2147483563;
inline constexpr int32_t kMul2 = 40692;
inline constexpr int32_t kMod2 = 2147483399;
inline constexpr int32_t kOffset = 2147483562;

inline constexpr int kLanes = 8;

struct LaneStates {
  // In range: s1 in [0, 2147483563), s2 in [0, 2147483399).
  alignas(32) uint32_t s1[kLanes];
  alignas(32) uint32_t s2[kLanes];
};

// The lanes one step on from the states (s1, s2), which must be in range.
LaneStates StartLanes(uint32_t s1, uint32_t s2);

// Writes `rounds` (at least 1) times kLanes keystream values to `out`. On
// entry `lanes` hold the states of the first round's values, on return
// those of the last round's. `vector` picks the AVX2 form where the
// processor has it; both forms give the same values.
void RunLanes(LaneStates& lanes, uint32_t* out, uint32_t rounds, bool vector);

// Whether RunLanes can take the AVX2 form on this processor.
bool VectorLanesAvailable();

}  // namespace prt::lanes
