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


}  // namespace

TreeError ControlBudget::Exceeded() const {
  return TreeError{"the control trees exceed " + GroupedDigits(limit_) + " controls, the limit for a data set of " +
                   GroupedDigits(imageBytes_) + " bytes"};
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
  for (const ControlPtr& child : children) {
    if (!child) continue;
    child->SetStream(output);
    ok = child->Generate() && ok;
  }
  return ok;
}

bool IControlGroup::WriteEnd() {
  if (output == nullptr) return false;
  output->stream << u"\n";
  const bool childrenOk = GenerateChildren();
  return IControl::WriteEnd() && childrenOk;
}

TreeStatus IControlGroup::LoadChildren(const DataSet& data, ControlBudget& budget, TreeWatcher* watcher) {
  LoadPath path{{}, budget, watcher};
  return LoadChildrenOn(data, path);
}

bool IControlGroup::LoadChildren(const DataSet& data) {
  ControlBudget budget(data.ImageSize());
  return static_cast<bool>(LoadChildren(data, budget));
}

TreeStatus IControlGroup::LoadChildrenOn(const DataSet& data, LoadPath& path) {
  return LoadLinks(data, record, this, path);
}

TreeStatus IControlGroup::LoadLinks(const DataSet& data, ImageRef record, IControlGroup* into, LoadPath& path) {
  // The depth at which a fault found here is shown: this group's children.
  const auto stop = [&](TreeError error) {
    if (path.watcher) path.watcher->Stopped(path.refs.size() + 1, error);
    return Fail(std::move(error));
  };
  if (!record) return stop({"a group without a record"});
  const uint32_t self = record.U32(rec::kObjectRef);
  if (std::find(path.refs.begin(), path.refs.end(), self) != path.refs.end()) {
    // A group measured, not built, has the code of its record's type.
    const int row = TypeIndex(record.U8(rec::kTypeByte));
    const std::string code = into ? std::string(into->GetTypeCode()) : row < 0 ? "" : kTypeTable[row].code;
    return stop({code + std::to_string(static_cast<int32_t>(self)) + " contains itself"});
  }
  if (path.refs.size() >= limits::kNesting)
    return stop({"the controls nest deeper than " + GroupedDigits(limits::kNesting) + " levels"});
  path.refs.push_back(self);
  const size_t depth = path.refs.size();

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
      if (target >> 24 == kTemplateType) into->usesTemplate = true;
      control = CreateControl(child);
    }
    if (path.watcher) path.watcher->Linked(depth, k, link, control);
    if (!present) continue;
    if (IsGroupType(target >> 24) && CreatesGroup(child)) {
      if (TreeStatus loaded = LoadLinks(data, child, static_cast<IControlGroup*>(control.get()), path); !loaded) {
        path.refs.pop_back();
        return loaded;
      }
    }
    if (into) into->children.push_back(std::move(control));
  }
  path.refs.pop_back();
  return {};
}

TreeStatus GrowTree(const DataSet& data, const ControlPtr& control, ControlBudget& budget) {
  if (!budget.Take()) return Fail(budget.Exceeded());
  if (auto* group = dynamic_cast<IControlGroup*>(control.get())) return group->LoadChildren(data, budget);
  return {};
}

TreeStatus MeasureTree(const DataSet& data, const IControl& screen, ControlBudget& budget) {
  if (!budget.Take()) return Fail(budget.Exceeded());
  if (!dynamic_cast<const IControlGroup*>(&screen)) return {};
  IControlGroup::LoadPath path{{}, budget, nullptr};
  return IControlGroup::LoadLinks(data, screen.GetRecord(), nullptr, path);
}

}  // namespace prt
