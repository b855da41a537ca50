#pragma once
// From type numbers to control classes: constant tables and their lookups.
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "controls/IControl.h"

namespace prt {

// Allocates one control of its class from the record, or answers empty.
using ControlCreator = ControlPtr (*)(ImageRef record);

struct CreatorEntry {
  uint8_t typeNumber;
  ControlCreator create;  // null: registered, but creates nothing
};

// The four-character type codes, in table order.
inline constexpr std::array<std::string_view, 35> TypeCodes = {
    "page", "tmpl", "ctnr", "rppg", "pops", "bttn", "txtf", "iofd", "dtfd",
    "giof", "siof", "grph", "gifp", "swth", "baar", "line", "plyl", "plyg",
    "elps", "crcl", "rect", "fblk", "almi", "almb", "usrv", "tblv", "trdv",
    "xytv", "camv", "almv", "rcpv", "almr", "rcpr", "dgnv", "vlsv"};

// Types whose children are loaded recursively.
inline constexpr std::array<uint8_t, 3> GroupTypes = {1, 22, 38};
// Screen types, in the order the generation run enumerates them.
inline constexpr std::array<uint8_t, 4> ScreenTypes = {1, 38, 53, 71};

// Creators for children of a group and for screens, ordered by type number.
std::span<const CreatorEntry> ControlCreators();
std::span<const CreatorEntry> ScreenCreators();

bool IsGroupType(uint32_t typeNumber);

// Empty for a null record or a type number without a creator.
ControlPtr CreateControl(ImageRef record);
ControlPtr CreateScreen(ImageRef record);

// The creator of every class constructed from its record alone.
template <class T>
ControlPtr Create(ImageRef record) {
  return std::make_shared<T>(record);
}

}  // namespace prt
