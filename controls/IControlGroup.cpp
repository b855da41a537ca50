#include "controls/IControlGroup.h"

#include <algorithm>

#include "controls/ControlFactory.h"
#include "data/manager/IPRDataManager.h"
#include "platform/Text.h"

namespace prt {

namespace {
// LinkEntry layout.
constexpr uint32_t kLinkPresent = 1;
constexpr uint32_t kLinkTarget = 4;
constexpr uint32_t kTemplateType = 38;
// Nesting beyond this is taken as corrupt data rather than overflowing the stack.
constexpr size_t kMaxNesting = 256;

using platform::GroupedDigits;
}  // namespace

std::string TreeFault::Text() const {
  switch (kind) {
    case Kind::None:
      return {};
    case Kind::NoRecord:
      return "a group without a record";
    case Kind::Cycle:
      return std::string(typeCode) + std::to_string(static_cast<int32_t>(object)) + " contains itself";
    case Kind::TooDeep:
      return "the controls nest deeper than " + GroupedDigits(limit) + " levels";
    case Kind::OverBudget:
      return "the control trees exceed " + GroupedDigits(limit) + " controls, the limit for a data set of " +
             GroupedDigits(imageBytes) + " bytes";
  }
  return {};
}

// The groups being loaded, outermost first: a link back to one of them
// would recurse for ever.
struct IControlGroup::LoadPath {
  std::vector<uint32_t> refs;
  ControlBudget& budget;
};

bool IControlGroup::WriteBegin() {
  if (output == nullptr) return false;
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

TreeFault IControlGroup::LoadChildren(ControlBudget& budget) {
  LoadPath path{{}, budget};
  return LoadChildrenOn(path);
}

bool IControlGroup::LoadChildren() {
  if (!record) return false;
  ControlBudget budget(record.Image()->Size());
  return !LoadChildren(budget);
}

TreeFault IControlGroup::LoadChildrenOn(LoadPath& path) {
  if (!record) return {.kind = TreeFault::Kind::NoRecord};
  const uint32_t self = GetObjID();
  if (std::find(path.refs.begin(), path.refs.end(), self) != path.refs.end()) {
    return {.kind = TreeFault::Kind::Cycle, .typeCode = GetTypeCode(), .object = self};
  }
  if (path.refs.size() >= kMaxNesting) return {.kind = TreeFault::Kind::TooDeep, .limit = kMaxNesting};
  path.refs.push_back(self);

  IPRDataManager& data = ControlDataManager();
  TreeFault fault;
  for (uint32_t k = 0;; ++k) {
    const ImageRef link = data.GetObjectLink(self, k);
    if (!link) break;
    if (!path.budget.Take()) {
      fault = path.budget.Exceeded();
      break;
    }
    if (link.U8(kLinkPresent) == 0) continue;
    const uint32_t target = link.U32(kLinkTarget);
    const uint32_t type = target >> 24;
    const ImageRef child = data.GetObjectRecord(target);
    if (type == kTemplateType) usesTemplate = true;
    ControlPtr control = CreateControl(child);
    if (control && IsGroupType(type)) {
      auto* group = dynamic_cast<IControlGroup*>(control.get());
      if (group != nullptr && (fault = group->LoadChildrenOn(path))) break;
    }
    children.push_back(std::move(control));
  }
  path.refs.pop_back();
  return fault;
}

}  // namespace prt
