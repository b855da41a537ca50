#pragma once
// From type numbers to control classes: constant tables and their lookups.
#include <array>
#include <cstdint>

#include "controls/IControl.h"
#include "controls/TypeTable.h"

namespace prt {

// Allocates one control of its class from the record, or answers empty.
using ControlCreator = ControlPtr (*)(ImageRef record);

struct CreatorEntry {
  uint8_t typeNumber;
  ControlCreator create;  // null: registered, but creates nothing
  bool group = false;     // what it creates loads children
};

// Screen types, in the order the generation run enumerates them.
inline constexpr std::array<uint8_t, 4> ScreenTypes = [] {
  std::array<uint8_t, 4> types{};
  size_t n = 0;
  for (const TypeRow& row : kTypeTable)
    if (row.screen) types.at(n++) = row.number;
  return types;
}();

// Empty for a null record or a type number without a creator.
ControlPtr CreateControl(ImageRef record);
ControlPtr CreateScreen(ImageRef record);
// Whether CreateControl(record) makes a group, without making it.
bool CreatesGroup(ImageRef record);

// The creator of every class constructed from its record alone.
template <class T>
ControlPtr Create(ImageRef record) {
  return std::make_shared<T>(record);
}

}  // namespace prt
