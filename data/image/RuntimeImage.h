#pragma once
// The loaded runtime image and the one place where references into it are
// resolved. References are 32-bit offsets from the image start, 0 = none;
// every read is bounds-checked, so no data file can make us read outside.
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/ByteBlock.h"
#include "platform/Endian.h"

namespace prt {

class RuntimeImage;

// A checked position inside the image. A null ImageRef stands for "none".
// Reads that would leave the image answer 0; Ref() of a bad reference
// answers a null ImageRef.
class ImageRef {
 public:
  ImageRef() = default;
  ImageRef(const RuntimeImage* image, uint32_t offset) : image_(image), offset_(offset) {}

  explicit operator bool() const { return image_ != nullptr; }
  bool operator==(const ImageRef& other) const = default;

  const RuntimeImage* Image() const { return image_; }
  uint32_t Offset() const { return offset_; }

  // True when `len` bytes from `at` lie inside the image.
  bool Has(uint32_t at, uint32_t len) const;

  uint8_t U8(uint32_t at) const;
  uint16_t U16(uint32_t at) const;
  uint32_t U32(uint32_t at) const;
  int32_t I32(uint32_t at) const { return static_cast<int32_t>(U32(at)); }
  uint64_t U64(uint32_t at) const;
  float F32(uint32_t at) const;
  double F64(uint32_t at) const;

  // The position `delta` bytes further on; null when outside the image.
  ImageRef At(uint32_t delta) const;
  // Follows the reference stored at `at`; null for 0 or a target outside.
  ImageRef Ref(uint32_t at) const;

  // A CountedString starting here (u16 length, then UTF-16 units). False
  // when the string does not lie wholly inside the image.
  bool ReadCountedString(std::u16string& out) const;
  // A zero-terminated 8-bit string starting at `at`, bounded by the image.
  std::string ReadCString(uint32_t at) const;

 private:
  const RuntimeImage* image_ = nullptr;
  uint32_t offset_ = 0;
};

class RuntimeImage {
 public:
  // The image is the `size` bytes of `block` from `offset` on, where the
  // file was read: nothing is copied.
  RuntimeImage(platform::ByteBlock block, size_t offset, uint32_t size)
      : block_(std::move(block)), data_(block_.Data() + offset), size_(size) {}
  // A copy of `bytes`, for an image made in memory.
  explicit RuntimeImage(std::span<const uint8_t> bytes);

  uint32_t Size() const { return size_; }
  const uint8_t* Data() const { return data_; }

  // Overflow-safe: off + len never computed.
  bool Contains(uint32_t off, uint32_t len) const {
    const uint32_t size = Size();
    return off <= size && len <= size - off;
  }

  // The image start (offset 0) as a reference for header reads.
  ImageRef Root() const { return ImageRef(this, 0); }
  // Resolves a reference value: null for 0 or outside the image.
  ImageRef Resolve(uint32_t reference) const {
    if (reference == 0 || reference >= Size()) return {};
    return ImageRef(this, reference);
  }

 private:
  platform::ByteBlock block_;
  const uint8_t* data_;
  uint32_t size_;
};

inline bool ImageRef::Has(uint32_t at, uint32_t len) const {
  if (!image_) return false;
  if (at > UINT32_MAX - offset_) return false;
  return image_->Contains(offset_ + at, len);
}

inline uint8_t ImageRef::U8(uint32_t at) const {
  return Has(at, 1) ? image_->Data()[offset_ + at] : 0;
}

inline uint16_t ImageRef::U16(uint32_t at) const {
  if (!Has(at, 2)) return 0;
  return platform::LoadLE16(image_->Data() + offset_ + at);
}

inline uint32_t ImageRef::U32(uint32_t at) const {
  if (!Has(at, 4)) return 0;
  return platform::LoadLE32(image_->Data() + offset_ + at);
}

inline uint64_t ImageRef::U64(uint32_t at) const {
  if (!Has(at, 8)) return 0;
  return static_cast<uint64_t>(U32(at)) | (static_cast<uint64_t>(U32(at + 4)) << 32);
}

inline float ImageRef::F32(uint32_t at) const { return std::bit_cast<float>(U32(at)); }

inline double ImageRef::F64(uint32_t at) const { return std::bit_cast<double>(U64(at)); }

inline ImageRef ImageRef::At(uint32_t delta) const {
  if (!image_ || delta > UINT32_MAX - offset_) return {};
  const uint32_t off = offset_ + delta;
  if (off >= image_->Size()) return {};
  return ImageRef(image_, off);
}

inline ImageRef ImageRef::Ref(uint32_t at) const {
  if (!Has(at, 4)) return {};
  return image_->Resolve(U32(at));
}

}  // namespace prt
