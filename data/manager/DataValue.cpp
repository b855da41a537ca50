#include "data/manager/DataValue.h"

#include "platform/Endian.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace prt {
namespace {

static_assert(sizeof(OwnedString) == 4, "units follow the length word directly");

// Saturating truncation toward zero: out-of-range and NaN must not be UB.
int32_t Truncate(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 2147483647.0) return INT32_MAX;
  if (d <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(d);
}

// The empty text handed out for an owned-text value without a block.
constexpr uint8_t kEmptyCounted[2] = {0, 0};

}  // namespace

OwnedString* OwnedString::Create(std::u16string_view text) {
  if (text.size() > UINT16_MAX) return nullptr;
  const size_t n = text.size();
  void* block = ::operator new(n * 2 + 6, std::nothrow);
  if (!block) return nullptr;
  auto* s = new (block) OwnedString();
  s->capacity = static_cast<uint16_t>(n);
  s->length = static_cast<uint16_t>(n);
  uint8_t* units = static_cast<uint8_t*>(block) + 4;
  if (n) std::memcpy(units, text.data(), n * 2);
  std::memset(units + n * 2, 0, 2);
  return s;
}

void OwnedString::Release(OwnedString* text) { ::operator delete(static_cast<void*>(text)); }

std::u16string OwnedString::Text() const { return ReadCountedString(Counted()); }

std::u16string ReadCountedString(const uint8_t* countedString) {
  if (!countedString) return {};
  std::u16string out(platform::LoadLE16(countedString), u'\0');
  if (!out.empty()) std::memcpy(out.data(), countedString + 2, out.size() * 2);
  return out;
}

void DataValue::Reset(uint16_t newCount, uint8_t newType) {
  count = newCount;
  status = kStatusGood;
  type = newType & kTypeMask;
  payload = 0;
}

void DataValue::Clear(uint16_t newCount, uint8_t newType) {
  if (Owned()) {
    void* block = reinterpret_cast<void*>(payload);
    switch (TypeCode()) {
      case kEmpty:
      case kBorrowedText:
        break;
      case kOwnedText:
        OwnedString::Release(static_cast<OwnedString*>(block));
        break;
      case kReleasable:
        if (block) static_cast<ReleasableValue*>(block)->Release();
        break;
      default:
        // Every other type up to kBlock16 holds a std::malloc block;
        // free(nullptr) is kOptionalBlock's "when present" case.
        if (TypeCode() <= kBlock16) std::free(block);
        break;
    }
  }
  Reset(newCount, newType);
}

void DataValue::SetText(const uint8_t* countedString, bool copy, uint8_t newStatus) {
  Clear(0, kEmpty);
  if (!countedString) return;
  if (copy) {
    OwnedString* s = OwnedString::Create(ReadCountedString(countedString));
    if (!s) {
      status = kStatusNoCopy;
      return;
    }
    SetOwnedText(s, newStatus);
    return;
  }
  count = 1;
  status = newStatus;
  type = kBorrowedText;
  payload = reinterpret_cast<uintptr_t>(countedString);
}

void DataValue::SetOwnedText(OwnedString* text, uint8_t newStatus) {
  Clear(0, kEmpty);
  count = 1;
  status = newStatus;
  type = kOwnedText | kOwnedFlag;
  payload = reinterpret_cast<uintptr_t>(text);
}

const uint8_t* DataValue::ReadText(uint8_t* statusOut) const {
  switch (TypeCode()) {
    case kBorrowedText:
      if (statusOut) *statusOut = status;
      return reinterpret_cast<const uint8_t*>(payload);
    case kOwnedText:
      if (statusOut) *statusOut = status;
      if (payload == 0) return kEmptyCounted;
      return reinterpret_cast<const OwnedString*>(payload)->Counted();
    default:
      if (statusOut) *statusOut = kStatusNoText;
      return nullptr;
  }
}

std::optional<std::u16string> DataValue::TextCopy() const {
  const uint8_t* text = ReadText();
  if (!text) return std::nullopt;
  return ReadCountedString(text);
}

int32_t DataValue::ToInteger() const {
  const uint32_t low = static_cast<uint32_t>(payload);
  switch (TypeCode()) {
    case kByte:
    case kUInt8:
      return static_cast<uint8_t>(low);
    case kInt8:
      return static_cast<int8_t>(low);
    case kInt16:
      return static_cast<int16_t>(low);
    case kUInt16:
      return static_cast<uint16_t>(low);
    case kInt32:
    case kUInt32:
      return static_cast<int32_t>(low);
    case kFloat: {
      float f;
      std::memcpy(&f, &low, sizeof f);
      return Truncate(f);
    }
    case kDouble: {
      if (payload == 0) return 0;
      double d;
      std::memcpy(&d, reinterpret_cast<const void*>(payload), sizeof d);
      return Truncate(d);
    }
    default:
      return 0;
  }
}

void DataValue::SetValue(uint8_t typeCode, uint32_t value) {
  Clear(1, typeCode);
  payload = value;
}

void DataValue::AdoptOwned(uint8_t typeCode, void* block) {
  Clear(1, typeCode);
  type |= kOwnedFlag;
  payload = reinterpret_cast<uintptr_t>(block);
}

}  // namespace prt
