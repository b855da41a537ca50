#include "controls/ControlFactory.h"

#include <algorithm>

#include "controls/LeafControls.h"
#include "controls/PopupScreen.h"
#include "controls/Screens.h"
#include "controls/VectorGraphics.h"

namespace prt {

namespace {

constexpr uint32_t kTypeByte = 3;

constexpr std::array<CreatorEntry, 26> kControlCreators = {{
    {2, &Create<IOField>},
    {3, &Create<Bar>},
    {16, &Create<TextField>},
    {18, &Create<Graphic>},
    {20, &Create<SymbolicIOField>},
    {21, &Create<Switch>},
    {22, &Create<Container>},
    {24, &Create<AlarmView>},
    {25, &Create<AlarmIndicator>},
    {28, &Create<TrendView>},
    {29, &Create<Button>},
    {32, &Create<UserView>},
    {40, &CreateVectorGraphic},
    {41, nullptr},
    {45, &Create<RecipeView>},
    {47, &Create<DiagnosticView>},
    {54, &Create<AlarmReport>},
    {55, &Create<RecipeReport>},
    {56, &Create<TableView>},
    {62, &Create<GraphicIOField>},
    {63, &Create<DateTimeField>},
    {67, &Create<GifPlayer>},
    {68, &Create<XYTrendView>},
    {72, &Create<AlarmBar>},
    {73, &Create<VelocorSystemView>},
    {75, &Create<CamView>},
}};

constexpr std::array<CreatorEntry, 5> kScreenCreators = {{
    {0, nullptr},
    {1, &Create<Page>},
    {38, &Create<Template>},
    {53, &Create<ReportPage>},
    {71, &Create<PopupScreen>},
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

ControlPtr CreateFrom(std::span<const CreatorEntry> table, ImageRef record) {
  if (!record) return nullptr;
  const uint8_t type = record.U8(kTypeByte);
  const auto it = std::lower_bound(
      table.begin(), table.end(), type,
      [](const CreatorEntry& entry, uint8_t key) { return entry.typeNumber < key; });
  if (it == table.end() || it->typeNumber != type || it->create == nullptr) return nullptr;
  return it->create(record);
}

}  // namespace

ControlPtr CreateControl(ImageRef record) { return CreateFrom(kControlCreators, record); }

ControlPtr CreateScreen(ImageRef record) { return CreateFrom(kScreenCreators, record); }

}  // namespace prt
