#include "generator/XorCrypt.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace prt {
namespace {

struct KeystreamCase {
  uint32_t seed1;
  uint32_t seed2;
  std::vector<int32_t> first;
};

class KeystreamTest : public ::testing::TestWithParam<KeystreamCase> {};

TEST_P(KeystreamTest, FirstValuesMatchReference) {
  const KeystreamCase& c = GetParam();
  CXorCrypt crypt;
  crypt.SetSeed(c.seed1, c.seed2);
  for (size_t i = 0; i < c.first.size(); ++i) EXPECT_EQ(crypt.NextValue(), c.first[i]) << "value " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Seeds, KeystreamTest,
    ::testing::Values(
        KeystreamCase{1, 1, {2147482884, 2092764894, 1390461064, 715295839, 79337801}},
        KeystreamCase{12345, 67890, {2026359911, 1950599823, 315009702, 1105313978, 871469535}},
        // Both generators stuck at 0: only the combination offset remains.
        KeystreamCase{0, 0, std::vector<int32_t>(50, 2147483562)}));

TEST(XorCrypt, TenThousandthValueFromOneOne) {
  CXorCrypt crypt;
  crypt.SetSeed(1, 1);
  int32_t v = 0;
  for (int i = 0; i < 10000; ++i) v = crypt.NextValue();
  EXPECT_EQ(v, 2060321752);
}

TEST(XorCrypt, UnseededObjectStartsAtZeroStates) {
  CXorCrypt fresh;
  CXorCrypt zero;
  zero.SetSeed(0, 0);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(fresh.NextValue(), zero.NextValue());
}

// Seeds with the top bit set, the moduli themselves and the extremes: the
// first step must bring every state into range, so every value lies in
// [1, 2147483562].
TEST(XorCrypt, ValuesStayInRangeForAnySeed) {
  const uint32_t seeds[] = {0x80000000u, 0xFFFFFFFFu, 0x7FFFFFFFu, 2147483563u, 2147483399u,
                            2147483562u, 1u, 53668u, 52774u};
  for (uint32_t s1 : seeds) {
    for (uint32_t s2 : seeds) {
      CXorCrypt crypt;
      crypt.SetSeed(s1, s2);
      for (int i = 0; i < 200; ++i) {
        const int32_t v = crypt.NextValue();
        ASSERT_GE(v, 1) << s1 << "," << s2 << " step " << i;
        ASSERT_LE(v, 2147483562) << s1 << "," << s2 << " step " << i;
      }
    }
  }
}

TEST(XorCrypt, XorWordsTwiceRestoresAndContinuesStream) {
  const std::vector<uint32_t> plain = {0x6C6C6568u, 0x2020206Fu, 0u, 0xFFFFFFFFu};
  std::vector<uint32_t> words = plain;
  CXorCrypt a;
  a.SetSeed(1, 1);
  a.XorWords(words.data(), 4);
  EXPECT_EQ(words[0], plain[0] ^ 2147482884u);
  EXPECT_EQ(words[3], plain[3] ^ 715295839u);

  CXorCrypt b;
  b.SetSeed(1, 1);
  // Two calls continue where the first stopped.
  b.XorWords(words.data(), 1);
  b.XorWords(words.data() + 1, 3);
  EXPECT_EQ(words, plain);
}

TEST(XorCrypt, NullPointerAndZeroCountConsumeNothing) {
  CXorCrypt crypt;
  crypt.SetSeed(1, 1);
  crypt.XorWords(nullptr, 7);
  uint32_t word = 0;
  crypt.XorWords(&word, 0);
  EXPECT_EQ(word, 0u);
  EXPECT_EQ(crypt.NextValue(), 2147482884);
}

}  // namespace
}  // namespace prt
