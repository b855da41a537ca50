// Text and resource lists: bit, value and range lists mapping a value or a
// position to a text or resource number, and their defaults.
#include <iterator>

#include "data/manager/CPRDataManager.h"
#include "data/set/ImageLayout.h"

namespace prt {

using layout::CountedTable;
using layout::ReadCountedTable;

namespace {

// Groups of the list default map.
constexpr uint32_t kTextDefaults = 0;
constexpr uint32_t kResourceDefaults = 1;

enum ListKind : uint16_t { kBitList = 1, kValueList = 2, kRangeList = 3 };
// Entry bytes by kind; 0 for an unknown kind.
constexpr uint32_t kEntryWidth[] = {0, 8, 8, 12};

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

// Kind and count of a list; count 0 when its entries leave the image.
ListView ViewOf(const ImageRef& list) {
  if (!list.Has(0, 4)) return {};
  const uint16_t kind = list.U16(0);
  ListView view{list, kind, list.U16(2), kind < std::size(kEntryWidth) ? kEntryWidth[kind] : 0};
  if (view.width != 0 && !layout::FitsArray(list, 4, view.count, view.width)) view.count = 0;
  return view;
}

// What a bit list maps the bit's `state` to: the entry's value, or its
// position; a list of one entry answers only for the state it names.
std::optional<uint32_t> BitState(const ListView& view, uint32_t state, bool value) {
  if (view.count == 1) {
    if (state != view.Entry(0).U8(0)) return std::nullopt;
    return value ? view.Entry(0).U32(4) : 0;
  }
  if (value) return view.Entry(state).U32(4);
  if (state < view.count) return state;
  return std::nullopt;
}

}  // namespace

ImageRef CPRDataManager::ListOf(ListTable table, uint32_t number) const {
  const uint32_t word = table == kTextLists ? layout::kTextLists : layout::kResourceLists;
  const CountedTable lists = ReadCountedTable(HeaderRef(word), 4);
  if (number >= lists.count) return {};
  return lists.table.Ref(4 + 4 * number);
}

std::optional<uint32_t> CPRDataManager::EvaluateList(ListTable table, uint32_t list, int32_t v, ListMode mode,
                                                     uint32_t bit) {
  const ListView view = ViewOf(ListOf(table, list));
  const uint32_t u = static_cast<uint32_t>(v);
  const bool byPosition = mode == kMapPosition || mode == kEntryValue;
  const bool inRange = v >= 0 && u < view.count;
  std::optional<uint32_t> result;
  if (view.count == 0) return result;
  switch (view.kind) {
    case kBitList:
      if (byPosition) {
        if (inRange) result = view.Entry(u).U32(mode == kEntryValue ? 0 : 4);
      } else if (bit < 32) {
        result = BitState(view, (u >> bit) & 1u, mode == kMapValue);
      }
      break;

    case kValueList: {
      const bool maskMatch = GetSettingsFlagBit0();
      auto matches = [&](uint32_t e) { return maskMatch ? (e & u) == e : u == e; };
      if (byPosition) {
        if (inRange) result = view.Entry(u).U32(mode == kEntryValue ? 0 : 4);
      } else if (mode == kMapValue) {
        for (uint32_t i = 0; i < view.count && !result; ++i)
          if (matches(view.Entry(i).U32(0))) result = view.Entry(i).U32(4);
      } else {
        // The narrowest match: the smallest matching value.
        uint32_t best = 0;
        for (uint32_t i = 0; i < view.count; ++i) {
          const uint32_t e = view.Entry(i).U32(0);
          if (matches(e) && (!result || e < best)) {
            best = e;
            result = i;
          }
        }
      }
      break;
    }

    case kRangeList: {
      auto contains = [&](const ImageRef& entry) { return entry.I32(4) <= v && v <= entry.I32(0); };
      if (byPosition) {
        if (inRange) result = view.Entry(u).U32(mode == kEntryValue ? 4 : 8);
      } else {
        for (uint32_t i = 0; i < view.count && !result; ++i)
          if (contains(view.Entry(i))) result = mode == kMapValue ? view.Entry(i).U32(8) : i;
      }
      break;
    }

    default:
      break;
  }
  return result;
}

int32_t CPRDataManager::EntryValue(ListTable table, uint32_t list, int32_t position, uint8_t* status) {
  const std::optional<uint32_t> value = EvaluateList(table, list, position, kEntryValue);
  if (status) *status = value ? kStatusFound : kStatusNotFound;
  return static_cast<int32_t>(value.value_or(kListNotFound));
}

bool CPRDataManager::ListDefault(uint32_t group, uint32_t list, uint32_t* value) {
  return DefaultMap(kListDefaults).Find(group, list, value);
}

bool CPRDataManager::GetListKind(uint32_t list, uint32_t which, uint16_t* kind) {
  if (which != kTextLists && which != kResourceLists) return false;
  const ImageRef l = ListOf(static_cast<ListTable>(which), list);
  if (!kind || !l.Has(0, 2)) return false;
  *kind = l.U16(0);
  return true;
}

uint32_t CPRDataManager::GetListCount(uint32_t which) {
  if (which != kTextLists && which != kResourceLists) return 0;
  return ReadCountedTable(HeaderRef(which == kTextLists ? layout::kTextLists : layout::kResourceLists), 4).count;
}

// ---- Resource lists ----------------------------------------------------------

uint32_t CPRDataManager::GetResourceListSize(uint32_t list) { return ViewOf(ListOf(kResourceLists, list)).count; }

ImageRef CPRDataManager::GetResourceForPosition(uint32_t list, int32_t position) {
  const std::optional<uint32_t> r = EvaluateList(kResourceLists, list, position, kMapPosition);
  return r ? GetLanguageResource(*r) : ImageRef();
}

ImageRef CPRDataManager::GetResourceForValue(uint32_t list, const DataValue* value, uint32_t bit) {
  const std::optional<uint32_t> r = EvaluateList(kResourceLists, list, PayloadOf(value), kMapValue, bit);
  return r ? GetLanguageResource(*r) : GetResourceListDefault(list);
}

int32_t CPRDataManager::MapResourceListInteger(uint32_t list, const DataValue* value, uint32_t bit) {
  if (!ListOf(kResourceLists, list)) return kListNotFound;
  const std::optional<uint32_t> r =
      EvaluateList(kResourceLists, list, value ? value->ToInteger() : 0, kMapValue, bit);
  return r ? static_cast<int32_t>(*r) : GetResourceListDefaultIndex(list);
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

uint32_t CPRDataManager::GetTextListSize(uint32_t list) { return ViewOf(ListOf(kTextLists, list)).count; }

ImageRef CPRDataManager::GetTextForPosition(uint32_t list, int32_t position) {
  const std::optional<uint32_t> r = EvaluateList(kTextLists, list, position, kMapPosition);
  return r ? GetText(*r) : ImageRef();
}

ImageRef CPRDataManager::GetTextForValue(uint32_t list, const DataValue* value, uint32_t bit) {
  const std::optional<uint32_t> r = EvaluateList(kTextLists, list, PayloadOf(value), kMapValue, bit);
  return r ? GetText(*r) : GetTextListDefault(list);
}

ImageRef CPRDataManager::GetTextListDefault(uint32_t list) {
  uint32_t number = 0;
  return ListDefault(kTextDefaults, list, &number) ? GetText(number) : ImageRef();
}

}  // namespace prt
