#pragma once
// The group classes: pages, templates, report pages and containers.
#include "controls/IControlGroup.h"

namespace prt {

// Writes a page's background into its owner's output.
class IComplexView {
 public:
  explicit IComplexView(IControl* owner) : owner(owner) {}
  // Reads the GradientInfo at record offset 36.
  void WriteBackground(ImageRef record);

 protected:
  IControl* owner;
};

class Page final : public IControlGroup, public IComplexView {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(1);
  explicit Page(ImageRef record) : IControlGroup(kIdentity, record), IComplexView(this) {}
  bool WriteProperties() override;
};

// A group of type `kNumber` made of the base lines and its children; a
// screen answers false from WriteProperties without record or output.
template <uint8_t kNumber>
class PlainGroup final : public IControlGroup {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(kNumber);
  explicit PlainGroup(ImageRef record) : IControlGroup(kIdentity, record) {}
  bool WriteProperties() override { return !IsScreenType(kNumber) || (record && output != nullptr); }
};

using Template = PlainGroup<38>;
using ReportPage = PlainGroup<53>;
// A group inside a screen: no import lines of its own.
using Container = PlainGroup<22>;

}  // namespace prt
