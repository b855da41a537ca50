#include "controls/IControl.h"

#include <cstring>


namespace prt {

// Names as views of known length: a plain literal is measured at run time.
using namespace std::string_view_literals;

IControl::IControl(std::string_view qmlTypeName, std::string_view typeCode, int32_t typeNumber,
                   ImageRef record)
    : qmlTypeName(qmlTypeName),
      typeCode(typeCode),
      typeNumber(typeNumber),
      record(record) {}

bool IControl::Generate() {
  if (output == nullptr || !output->stream.Good() || !record) return false;
  bool ok = WriteBegin();
  ok = WriteProperties() && ok;
  ok = WriteEnd() && ok;
  return ok;
}

bool IControl::WriteBegin() {
  if (output == nullptr) return false;
  QmlStream& out = output->stream;
  out.WriteUtf8(qmlTypeName);
  out << u" {" << u"\n";

  // The id is formed once, in the stream, and copied into objectName and
  // (its number) objID.
  const uint32_t ref = GetObjID();
  out << u"id: ";
  const size_t idStart = out.Size();
  out.WriteUtf8(typeCode);
  const size_t numberStart = out.Size();
  out.WriteInt(static_cast<int32_t>(ref));
  const size_t idEnd = out.Size();
  out << u"\n" << u"objectName: \"";
  out.WriteRepeat(idStart, idEnd - idStart) << u"\"\n" << u"objID: ";
  out.WriteRepeat(numberStart, idEnd - numberStart) << u"\n";
  out << output->RootObjIdLine();

  if (typeNumber != 38) {
    QmlStream& line = *BeginStringProperty(u"controlName"sv);
    if (const ImageRef text = output->Data().ObjectText(ref, output->language)) {
      // A counted string: a 16-bit length, then the units.
      line.WriteEscapedUnits(text.Image()->Data() + text.Offset() + 2, text.U16(0), u"\\\""sv);
    } else {
      // No text in this language: type number and index stand for it.
      line.WriteUnsigned(ref >> 24) << u"#";
      line.WriteUnsigned(ref & 0xFFFFFFu);
    }
    EndStringProperty(line);
  }

  WritePosition();
  WriteSize();

  if (typeNumber != 1 && (record.U32(rec::kFlags) & rec::kFlagVisibility) != 0 &&
      record.U32(rec::kHiddenWord) != 0) {
    WriteRawProperty(u"visible"sv, u"false"sv);
  }
  return true;
}

void IControl::WritePosition() {
  auto [x, y] = GetPosition();
  const auto [w, h] = GetSize();
  const uint32_t flags = record.U32(rec::kFlags);
  bool hidden = (flags & rec::kFlagHideMask) != 0;
  if (!hidden && (flags & rec::kFlagHideBySubRecord) != 0) {
    const ImageRef sub = record.Ref(rec::kSubRecord);
    hidden = sub && sub.U32(rec::kSubRecordWord) != 0;
  }
  if (hidden) {
    // Negating INT32_MIN would overflow; the wrapped value is what a
    // 32-bit negation gives.
    x = static_cast<int32_t>(0u - static_cast<uint32_t>(w));
    y = static_cast<int32_t>(0u - static_cast<uint32_t>(h));
  }
  WriteIntProperty(u"x"sv, x);
  WriteIntProperty(u"y"sv, y);
  if (output != nullptr) output->stream << u"z: 500\n";
}

void IControl::WriteSize() {
  const auto [w, h] = GetSize();
  WriteIntProperty(u"width"sv, w);
  WriteIntProperty(u"height"sv, h);
}

bool IControl::WriteEnd() {
  if (output == nullptr) return false;
  output->stream << u"\n}\n" << u"\n";
  return true;
}

std::pair<int32_t, int32_t> IControl::GetPosition() {
  if (!record) return {0, 0};
  return {record.I32(rec::kX), record.I32(rec::kY)};
}

std::pair<int32_t, int32_t> IControl::GetSize() {
  if (!record) return {0, 0};
  return {record.I32(rec::kWidth), record.I32(rec::kHeight)};
}

QmlStream* IControl::BeginProperty(std::u16string_view name) {
  if (output == nullptr) return nullptr;
  output->stream << name << u": ";
  return &output->stream;
}

QmlStream* IControl::BeginStringProperty(std::u16string_view name) {
  if (output == nullptr) return nullptr;
  output->stream << name << u": \"";
  return &output->stream;
}

void IControl::WriteStringProperty(std::u16string_view name, std::u16string_view value) {
  if (QmlStream* out = BeginStringProperty(name)) EndStringProperty(*out << value);
}

void IControl::WriteRawProperty(std::u16string_view name, std::u16string_view value) {
  if (QmlStream* out = BeginProperty(name)) *out << value << u"\n";
}

void IControl::WriteIntProperty(std::u16string_view name, int32_t value) {
  if (output != nullptr) output->stream.WriteIntLine(name, value);
}

void IControl::WriteFixedProperty(std::u16string_view name, double value) {
  if (QmlStream* out = BeginProperty(name)) out->WriteFixed(value) << u"\n";
}

void IControl::WriteBoolProperty(std::u16string_view name, bool value) {
  if (QmlStream* out = BeginProperty(name)) *out << (value ? u"true\n" : u"false\n");
}

}  // namespace prt
