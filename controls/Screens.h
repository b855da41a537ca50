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
  bool WriteBegin() override;
  bool WriteProperties() override;
};

class Template final : public IControlGroup {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(38);
  explicit Template(ImageRef record) : IControlGroup(kIdentity, record) {}
  bool WriteBegin() override;
  bool WriteProperties() override { return record && output != nullptr; }
};

class ReportPage final : public IControlGroup {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(53);
  explicit ReportPage(ImageRef record) : IControlGroup(kIdentity, record) {}
  bool WriteBegin() override;
  bool WriteProperties() override { return record && output != nullptr; }
};

// A group inside a screen: no import lines of its own.
class Container final : public IControlGroup {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(22);
  explicit Container(ImageRef record) : IControlGroup(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

}  // namespace prt
