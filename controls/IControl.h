#pragma once
// The base of every screen and control: one object of the runtime image that
// writes exactly one QML element into the screen document being generated.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "controls/TypeTable.h"
#include "data/image/RuntimeImage.h"
#include "qml/QmlGenerator.h"

namespace prt {

// Record offsets read by the base (the record starts at the object reference).
namespace rec {
inline constexpr uint32_t kObjectRef = 0;
inline constexpr uint32_t kTypeByte = 3;
inline constexpr uint32_t kHiddenWord = 8;
inline constexpr uint32_t kX = 12;
inline constexpr uint32_t kY = 16;
inline constexpr uint32_t kSubRecord = 20;
inline constexpr uint32_t kSubRecordWord = 16;
inline constexpr uint32_t kWidth = 24;
inline constexpr uint32_t kHeight = 28;
inline constexpr uint32_t kFlags = 32;

inline constexpr uint32_t kFlagHideMask = 0x30;
inline constexpr uint32_t kFlagHideBySubRecord = 0x2000;
inline constexpr uint32_t kFlagVisibility = 0x8000;
}  // namespace rec

// The constants each concrete class hands to the base.
struct ControlIdentity {
  int32_t typeNumber;
  const char* typeCode;
  const char* qmlTypeName;
};

// A class's names from the type table; a type it lacks does not compile.
constexpr ControlIdentity IdentityOf(uint32_t number, int shape = -1) {
  const TypeRow& row = kTypeTable[TypeIndex(number, shape)];
  return {row.number, row.code, row.qmlName};
}

class IControl {
 public:
  // The names are the constants of the concrete class: they are held as
  // views, so every control of a type shares them and none is copied.
  IControl(std::string_view qmlTypeName, std::string_view typeCode, int32_t typeNumber, ImageRef record);
  IControl(const ControlIdentity& identity, ImageRef record)
      : IControl(identity.qmlTypeName, identity.typeCode, identity.typeNumber, record) {}
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  // Virtual operations, in table order.
  virtual bool WriteBegin();
  virtual void WritePosition();
  virtual void WriteSize();
  virtual bool WriteProperties() = 0;
  virtual bool WriteEnd();
  virtual std::pair<int32_t, int32_t> GetPosition();
  virtual std::pair<int32_t, int32_t> GetSize();
  virtual ~IControl() = default;

  void SetStream(QmlGenerator* target) { output = target; }
  uint32_t GetObjID() const { return record ? record.U32(rec::kObjectRef) : 0; }
  std::string_view GetTypeCode() const { return typeCode; }
  std::string_view GetQmlTypeName() const { return qmlTypeName; }
  int32_t GetTypeNumber() const { return typeNumber; }
  ImageRef GetRecord() const { return record; }
  QmlGenerator* GetOutput() const { return output; }

  // The whole element; true when every step succeeded.
  bool Generate();

  // One property line each: name, ": ", value, "\n". Nothing without output.
  void WriteStringProperty(std::u16string_view name, std::u16string_view value);
  void WriteRawProperty(std::u16string_view name, std::u16string_view value);
  void WriteIntProperty(std::u16string_view name, int32_t value);
  void WriteFixedProperty(std::u16string_view name, double value);
  void WriteBoolProperty(std::u16string_view name, bool value);

  // Values (colour, gradient, fill, image address, fonts).
  // "#" and eight lower-case hex digits, alpha (byte 3) first.
  static std::u16string ColorToText(ImageRef colour);
  static std::u16string GradientToText(ImageRef gradient);
  void WriteFillProperty(std::u16string_view name, ImageRef gradient, bool solid,
                         std::u16string_view alternateName);
  static std::u16string ImageUrl(uint32_t id);
  // The fontArray property, one entry per language; leaves the last language
  // it selected as the output's language. False (nothing written) when a
  // font lookup failed.
  bool WriteFontArray(ImageRef fontReference);
  // The language WriteFontArray leaves, found without selecting any: the
  // first whose font cannot be found (the array stops there), else the last
  // it selects; none when there is no language to select.
  static std::optional<uint32_t> FontArrayLeaves(const DataSet& data, ImageRef fontReference);

 protected:
  // The stream with "name: " written; null without output.
  QmlStream* BeginProperty(std::u16string_view name);
  // The same with the opening quote; EndStringProperty closes the line.
  QmlStream* BeginStringProperty(std::u16string_view name);
  static void EndStringProperty(QmlStream& out) { out << u"\"\n"; }

  std::string_view qmlTypeName;
  std::string_view typeCode;
  int32_t typeNumber;
  ImageRef record;
  QmlGenerator* output = nullptr;
};

using ControlPtr = std::shared_ptr<IControl>;

}  // namespace prt
