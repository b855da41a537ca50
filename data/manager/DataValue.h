#pragma once
// The tagged value in which the data manager hands out texts and values.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace prt {

// Heap block: u16 capacity, u16 length, UTF-16 units, terminating zero unit.
// From the length word on it has the form of a CountedString.
struct OwnedString {
  uint16_t capacity;
  uint16_t length;

  // A new block holding `text` (capacity = its length); nullptr when the
  // text is longer than 65535 units or memory is short.
  static OwnedString* Create(std::u16string_view text);
  static void Release(OwnedString* text);

  // Address of the length word: the CountedString view of the block.
  const uint8_t* Counted() const { return reinterpret_cast<const uint8_t*>(&length); }
  std::u16string Text() const;

 private:
  OwnedString() = default;
};

// A heap object held in a type-15 value; an owning value calls Release.
class ReleasableValue {
 public:
  virtual void Release() = 0;

 protected:
  ~ReleasableValue() = default;
};

struct DataValue {
  enum : uint8_t {
    kEmpty = 0,
    kByte = 1,
    kBorrowedText = 2,
    kOwnedText = 3,
    kInt8 = 4,
    kUInt8 = 5,
    kInt16 = 6,
    kUInt16 = 7,
    kInt32 = 8,
    kUInt32 = 9,
    kFloat = 10,
    kDouble = 11,
    kBlock12 = 12,
    kOptionalBlock = 13,
    kBlock14 = 14,
    kReleasable = 15,
    kBlock16 = 16,
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

  // An inline value (types 1, 4 to 10); the float of type 10 as its bits.
  void SetValue(uint8_t typeCode, uint32_t value);
  // Takes over a heap payload: a std::malloc block for types 1, 4 to 14
  // and 16, a ReleasableValue for type 15. Clear releases it.
  void AdoptOwned(uint8_t typeCode, void* block);
};

// Reads a CountedString at a raw address (length word, then units).
std::u16string ReadCountedString(const uint8_t* countedString);

}  // namespace prt
