// Text and resource lists: bit, value and range lists mapping a value or a
// position to a text or resource number, and their defaults.
#include "data/manager/CPRDataManager.h"
#include "data/set/ImageLayout.h"

namespace prt {

using layout::CountedTable;
using layout::ReadCountedTable;

namespace {

constexpr uint32_t kResourceListsWhich = 0;
constexpr uint32_t kTextListsWhich = 1;
// Groups of the list default map.
constexpr uint32_t kTextDefaults = 0;
constexpr uint32_t kResourceDefaults = 1;

enum ListKind : uint16_t { kBitList = 1, kValueList = 2, kRangeList = 3 };
enum Mode { kMap = 1, kFind = 2, kEntryValue = 3 };

constexpr uint8_t kStatusFound = 0;
constexpr uint8_t kStatusNotFound = 128;

// A list's entries, checked to lie inside the image.
struct ListView {
  ImageRef list;
  uint16_t kind = 0;
  uint32_t count = 0;
  uint32_t width = 0;

  ImageRef Entry(uint32_t i) const { return i < count ? list.At(4 + i * width) : ImageRef(); }
};

uint32_t EntryWidth(uint16_t kind) {
  switch (kind) {
    case kBitList:
    case kValueList:
      return 8;
    case kRangeList:
      return 12;
    default:
      return 0;
  }
}

// Kind and count of a list; count 0 when its entries leave the image.
ListView ViewOf(const ImageRef& list) {
  if (!list.Has(0, 4)) return {};
  ListView view{list, list.U16(0), list.U16(2), EntryWidth(list.U16(0))};
  if (view.width != 0 && !layout::FitsArray(list, 4, view.count, view.width)) view.count = 0;
  return view;
}

int32_t NotFoundAsMinusOne(int32_t result) { return result == kListNotFound ? -1 : result; }

int32_t PayloadOf(const DataValue* value) { return value ? static_cast<int32_t>(value->payload) : 0; }

}  // namespace

ImageRef CPRDataManager::ListOf(uint32_t which, uint32_t number) const {
  const uint32_t word = which == kTextListsWhich ? layout::kTextLists : layout::kResourceLists;
  const CountedTable lists = ReadCountedTable(HeaderRef(word), 4);
  if (number >= lists.count) return {};
  return lists.table.Ref(4 + 4 * number);
}

int32_t CPRDataManager::EvaluateList(uint32_t which, uint32_t list, int32_t v, int mode, bool byPosition, uint32_t bit,
                                     bool* found, uint8_t* status) {
  const ListView view = ViewOf(ListOf(which, list));
  const uint32_t u = static_cast<uint32_t>(v);
  const bool inRange = v >= 0 && u < view.count;
  bool hit = false;
  uint32_t result = static_cast<uint32_t>(kListNotFound);
  auto take = [&](uint32_t r) {
    result = r;
    hit = true;
  };

  if (view.count > 0) {
    switch (view.kind) {
      case kBitList:
        if ((mode == kMap && byPosition) || mode == kEntryValue) {
          if (inRange) take(view.Entry(u).U32(mode == kEntryValue ? 0 : 4));
        } else if (bit < 32 && (mode == kMap || mode == kFind)) {
          const uint32_t state = (u >> bit) & 1u;
          if (view.count == 1) {
            if (state == view.Entry(0).U8(0)) take(mode == kMap ? view.Entry(0).U32(4) : 0);
          } else if (mode == kMap) {
            take(view.Entry(state).U32(4));
          } else if (state < view.count) {
            take(state);
          }
        }
        break;

      case kValueList: {
        const bool maskMatch = GetSettingsFlagBit0();
        auto matches = [&](uint32_t e) { return maskMatch ? (e & u) == e : u == e; };
        if ((mode == kMap && byPosition) || mode == kEntryValue) {
          if (inRange) take(view.Entry(u).U32(mode == kEntryValue ? 0 : 4));
        } else if (mode == kMap) {
          for (uint32_t i = 0; i < view.count && !hit; ++i)
            if (matches(view.Entry(i).U32(0))) take(view.Entry(i).U32(4));
        } else if (mode == kFind) {
          // The narrowest match: the smallest matching value.
          uint32_t best = 0;
          for (uint32_t i = 0; i < view.count; ++i) {
            const uint32_t e = view.Entry(i).U32(0);
            if (matches(e) && (!hit || e < best)) {
              best = e;
              take(i);
            }
          }
        }
        break;
      }

      case kRangeList: {
        auto contains = [&](const ImageRef& entry) { return entry.I32(4) <= v && v <= entry.I32(0); };
        if ((mode == kMap && byPosition) || mode == kEntryValue) {
          if (inRange) take(view.Entry(u).U32(mode == kEntryValue ? 4 : 8));
        } else if (mode == kMap || mode == kFind) {
          for (uint32_t i = 0; i < view.count && !hit; ++i)
            if (contains(view.Entry(i))) take(mode == kMap ? view.Entry(i).U32(8) : i);
        }
        break;
      }

      default:
        break;
    }
  }
  if (status) *status = hit ? kStatusFound : kStatusNotFound;
  if (found) *found = hit;
  return static_cast<int32_t>(result);
}

bool CPRDataManager::ListDefault(uint32_t group, uint32_t list, uint32_t* value) {
  return DefaultMap(kListDefaults).Find(group, list, value);
}

bool CPRDataManager::GetListKind(uint32_t list, uint32_t which, uint16_t* kind) {
  if (which != kTextListsWhich && which != kResourceListsWhich) return false;
  const ImageRef l = ListOf(which, list);
  if (!kind || !l.Has(0, 2)) return false;
  *kind = l.U16(0);
  return true;
}

// ---- Resource lists ----------------------------------------------------------

uint32_t CPRDataManager::GetResourceListSize(uint32_t list) { return ViewOf(ListOf(kResourceListsWhich, list)).count; }

int32_t CPRDataManager::MapResourceListValue(uint32_t list, const DataValue* value, uint32_t bit) {
  return NotFoundAsMinusOne(EvaluateList(kResourceListsWhich, list, PayloadOf(value), kMap, false, bit));
}

int32_t CPRDataManager::MapResourceListPosition(uint32_t list, int32_t position) {
  return NotFoundAsMinusOne(EvaluateList(kResourceListsWhich, list, position, kMap, true));
}

int32_t CPRDataManager::FindResourceListEntry(uint32_t list, const DataValue* value, uint32_t bit) {
  return NotFoundAsMinusOne(EvaluateList(kResourceListsWhich, list, PayloadOf(value), kFind, false, bit));
}

int32_t CPRDataManager::GetResourceListEntryValue(uint32_t list, int32_t position, uint8_t* status) {
  return EvaluateList(kResourceListsWhich, list, position, kEntryValue, false, 0, nullptr, status);
}

ImageRef CPRDataManager::GetResourceForPosition(uint32_t list, int32_t position) {
  bool found = false;
  const int32_t r = EvaluateList(kResourceListsWhich, list, position, kMap, true, 0, &found);
  return found ? GetLanguageResource(static_cast<uint32_t>(r)) : ImageRef();
}

ImageRef CPRDataManager::GetResourceForValue(uint32_t list, const DataValue* value, uint32_t bit) {
  bool found = false;
  const int32_t r = EvaluateList(kResourceListsWhich, list, PayloadOf(value), kMap, false, bit, &found);
  return found ? GetLanguageResource(static_cast<uint32_t>(r)) : GetResourceListDefault(list);
}

int32_t CPRDataManager::MapResourceListInteger(uint32_t list, const DataValue* value, uint32_t bit) {
  if (!ListOf(kResourceListsWhich, list)) return kListNotFound;
  bool found = false;
  const int32_t r = EvaluateList(kResourceListsWhich, list, value ? value->ToInteger() : 0, kMap, false, bit, &found);
  return found ? r : GetResourceListDefaultIndex(list);
}

ImageRef CPRDataManager::GetResourceListDefault(uint32_t list) {
  uint32_t number = 0;
  return ListDefault(kResourceDefaults, list, &number) ? GetLanguageResource(number) : ImageRef();
}

int32_t CPRDataManager::GetResourceListDefaultIndex(uint32_t list) {
  uint32_t number = 0;
  return ListDefault(kResourceDefaults, list, &number) ? static_cast<int32_t>(number) : -1;
}

// ---- Text lists --------------------------------------------------------------

uint32_t CPRDataManager::GetTextListSize(uint32_t list) { return ViewOf(ListOf(kTextListsWhich, list)).count; }

int32_t CPRDataManager::MapTextListValue(uint32_t list, const DataValue* value, uint32_t bit) {
  return NotFoundAsMinusOne(EvaluateList(kTextListsWhich, list, PayloadOf(value), kMap, false, bit));
}

int32_t CPRDataManager::MapTextListPosition(uint32_t list, int32_t position) {
  return NotFoundAsMinusOne(EvaluateList(kTextListsWhich, list, position, kMap, true));
}

int32_t CPRDataManager::FindTextListEntry(uint32_t list, const DataValue* value, uint32_t bit) {
  return NotFoundAsMinusOne(EvaluateList(kTextListsWhich, list, PayloadOf(value), kFind, false, bit));
}

int32_t CPRDataManager::GetTextListEntryValue(uint32_t list, int32_t position, uint8_t* status) {
  return EvaluateList(kTextListsWhich, list, position, kEntryValue, false, 0, nullptr, status);
}

ImageRef CPRDataManager::GetTextForPosition(uint32_t list, int32_t position) {
  bool found = false;
  const int32_t r = EvaluateList(kTextListsWhich, list, position, kMap, true, 0, &found);
  return found ? GetText(static_cast<uint32_t>(r)) : ImageRef();
}

ImageRef CPRDataManager::GetTextForValue(uint32_t list, const DataValue* value, uint32_t bit) {
  bool found = false;
  const int32_t r = EvaluateList(kTextListsWhich, list, PayloadOf(value), kMap, false, bit, &found);
  return found ? GetText(static_cast<uint32_t>(r)) : GetTextListDefault(list);
}

ImageRef CPRDataManager::GetTextListDefault(uint32_t list) {
  uint32_t number = 0;
  return ListDefault(kTextDefaults, list, &number) ? GetText(number) : ImageRef();
}

}  // namespace prt
