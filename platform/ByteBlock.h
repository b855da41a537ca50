#pragma once
// Memory for a large file's bytes, read once and then kept: not zeroed
// before it is filled, and in huge pages where the system has them, since
// every first touch of a small page is a costly fault.
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

namespace prt::platform {

// The size of a huge page on this kind of machine.
constexpr size_t kHugePage = size_t{2} << 20;

class ByteBlock {
 public:
  ByteBlock() = default;
  // `size` bytes of undefined content; an empty block when no memory is left.
  explicit ByteBlock(size_t size);
  ~ByteBlock();
  ByteBlock(ByteBlock&& other) noexcept { *this = std::move(other); }
  ByteBlock& operator=(ByteBlock&& other) noexcept;
  ByteBlock(const ByteBlock&) = delete;
  ByteBlock& operator=(const ByteBlock&) = delete;

  // False when the memory could not be had.
  bool Valid() const { return map_ != nullptr; }
  uint8_t* Data() const { return map_; }
  size_t Size() const { return size_; }
  std::span<uint8_t> Bytes() const { return {map_, size_}; }

 private:
  uint8_t* map_ = nullptr;
  size_t mapSize_ = 0;
  size_t size_ = 0;
};

}  // namespace prt::platform
