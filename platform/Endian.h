#pragma once
// Numbers in a file's byte order, whatever the host's: the one set of
// byte-order helpers. The caller checks that the bytes are there.
#include <bit>
#include <cstdint>
#include <cstring>

namespace prt::platform {

// `width` (1 to 8) bytes at `p` as an unsigned number, least significant
// byte first, or last when `bigEndian`.
constexpr uint64_t LoadUnsigned(const uint8_t* p, unsigned width, bool bigEndian = false) {
  uint64_t v = 0;
  for (unsigned i = 0; i < width; ++i) v |= uint64_t{p[i]} << (8 * (bigEndian ? width - 1 - i : i));
  return v;
}

// The inverse of LoadUnsigned: the low `width` bytes of `value`.
constexpr void StoreUnsigned(uint8_t* p, unsigned width, uint64_t value, bool bigEndian = false) {
  for (unsigned i = 0; i < width; ++i) p[i] = static_cast<uint8_t>(value >> (8 * (bigEndian ? width - 1 - i : i)));
}

// Little-endian 16- and 32-bit words at any alignment, each in one load or
// store: the cipher runs these over every word of a document, the text
// writer over every unit of a data set's text.
inline uint16_t LoadLE16(const void* p) {
  uint16_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap16(v);
  return v;
}

inline uint32_t LoadLE32(const void* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

inline void StoreLE32(void* p, uint32_t v) {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  std::memcpy(p, &v, sizeof v);
}

// A 32-bit word in either byte order, in one load or store: for the
// container's lists and pointer fields, read in bulk.
inline uint32_t Load32(const void* p, bool bigEndian) {
  const uint32_t v = LoadLE32(p);
  return bigEndian ? __builtin_bswap32(v) : v;
}

inline void Store32(void* p, uint32_t v, bool bigEndian) { StoreLE32(p, bigEndian ? __builtin_bswap32(v) : v); }

}  // namespace prt::platform
