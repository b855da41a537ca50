#include "controls/IControlGroup.h"

#include <algorithm>

#include "controls/ControlFactory.h"
#include "platform/Text.h"

namespace prt {

namespace {
// LinkEntry layout.
constexpr uint32_t kLinkPresent = 1;
constexpr uint32_t kLinkTarget = 4;
constexpr uint32_t kTemplateType = 38;

using platform::GroupedDigits;

// A tree that cannot be built, and why.
Error TreeError(std::string rule) {
  Error error;
  error.step = Error::Step::Tree;
  error.rule = std::move(rule);
  return error;
}

}  // namespace

Error ControlBudget::Exceeded() const {
  return TreeError("the control trees exceed " + GroupedDigits(limit_) + " controls, the limit for a data set of " +
                   GroupedDigits(imageBytes_) + " bytes");
}

// The groups being loaded, outermost first: a link back to one of them
// would recurse for ever.
struct IControlGroup::LoadPath {
  std::vector<uint32_t> refs;
  ControlBudget& budget;
  TreeWatcher* watcher;
};

bool IControlGroup::WriteBegin() {
  if (output == nullptr) return false;
  if (IsScreenType(typeNumber)) WriteImports();
  return IControl::WriteBegin();
}

void IControlGroup::WriteImports() {
  if (output == nullptr) return;
  output->stream << u"import QtQuick\n"
                    u"import QtQuick.Controls\n"
                    u"import Qt.labs.qmlmodels\n"
                    u"import VantorelV5\n"
                    u"import \"qrc:/\"\n"
                    u"\n";
}

bool IControlGroup::GenerateChildren() {
  bool ok = true;
  const auto generate = [&](IControl& child) {
    child.SetStream(output);
    ok = child.Generate() && ok;
  };
  if (loaded) {
    for (const ControlPtr& child : children)
      if (child) generate(*child);
    return ok;
  }
  // Unchecked links could recurse for ever; checked ones never nest this deep.
  if (output->nesting >= limits::kNesting) return false;
  ++output->nesting;
  const DataSet& data = output->Data();
  const DataSet::Links links = data.ObjectLinks(GetObjID());
  for (uint32_t k = 0;; ++k) {
    const ImageRef link = links[k];
    if (!link) break;
    if (link.U8(kLinkPresent) == 0) continue;
    const uint32_t target = link.U32(kLinkTarget);
    const ControlPtr child = CreateControl(data.ObjectRecord(target));
    if (!child) continue;
    // A group behind a link of another type is loaded without children.
    if (!IsGroupType(target >> 24))
      if (auto* group = dynamic_cast<IControlGroup*>(child.get())) group->loaded = true;
    generate(*child);
  }
  --output->nesting;
  return ok;
}

bool IControlGroup::LinksTemplate() const {
  if (output == nullptr) return false;
  const DataSet::Links links = output->Data().ObjectLinks(GetObjID());
  for (uint32_t k = 0;; ++k) {
    const ImageRef link = links[k];
    if (!link) return false;
    if (link.U8(kLinkPresent) != 0 && link.U32(kLinkTarget) >> 24 == kTemplateType) return true;
  }
}

bool IControlGroup::WriteEnd() {
  if (output == nullptr) return false;
  output->stream << u"\n";
  const bool childrenOk = GenerateChildren();
  return IControl::WriteEnd() && childrenOk;
}

Status IControlGroup::LoadChildren(const DataSet& data, ControlBudget& budget, TreeWatcher* watcher) {
  LoadPath path{{}, budget, watcher};
  return LoadChildrenOn(data, path);
}

bool IControlGroup::LoadChildren(const DataSet& data) {
  ControlBudget budget(data.ImageSize());
  return static_cast<bool>(LoadChildren(data, budget));
}

Status IControlGroup::LoadChildrenOn(const DataSet& data, LoadPath& path) {
  return LoadLinks(data, record, this, path);
}

Status IControlGroup::LoadLinks(const DataSet& data, ImageRef record, IControlGroup* into, LoadPath& path) {
  // The depth at which a fault found here is shown: this group's children.
  const auto stop = [&](Error error) {
    if (path.watcher) path.watcher->Stopped(path.refs.size() + 1, error);
    return Fail(std::move(error));
  };
  if (!record) return stop(TreeError("a group without a record"));
  const uint32_t self = record.U32(rec::kObjectRef);
  if (std::find(path.refs.begin(), path.refs.end(), self) != path.refs.end()) {
    // A group measured, not built, has the code of its record's type.
    const int row = TypeIndex(record.U8(rec::kTypeByte));
    const std::string code = into ? std::string(into->GetTypeCode()) : row < 0 ? "" : kTypeTable[row].code;
    return stop(TreeError(code + std::to_string(static_cast<int32_t>(self)) + " contains itself"));
  }
  if (path.refs.size() >= limits::kNesting)
    return stop(TreeError("the controls nest deeper than " + GroupedDigits(limits::kNesting) + " levels"));
  path.refs.push_back(self);
  const size_t depth = path.refs.size();
  if (into) into->loaded = true;

  const DataSet::Links links = data.ObjectLinks(self);
  for (uint32_t k = 0;; ++k) {
    const ImageRef link = links[k];
    if (!link) break;
    if (!path.budget.Take()) {
      path.refs.pop_back();
      return stop(path.budget.Exceeded());
    }
    const bool present = link.U8(kLinkPresent) != 0;
    const uint32_t target = present ? link.U32(kLinkTarget) : 0;
    const ImageRef child = present ? data.ObjectRecord(target) : ImageRef();
    ControlPtr control;
    if (into && present) {
      control = CreateControl(child);
      // Its children are the ones loaded below, if any.
      if (auto* group = dynamic_cast<IControlGroup*>(control.get())) group->loaded = true;
    }
    if (path.watcher) path.watcher->Linked(depth, k, link, control);
    if (!present) continue;
    if (IsGroupType(target >> 24) && CreatesGroup(child)) {
      if (Status loaded = LoadLinks(data, child, static_cast<IControlGroup*>(control.get()), path); !loaded) {
        path.refs.pop_back();
        return loaded;
      }
    }
    if (into) into->children.push_back(std::move(control));
  }
  path.refs.pop_back();
  return {};
}

Status GrowTree(const DataSet& data, const ControlPtr& control, ControlBudget& budget) {
  if (!budget.Take()) return Fail(budget.Exceeded());
  if (auto* group = dynamic_cast<IControlGroup*>(control.get())) return group->LoadChildren(data, budget);
  return {};
}

Status MeasureTree(const DataSet& data, const IControl& screen, ControlBudget& budget) {
  if (!budget.Take()) return Fail(budget.Exceeded());
  if (!dynamic_cast<const IControlGroup*>(&screen)) return {};
  IControlGroup::LoadPath path{{}, budget, nullptr};
  return IControlGroup::LoadLinks(data, screen.GetRecord(), nullptr, path);
}

}  // namespace prt
