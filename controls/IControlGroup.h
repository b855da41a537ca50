#pragma once
// A control with children: loads them from its object's link list and
// writes their elements inside its own.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "controls/IControl.h"
#include "platform/Limits.h"

namespace prt {

// Why a control tree could not be built; empty when it was.
struct TreeFault {
  enum class Kind : uint8_t { None, NoRecord, Cycle, TooDeep, OverBudget };
  Kind kind = Kind::None;
  std::string_view typeCode = {};  // Cycle: the group that holds itself
  uint32_t object = 0;
  uint64_t limit = 0;              // TooDeep: levels; OverBudget: controls
  uint64_t imageBytes = 0;         // OverBudget: the data set the limit derives from

  explicit operator bool() const { return kind != Kind::None; }
  // The reason in words, e.g. "the controls nest deeper than 256 levels".
  std::string Text() const;
};

// The controls that the trees of all screens of one run may create together
// (limits::Controls).
class ControlBudget {
 public:
  static constexpr uint64_t LimitFor(uint64_t imageBytes) { return limits::Controls(imageBytes); }

  explicit ControlBudget(uint64_t imageBytes) : limit_(LimitFor(imageBytes)), imageBytes_(imageBytes) {}

  // Counts one; false once the limit is passed.
  bool Take() { return ++used_ <= limit_; }
  uint64_t Used() const { return used_; }
  TreeFault Exceeded() const {
    return {.kind = TreeFault::Kind::OverBudget, .limit = limit_, .imageBytes = imageBytes_};
  }

 private:
  uint64_t limit_;
  uint64_t imageBytes_;
  uint64_t used_ = 0;
};

class IControlGroup : public IControl {
 public:
  using IControl::IControl;

  bool WriteBegin() override;
  bool WriteEnd() override;
  // The document's import lines (screens write them before their head).
  virtual void WriteImports();

  // Builds the child list from the link list, recursively for child groups,
  // counting against `budget`; stops at the first fault. The children
  // loaded before it stay.
  TreeFault LoadChildren(const DataSet& data, ControlBudget& budget);
  // The same for this group alone, with a budget for the data set.
  bool LoadChildren(const DataSet& data);

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
  TreeFault LoadChildrenOn(const DataSet& data, LoadPath& path);
};

}  // namespace prt
