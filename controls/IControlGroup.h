#pragma once
// A control with children: loads them from its object's link list and
// writes their elements inside its own.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "controls/IControl.h"
#include "platform/Expected.h"
#include "platform/Limits.h"

namespace prt {

// Why a control tree cannot be built: the rule its links break.
struct TreeError {
  std::string rule;
  std::string Reason() const { return rule; }
};
using TreeStatus = Expected<void, TreeError>;

// The controls that the trees of all screens of one run may create together
// (limits::Controls).
class ControlBudget {
 public:
  static constexpr uint64_t LimitFor(uint64_t imageBytes) { return limits::Controls(imageBytes); }

  explicit ControlBudget(uint64_t imageBytes) : limit_(LimitFor(imageBytes)), imageBytes_(imageBytes) {}

  // Counts one; false once the limit is passed.
  bool Take() { return ++used_ <= limit_; }
  uint64_t Used() const { return used_; }
  // The error of a budget passed.
  TreeError Exceeded() const;

 private:
  uint64_t limit_;
  uint64_t imageBytes_;
  uint64_t used_ = 0;
};

// Watches trees being built: every link of every group, in order, as it
// is read. The inspector prints what the converter builds this way.
class TreeWatcher {
 public:
  virtual ~TreeWatcher() = default;
  // Link `k` of a group whose children stand at `depth` (1 for a screen's),
  // and the control it made: null for a link not present or a target with
  // no control class.
  virtual void Linked(size_t depth, uint32_t k, ImageRef link, const ControlPtr& control) = 0;
  // The build stopped at `depth` for `error`.
  virtual void Stopped(size_t depth, const TreeError& error) = 0;
};

class IControlGroup : public IControl {
 public:
  using IControl::IControl;

  // A screen's element opens its document: the import lines come first.
  bool WriteBegin() override;
  bool WriteEnd() override;
  // The document's import lines.
  virtual void WriteImports();

  // Builds the child list from the link list, recursively for child groups,
  // counting against `budget`; stops at the first fault (a group without a
  // record, one that contains itself, nesting past the limit, the budget
  // passed). The children loaded before it stay.
  TreeStatus LoadChildren(const DataSet& data, ControlBudget& budget, TreeWatcher* watcher = nullptr);
  // The same for this group alone, with a budget for the data set.
  bool LoadChildren(const DataSet& data);

  const std::vector<ControlPtr>& Children() const { return children; }
  // Appends a child built elsewhere (an empty pointer is kept, as loading does).
  void AddChild(ControlPtr child) { children.push_back(std::move(child)); }

 protected:
  // Writes every child with this group's output; false when any failed.
  bool GenerateChildren();

  // In link-list order; an entry is empty when its type has no creator.
  std::vector<ControlPtr> children;
  bool usesTemplate = false;

 private:
  struct LoadPath;
  friend TreeStatus MeasureTree(const DataSet& data, const IControl& screen, ControlBudget& budget);
  TreeStatus LoadChildrenOn(const DataSet& data, LoadPath& path);
  // The links below the group of `record`, depth first: made into `into`'s
  // children, or, without it, only counted.
  static TreeStatus LoadLinks(const DataSet& data, ImageRef record, IControlGroup* into, LoadPath& path);
};

// Builds the tree below the screen's root control, counted against
// `budget`; the root counts too.
TreeStatus GrowTree(const DataSet& data, const ControlPtr& control, ControlBudget& budget);
// The same count and the same faults, without building the tree.
TreeStatus MeasureTree(const DataSet& data, const IControl& screen, ControlBudget& budget);

}  // namespace prt
