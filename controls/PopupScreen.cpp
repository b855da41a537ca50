#include "controls/PopupScreen.h"

namespace prt {

namespace {
constexpr int32_t kNoIcon = -1;
constexpr uint8_t kCloseButtonFlag = 0x01;
}  // namespace

PopupScreen::PopupScreen(ImageRef record) : IControlGroup(kIdentity, record) {
  const int32_t border = record.U16(kBorderWidth);
  offsetX = -border;
  offsetY = -border;
  if (const ImageRef title = record.Ref(kTitle)) offsetY -= title.U16(kTitleHeight);
}

std::optional<uint32_t> PopupScreen::LanguageLeft(const DataSet& data) const {
  const ImageRef title = record.Ref(kTitle);
  if (!title) return std::nullopt;
  return FontArrayLeaves(data, title.At(kTitleFont));
}

void PopupScreen::WriteTitle(ImageRef title) {
  WriteFontArray(title.At(kTitleFont));
  output->WriteText("titleVisible: ");
  output->WriteBoolLine(true);

  const int32_t icon = title.I32(kTitleIconId);
  if (icon != kNoIcon) {
    std::u16string value = u"\"";
    value += ImageUrl(static_cast<uint32_t>(icon));
    value += u"_\" +  OrvixQG.dmLangIndex";
    WriteRawProperty(u"titleIcon", value);
  }
  output->WriteText("titleIconVisible: ");
  output->WriteBoolLine(icon != kNoIcon);

  std::u16string text = u"{OrvixQG.dmLangIndex; return OrvixQG.getQString(";
  text += UnsignedText(title.U32(kTitleTextId));
  text += u")}";
  WriteRawProperty(u"titleText", text);
  WriteStringProperty(u"titleTextColor", ColorToText(title.At(kTitleTextColor)));
  WriteFillProperty(u"titleBackgroundColor", title.At(kTitleBackground), true, u"");
  output->WriteText("closeButtonVisible: ");
  output->WriteBoolLine((title.U8(kTitleFlags) & kCloseButtonFlag) != 0);
  output->WriteText("titleHeight: ");
  output->WriteNumberLine(title.U16(kTitleHeight));
}

bool PopupScreen::WriteProperties() {
  if (output == nullptr) return true;
  const auto [x, y] = GetPosition();
  const auto [w, h] = GetSize();
  WriteIntProperty(u"popupX", x);
  WriteIntProperty(u"popupY", y);
  WriteIntProperty(u"popupWidth", w);
  WriteIntProperty(u"popupHeight", h);

  if (const ImageRef title = record.Ref(kTitle)) {
    WriteTitle(title);
  } else {
    output->WriteText("titleVisible: ");
    output->WriteBoolLine(false);
  }

  WriteStringProperty(u"borderColor", ColorToText(record.At(kBorderColor)));
  output->WriteText("borderWidth: ");
  output->WriteNumberLine(record.U16(kBorderWidth));
  output->WriteText("borderRadius: ");
  output->WriteNumberLine(record.U16(kBorderRadius));
  WriteFillProperty(u"popupBgColor", record.At(kBackground), true, u"");
  return true;
}

bool PopupScreen::WriteEnd() {
  if (output == nullptr) return false;
  const auto [w, h] = GetSize();
  QmlStream& out = output->stream;

  out << u"\ncontentItem: MouseArea {\n" << u"\n";
  WriteIntProperty(u"readonly property var objID", static_cast<int32_t>(GetObjID()));
  WriteBoolProperty(u"property bool beepDisable", true);
  WriteRawProperty(u"property alias offsetItem", u"controlPosOffsetItem");
  out << u"Item {\n" << u"\n";
  WriteRawProperty(u"id", u"controlPosOffsetItem");
  WriteIntProperty(u"x", offsetX);
  WriteIntProperty(u"y", offsetY);
  WriteIntProperty(u"width", w);
  WriteIntProperty(u"height", h);
  if (offsetY < 0) {
    WriteIntProperty(u"readonly property real topOffset", -offsetY);
    if (offsetX < 0) WriteIntProperty(u"readonly property real borderOffset", -offsetX);
  }
  WriteIntProperty(u"readonly property var objID", -1);
  out << u"\n";

  const bool childrenOk = GenerateChildren();
  out << u"\n}\n" << u"\n";

  std::string released = "onReleased: ";
  released += GetTypeCode();
  released += std::to_string(static_cast<int32_t>(GetObjID()));
  released += ".focusToDialog(1)";
  output->WriteTextLine(released);
  out << u"\n}\n" << u"\n";

  return IControl::WriteEnd() && childrenOk;
}

}  // namespace prt
