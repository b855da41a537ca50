#pragma once
// A fast hash of a file's bytes (XXH3, 64 bits), fed whole or in blocks of
// any size: it tells changed content from unchanged, not a deliberate
// collision.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace prt::platform {

inline constexpr size_t kHashBlock = 1 << 16;  // what a file is read in

class ContentHash {
 public:
  ContentHash();
  ~ContentHash();
  ContentHash(const ContentHash&) = delete;
  ContentHash& operator=(const ContentHash&) = delete;
  // The hash of a file holding `bytes`.
  static uint64_t Of(std::string_view bytes);
  static uint64_t Of(std::span<const uint8_t> bytes);
  void Add(std::string_view block);
  uint64_t Value() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace prt::platform
