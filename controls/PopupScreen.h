#pragma once
// A screen shown as a framed window: title bar, border, background, and a
// content item whose shifted Item holds the children.
#include "controls/IControlGroup.h"

namespace prt {

class PopupScreen final : public IControlGroup {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(71);

  // Record fields.
  static constexpr uint32_t kBackground = 36;
  static constexpr uint32_t kBorderColor = 52;
  static constexpr uint32_t kBorderWidth = 56;
  static constexpr uint32_t kBorderRadius = 58;
  static constexpr uint32_t kTitle = 60;
  // PopupTitle fields.
  static constexpr uint32_t kTitleIconId = 0;
  static constexpr uint32_t kTitleTextId = 4;
  static constexpr uint32_t kTitleTextColor = 8;
  static constexpr uint32_t kTitleBackground = 12;
  static constexpr uint32_t kTitleFont = 24;
  static constexpr uint32_t kTitleHeight = 28;
  static constexpr uint32_t kTitleFlags = 30;

  explicit PopupScreen(ImageRef record);

  bool WriteProperties() override;
  bool WriteEnd() override;

  // The language the document leaves current (its title's font array
  // switches through the languages); none: the one it started in.
  std::optional<uint32_t> LanguageLeft(const DataSet& data) const;

 private:
  void WriteTitle(ImageRef title);

  // Where the child area lies relative to the content item: the negated
  // border width, and below the title bar when there is one.
  int32_t offsetX = 0;
  int32_t offsetY = 0;
};

}  // namespace prt
