#pragma once
// Keystream cipher for the enciphered .qml files: each 32-bit word is XORed
// with the next value of a combined two-generator multiplicative LCG.
#include <cstdint>

namespace prt {

class CXorCrypt {
 public:
  CXorCrypt() = default;
  virtual ~CXorCrypt() = default;

  // Seeds are taken bit for bit as signed states; the first step brings a
  // negative state into range.
  void SetSeed(uint32_t seed1, uint32_t seed2);
  int32_t NextValue();
  // The next `count` values of the keystream, as NextValue would give them
  // one by one, but several at a time.
  void NextValues(uint32_t* out, uint32_t count);

 private:
  int32_t state1_ = 0;
  int32_t state2_ = 0;
};

}  // namespace prt
