#pragma once
// A control with children: loads them from its object's link list and
// writes their elements inside its own.
#include <vector>

#include "controls/IControl.h"

namespace prt {

class IControlGroup : public IControl {
 public:
  using IControl::IControl;

  bool WriteBegin() override;
  bool WriteEnd() override;
  // The document's import lines (screens write them before their head).
  virtual void WriteImports();

  // Builds the child list from the link list, recursively for child groups.
  bool LoadChildren();

  const std::vector<ControlPtr>& Children() const { return children; }
  // Appends a child built elsewhere (an empty pointer is kept, as loading does).
  void AddChild(ControlPtr child) { children.push_back(std::move(child)); }
  bool UsesTemplate() const { return usesTemplate; }

 protected:
  // Writes every child with this group's output; false when any failed.
  bool GenerateChildren();

  // In link-list order; an entry is empty when its type has no creator.
  std::vector<ControlPtr> children;
  bool usesTemplate = false;

 private:
  struct LoadPath;
  bool LoadChildrenOn(LoadPath& path);
};

}  // namespace prt
