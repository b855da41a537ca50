#include "controls/IControl.h"

#include "data/manager/CPRDataManager.h"
#include "data/manager/DataValue.h"
#include "generator/Utf8Converter.h"

namespace prt {

IPRDataManager& ControlDataManager() { return CPRDataManager::GetInstance(); }

IControl::IControl(std::string qmlTypeName, std::string typeCode, int32_t typeNumber,
                   ImageRef record)
    : qmlTypeName(std::move(qmlTypeName)),
      typeCode(std::move(typeCode)),
      typeNumber(typeNumber),
      record(record) {}

bool IControl::Generate() {
  if (output == nullptr || !output->stream.Good() || !record) return false;
  bool ok = WriteBegin();
  ok = WriteProperties() && ok;
  ok = WriteEnd() && ok;
  return ok;
}

std::u16string IControl::IdText() const {
  std::u16string id = Utf8Converter::Instance().FromUtf8(typeCode);
  id += DecimalText(static_cast<int32_t>(GetObjID()));
  return id;
}

bool IControl::WriteBegin() {
  if (output == nullptr) return false;
  QmlStream& out = output->stream;
  out.WriteUtf8(qmlTypeName);
  out << u" {" << u"\n";

  const uint32_t ref = GetObjID();
  const std::u16string id = IdText();
  WriteRawProperty(u"id", id);
  WriteStringProperty(u"objectName", id);
  WriteIntProperty(u"objID", static_cast<int32_t>(ref));
  WriteUnsignedProperty(u"rootObjID", output->rootObjId);

  if (typeNumber != 38) {
    DataValue text;
    ControlDataManager().GetObjectText(ref, &text);
    const std::u16string name = text.TextCopy().value_or(std::u16string());
    WriteStringProperty(u"controlName", EscapeText(name, u"\\\""));
  }

  WritePosition();
  WriteSize();

  if (typeNumber != 1 && (record.U32(rec::kFlags) & rec::kFlagVisibility) != 0 &&
      record.U32(rec::kHiddenWord) != 0) {
    WriteRawProperty(u"visible", u"false");
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
  WriteIntProperty(u"x", x);
  WriteIntProperty(u"y", y);
  WriteIntProperty(u"z", 500);
}

void IControl::WriteSize() {
  const auto [w, h] = GetSize();
  WriteIntProperty(u"width", w);
  WriteIntProperty(u"height", h);
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

void IControl::WriteStringProperty(std::u16string_view name, std::u16string_view value) {
  if (QmlStream* out = BeginProperty(name)) *out << u"\"" << value << u"\"\n";
}

void IControl::WriteRawProperty(std::u16string_view name, std::u16string_view value) {
  if (QmlStream* out = BeginProperty(name)) *out << value << u"\n";
}

void IControl::WriteIntProperty(std::u16string_view name, int32_t value) {
  if (QmlStream* out = BeginProperty(name)) out->WriteInt(value) << u"\n";
}

void IControl::WriteUnsignedProperty(std::u16string_view name, uint32_t value) {
  if (QmlStream* out = BeginProperty(name)) out->WriteUnsigned(value) << u"\n";
}

void IControl::WriteFixedProperty(std::u16string_view name, double value) {
  if (QmlStream* out = BeginProperty(name)) out->WriteFixed(value) << u"\n";
}

void IControl::WriteBoolProperty(std::u16string_view name, bool value) {
  if (QmlStream* out = BeginProperty(name)) *out << (value ? u"true\n" : u"false\n");
}

std::u16string IControl::EscapeText(std::u16string_view text, std::u16string_view characters) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (characters.find(c) != std::u16string_view::npos) out.push_back(u'\\');
    out.push_back(c);
  }
  return out;
}

}  // namespace prt
