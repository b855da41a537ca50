#pragma once
// The tagged value in which the data manager hands out texts and values.
#include <cstdint>
#include <optional>
#include <string>

namespace prt {

// Heap block: u16 capacity, u16 length, UTF-16 units, terminating zero unit.
// From the length word on it has the form of a CountedString.
struct OwnedString;

struct DataValue {
  enum : uint8_t {
    kEmpty = 0,
    kBorrowedText = 2,
    kOwnedText = 3,
    kOwnedFlag = 0x20,
    kTypeMask = 0x1F,
  };
  enum : uint8_t { kStatusGood = 0, kStatusNoCopy = 129, kStatusNoText = 134 };

  uint16_t count = 0;
  uint8_t status = 0;
  uint8_t type = 0;       // low 5 bits: type code; 0x20: owned
  uintptr_t payload = 0;  // the value itself or an address

  DataValue() = default;
  DataValue(const DataValue&) = delete;
  DataValue& operator=(const DataValue&) = delete;
  ~DataValue() { Clear(0, 0); }

  uint8_t TypeCode() const { return type & kTypeMask; }
  bool Owned() const { return (type & kOwnedFlag) != 0; }

  void Reset(uint16_t newCount, uint8_t newType);
  void Clear(uint16_t newCount, uint8_t newType);
  // `countedString` is the address of a CountedString's length word.
  void SetText(const uint8_t* countedString, bool copy, uint8_t newStatus);
  void SetOwnedText(OwnedString* text, uint8_t newStatus);
  // Address of the held text's length word; none (status 134) for non-texts.
  const uint8_t* ReadText(uint8_t* statusOut = nullptr) const;
  // The held text as UTF-16; nullopt when no text is held.
  std::optional<std::u16string> TextCopy() const;
  int32_t ToInteger() const;
};

}  // namespace prt
