#include "platform/ContentHash.h"

#define XXH_STATIC_LINKING_ONLY  // the streaming state lives inside ContentHash
#include <xxhash.h>

namespace prt::platform {

struct ContentHash::State {
  XXH3_state_t xxh;
};

ContentHash::ContentHash() : state_(std::make_unique<State>()) { XXH3_64bits_reset(&state_->xxh); }
ContentHash::~ContentHash() = default;

uint64_t ContentHash::Of(std::string_view bytes) { return XXH3_64bits(bytes.data(), bytes.size()); }

uint64_t ContentHash::Of(std::span<const uint8_t> bytes) { return XXH3_64bits(bytes.data(), bytes.size()); }

void ContentHash::Add(std::string_view block) { XXH3_64bits_update(&state_->xxh, block.data(), block.size()); }

uint64_t ContentHash::Value() const { return XXH3_64bits_digest(&state_->xxh); }

}  // namespace prt::platform
