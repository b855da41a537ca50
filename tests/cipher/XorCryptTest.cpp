#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "cipher/XorCrypt.h"
#include "cipher/XorCryptLanes.h"

namespace prt {
namespace {

TEST(XorCrypt, KeystreamVectors) {
  const struct { uint32_t seed1, seed2; std::vector<int32_t> first; } cases[] = {
      {1, 1, {2147482884, 2092764894, 1390461064, 715295839, 79337801}},
      {12345, 67890, {2026359911, 1950599823, 315009702, 1105313978, 871469535}},
      // Both generators stuck at 0: only the combination offset remains.
      {0, 0, std::vector<int32_t>(50, 2147483562)},
  };
  for (const auto& c : cases) {
    CXorCrypt crypt;
    crypt.SetSeed(c.seed1, c.seed2);
    for (size_t i = 0; i < c.first.size(); ++i)
      EXPECT_EQ(crypt.NextValue(), c.first[i]) << c.seed1 << " value " << i;
  }
  CXorCrypt crypt;
  crypt.SetSeed(1, 1);
  for (int i = 1; i < 10000; ++i) crypt.NextValue();
  EXPECT_EQ(crypt.NextValue(), 2060321752);
}

// The batched forms against the one-by-one keystream from the same seeds.
// NextValues takes jumps ahead: any seed, any count, across calls; its first
// step brings any seed into range, also one with the top bit set, so every
// value lies in [1, 2147483562]. Both forms of the lanes from the states in
// range, including the states they leave behind (where the processor has no
// AVX2 both runs take the portable form).
TEST(XorCrypt, BatchedFormsGiveTheOneByOneKeystream) {
  const uint32_t edges[] = {0u,          1u,          12345u,      53668u,      52774u,      0x7FFFFFFFu, 2147483563u,
                            2147483398u, 2147483399u, 2147483562u, 0x80000000u, 0xFFFFFFFFu, 0xDEADBEEFu};
  std::vector<std::pair<uint32_t, uint32_t>> seeds;
  for (uint32_t s1 : edges)
    for (uint32_t s2 : edges) seeds.emplace_back(s1, s2);
  // A lane step needs the final correction of its fold about once in 8,000;
  // the random starts make some 70,000 steps, so it is well exercised.
  std::mt19937 random(7);
  for (int i = 0; i < 300; ++i) seeds.emplace_back(random() % 2147483563u, random() % 2147483399u);
  for (const auto& [s1, s2] : seeds) {
    CXorCrypt single, batched;
    single.SetSeed(s1, s2);
    batched.SetSeed(s1, s2);
    for (uint32_t count : {0u, 1u, 7u, 8u, 9u, 17u, 255u, 1000u}) {
      std::vector<uint32_t> got(count), expected(count);
      batched.NextValues(got.data(), count);
      for (auto& v : expected) v = static_cast<uint32_t>(single.NextValue());
      ASSERT_EQ(got, expected) << s1 << "," << s2 << " count " << count;
      for (uint32_t v : got) ASSERT_TRUE(v >= 1 && v <= 2147483562u) << s1 << "," << s2 << ": " << v;
    }
    if (s1 >= 2147483563u || s2 >= 2147483399u) continue;
    for (uint32_t rounds : {1u, 3u, 30u}) {
      single.SetSeed(s1, s2);
      std::vector<uint32_t> expected(rounds * lanes::kLanes);
      for (auto& v : expected) v = static_cast<uint32_t>(single.NextValue());
      const int32_t following = single.NextValue();
      for (bool vector : {false, true}) {
        lanes::LaneStates states = lanes::StartLanes(s1, s2);
        std::vector<uint32_t> got(expected.size());
        lanes::RunLanes(states, got.data(), rounds, vector);
        EXPECT_EQ(got, expected) << s1 << "," << s2 << " rounds " << rounds << " vector " << vector;
        // The last lane holds the state of the last value: the stream goes on from it.
        CXorCrypt resumed;
        resumed.SetSeed(states.s1[lanes::kLanes - 1], states.s2[lanes::kLanes - 1]);
        EXPECT_EQ(resumed.NextValue(), following) << s1 << "," << s2 << " rounds " << rounds;
      }
    }
  }
}

}  // namespace
}  // namespace prt
