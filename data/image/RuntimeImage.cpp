#include "data/image/RuntimeImage.h"

#include <algorithm>

namespace prt {

RuntimeImage::RuntimeImage(std::span<const uint8_t> bytes)
    : block_(bytes.size()), data_(block_.Data()), size_(block_.Valid() ? static_cast<uint32_t>(bytes.size()) : 0) {
  if (size_ > 0) std::copy(bytes.begin(), bytes.end(), block_.Data());
}

bool ImageRef::ReadCountedString(std::u16string& out) const {
  out.clear();
  if (!Has(0, 2)) return false;
  const uint32_t n = U16(0);
  if (!Has(2, 2 * n)) return false;
  out.resize(n);
  for (uint32_t i = 0; i < n; ++i) out[i] = static_cast<char16_t>(U16(2 + 2 * i));
  return true;
}

std::string ImageRef::ReadCString(uint32_t at) const {
  std::string s;
  for (uint32_t i = at; Has(i, 1); ++i) {
    const char c = static_cast<char>(U8(i));
    if (c == '\0') break;
    s.push_back(c);
  }
  return s;
}

}  // namespace prt
