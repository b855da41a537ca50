#pragma once
// A DefaultMap read once into a sorted table, so a lookup is a binary search
// instead of a walk from the map's start. It answers exactly what the walk
// (layout::LookupDefaultMap) answers, damaged maps included.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "data/image/RuntimeImage.h"

namespace prt {

class DefaultMapIndex {
 public:
  // Reads `map` (null: an empty map). Holds a reference into the image, so
  // it must go when the image does.
  static DefaultMapIndex Build(const ImageRef& map);

  // First group with `key`, then the first entry of its table whose low 24
  // bits equal `id`; `value` is written only when found.
  bool Find(uint32_t key, uint32_t id, uint32_t* value) const;

  void Clear();

  // Entries held; never more than the image has room for.
  size_t Size() const { return entries_.size(); }

 private:
  struct Entry {
    uint64_t key;  // group key << 32 | low 24 bits of the identifier
    uint32_t value;
  };
  std::vector<Entry> entries_;
  // Set when the tables overlap so much that an index could outgrow the
  // image many times over: such a map is walked as before.
  ImageRef walk_;
};

}  // namespace prt
