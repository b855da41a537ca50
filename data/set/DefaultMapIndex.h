#pragma once
// A DefaultMap read once into tables indexed by id, so a lookup costs a few
// reads instead of a walk from the map's start. It answers exactly what the
// walk (layout::LookupDefaultMap) answers, damaged maps included.
#include <cstddef>
#include <cstdint>
#include <utility>
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
  size_t Size() const { return size_; }

 private:
  // The entries of one key. Objects are numbered from 0, so a table's ids
  // are usually dense: then one cell per id from `first` on, and lookups of
  // neighbouring objects read neighbouring cells. Otherwise pairs sorted by id.
  struct Group {
    uint32_t key = 0;
    bool dense = false;
    uint32_t first = 0;
    size_t begin = 0, end = 0;  // in cells_ or pairs_
  };
  // Indexes the entries of `key`, sorted by id, each id once.
  void Add(uint32_t key, const std::vector<std::pair<uint32_t, uint32_t>>& entries);

  std::vector<Group> groups_;  // sorted by key
  std::vector<uint64_t> cells_;  // 0: no entry; else kPresent | value
  std::vector<std::pair<uint32_t, uint32_t>> pairs_;
  size_t size_ = 0;
  // Set when the tables overlap so much that an index could outgrow the
  // image many times over: such a map is walked as before.
  ImageRef walk_;
};

}  // namespace prt
