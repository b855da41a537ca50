#include "controls/ControlFactory.h"

#include <algorithm>
#include <type_traits>

#include "controls/LeafControls.h"
#include "controls/PopupScreen.h"
#include "controls/Screens.h"
#include "controls/VectorGraphics.h"

namespace prt {

namespace {

template <class T>
constexpr CreatorEntry Entry(uint8_t number) {
  return {number, &Create<T>, std::is_base_of_v<IControlGroup, T>};
}

constexpr std::array<CreatorEntry, 26> kControlCreators = {{
    Entry<IOField>(2),
    Entry<Bar>(3),
    Entry<TextField>(16),
    Entry<Graphic>(18),
    Entry<SymbolicIOField>(20),
    Entry<Switch>(21),
    Entry<Container>(22),
    Entry<AlarmView>(24),
    Entry<AlarmIndicator>(25),
    Entry<TrendView>(28),
    Entry<Button>(29),
    Entry<UserView>(32),
    {40, &CreateVectorGraphic},
    {41, nullptr},
    Entry<RecipeView>(45),
    Entry<DiagnosticView>(47),
    Entry<AlarmReport>(54),
    Entry<RecipeReport>(55),
    Entry<TableView>(56),
    Entry<GraphicIOField>(62),
    Entry<DateTimeField>(63),
    Entry<GifPlayer>(67),
    Entry<XYTrendView>(68),
    Entry<AlarmBar>(72),
    Entry<VelocorSystemView>(73),
    Entry<CamView>(75),
}};

constexpr std::array<CreatorEntry, 5> kScreenCreators = {{
    {0, nullptr},
    Entry<Page>(1),
    Entry<Template>(38),
    Entry<ReportPage>(53),
    Entry<PopupScreen>(71),
}};

constexpr bool SortedByType(std::span<const CreatorEntry> table) {
  for (size_t i = 1; i < table.size(); ++i) {
    if (table[i - 1].typeNumber >= table[i].typeNumber) return false;
  }
  return true;
}
static_assert(SortedByType(kControlCreators) && SortedByType(kScreenCreators),
              "creator tables are looked up by binary search");

// Each class takes its names from its row (IdentityOf); here the kinds
// agree. (The creators are no constants in sanitizer builds.)
constexpr bool InTypeTable(std::span<const CreatorEntry> table, bool screens) {
  for (const CreatorEntry& entry : table)
    if (TypeIndex(entry.typeNumber) >= 0 && IsScreenType(entry.typeNumber) != screens) return false;
  return true;
}
static_assert(InTypeTable(kControlCreators, false) && InTypeTable(kScreenCreators, true),
              "screens and controls are made from the tables the type table says");

// A tree is measured without being built (CreatesGroup): the classes that
// load children are the types the type table calls groups.
constexpr bool GroupsAsTyped(std::span<const CreatorEntry> table) {
  for (const CreatorEntry& entry : table)
    if (entry.group != IsGroupType(entry.typeNumber)) return false;
  return true;
}
static_assert(GroupsAsTyped(kControlCreators), "a control class loads children exactly when its type is a group");

const CreatorEntry* Find(std::span<const CreatorEntry> table, ImageRef record) {
  if (!record) return nullptr;
  const uint8_t type = record.U8(rec::kTypeByte);
  const auto it = std::lower_bound(
      table.begin(), table.end(), type,
      [](const CreatorEntry& entry, uint8_t key) { return entry.typeNumber < key; });
  if (it == table.end() || it->typeNumber != type || it->create == nullptr) return nullptr;
  return &*it;
}

ControlPtr CreateFrom(std::span<const CreatorEntry> table, ImageRef record) {
  const CreatorEntry* entry = Find(table, record);
  return entry ? entry->create(record) : nullptr;
}

}  // namespace

ControlPtr CreateControl(ImageRef record) { return CreateFrom(kControlCreators, record); }

ControlPtr CreateScreen(ImageRef record) { return CreateFrom(kScreenCreators, record); }

bool CreatesGroup(ImageRef record) {
  const CreatorEntry* entry = Find(kControlCreators, record);
  return entry && entry->group;
}

}  // namespace prt
