#pragma once
// Every object type the converter knows, once: its number (and for drawn
// shapes the shape byte), the code and QML type it writes, and the name the
// project builder and the inspector use. The control classes, the factory,
// the builder, the inspector and the preview's stand-in module (its CMake
// list reads the rows below, one per line) all take their names from here.
#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>

namespace prt {

struct TypeRow {
  uint8_t number;
  int8_t shape;           // -1: not a drawn shape
  const char* code;       // null: nothing is written for it
  const char* qmlName;
  const char* name;       // the builder's and the inspector's name
  bool screen;            // enumerated as a document, in this order
  bool group;             // its children are loaded with it
};

// clang-format off
inline constexpr TypeRow kTypeTable[] = {
    {1,  -1, "page", "OrvixPage",              "page",           true,  true},
    {38, -1, "tmpl", "OrvixTemplate",          "template",       true,  true},
    {53, -1, "rppg", "OrvixReportPage",        "reportpage",     true,  false},
    {71, -1, "pops", "OrvixPopupScreen",       "popup",          true,  false},
    {2,  -1, "iofd", "OrvixIOField",           "iofield",        false, false},
    {3,  -1, "baar", "OrvixBar",               "bar",            false, false},
    {16, -1, "txtf", "OrvixTextField",         "textfield",      false, false},
    {18, -1, "grph", "OrvixGraphic",           "graphic",        false, false},
    {20, -1, "siof", "OrvixSymbolicIOField",   "symbolicio",     false, false},
    {21, -1, "swth", "OrvixSwitch",            "switch",         false, false},
    {22, -1, "ctnr", "OrvixContainer",         "container",      false, true},
    {24, -1, "almv", "OrvixAlarmView",         "alarmview",      false, false},
    {25, -1, "almi", "OrvixAlarmIndicator",    "alarmindicator", false, false},
    {28, -1, "trdv", "OrvixTrendView",         "trendview",      false, false},
    {29, -1, "bttn", "OrvixButton",            "button",         false, false},
    {32, -1, "usrv", "OrvixUserView",          "userview",       false, false},
    {40, -1, nullptr, nullptr,                 "vector",         false, false},
    {40,  0, "plyl", "OrvixPolyline",          "polyline",       false, false},
    {40,  1, "elps", "OrvixEllipse",           "ellipse",        false, false},
    {40,  2, "rect", "OrvixRectangle",         "rectangle",      false, false},
    {40,  3, "plyg", "OrvixPolygon",           "polygon",        false, false},
    {40,  4, "fblk", "OrvixFlowblock",         "flowblock",      false, false},
    {45, -1, "rcpv", "OrvixRecipeView",        "recipeview",     false, false},
    {47, -1, "dgnv", "OrvixDiagnosticView",    "diagnosticview", false, false},
    {54, -1, "almr", "OrvixAlarmReport",       "alarmreport",    false, false},
    {55, -1, "rcpr", "OrvixRecipeReport",      "recipereport",   false, false},
    {56, -1, "tblv", "OrvixTableView",         "tableview",      false, false},
    {62, -1, "giof", "OrvixGraphicIOField",    "graphicio",      false, false},
    {63, -1, "dtfd", "OrvixDateTimeField",     "datetime",       false, false},
    {67, -1, "gifp", "OrvixGifPlayer",         "gifplayer",      false, false},
    {68, -1, "xytv", "OrvixXYTrendView",       "xytrend",        false, false},
    {72, -1, "almb", "OrvixAlarmBar",          "alarmbar",       false, false},
    {73, -1, "vlsv", "OrvixVelocorSystemView", "systemview",     false, false},
    {75, -1, "camv", "OrvixCamView",           "camview",        false, false},
};
// clang-format on

// The index of a type's (and shape's) row; -1 when there is none. (Indices,
// not pointers: sanitizer builds cannot compare pointers in constants.)
constexpr int TypeIndex(uint32_t number, int shape = -1) {
  for (size_t i = 0; i < std::size(kTypeTable); ++i)
    if (kTypeTable[i].number == number && kTypeTable[i].shape == shape) return static_cast<int>(i);
  return -1;
}

// The row of a type (and shape); null when there is none.
inline const TypeRow* FindType(uint32_t number, int shape = -1) {
  const int i = TypeIndex(number, shape);
  return i < 0 ? nullptr : &kTypeTable[i];
}

inline const TypeRow* FindTypeNamed(std::string_view name) {
  for (const TypeRow& row : kTypeTable)
    if (name == row.name) return &row;
  return nullptr;
}

// The two flags by type number, for lookups while trees load.
inline constexpr auto kTypeFlags = [] {
  std::array<uint8_t, 256> flags{};
  for (const TypeRow& row : kTypeTable) flags[row.number] |= (row.screen ? 1 : 0) | (row.group ? 2 : 0);
  return flags;
}();

constexpr bool IsScreenType(uint32_t number) { return number < 256 && (kTypeFlags[number] & 1); }
constexpr bool IsGroupType(uint32_t number) { return number < 256 && (kTypeFlags[number] & 2); }

}  // namespace prt
