#include "platform/ByteBlock.h"

#include <sys/mman.h>
#include <unistd.h>

namespace prt::platform {

namespace {

size_t RoundUp(size_t n, size_t to) { return (n + to - 1) / to * to; }

}  // namespace

ByteBlock::ByteBlock(size_t size) {
  const auto page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  // Only whole huge pages inside the mapping can be used: a block of one
  // and a half would take the half in small pages, each a costly fault.
  // The unused end of the last one costs at most that one huge page.
  const size_t small = RoundUp(size == 0 ? 1 : size, page);
  const size_t length = small >= kHugePage ? RoundUp(small, kHugePage) : small;
  // Only a block that starts on a huge page's edge can be made of them:
  // more is asked for, and the ends beyond the edges go back at once.
  const size_t room = length >= kHugePage ? length + kHugePage : length;
  void* map = ::mmap(nullptr, room, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) return;
  auto* start = static_cast<uint8_t*>(map);
  if (room > length) {
    auto* aligned = reinterpret_cast<uint8_t*>(RoundUp(reinterpret_cast<uintptr_t>(start), kHugePage));
    if (aligned > start) ::munmap(start, static_cast<size_t>(aligned - start));
    const size_t after = static_cast<size_t>(start + room - (aligned + length));
    if (after > 0) ::munmap(aligned + length, after);
    start = aligned;
    // Only a hint: without huge pages the block is made of small ones.
    ::madvise(start, length, MADV_HUGEPAGE);
  }
  map_ = start;
  mapSize_ = length;
  size_ = size;
}

ByteBlock::~ByteBlock() {
  if (map_) ::munmap(map_, mapSize_);
}

ByteBlock& ByteBlock::operator=(ByteBlock&& other) noexcept {
  if (this != &other) {
    if (map_) ::munmap(map_, mapSize_);
    map_ = std::exchange(other.map_, nullptr);
    mapSize_ = std::exchange(other.mapSize_, 0);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

}  // namespace prt::platform
