#include "controls/IControlGroup.h"

#include <algorithm>

#include "controls/ControlFactory.h"
#include "data/manager/IPRDataManager.h"

namespace prt {

namespace {
// LinkEntry layout.
constexpr uint32_t kLinkPresent = 1;
constexpr uint32_t kLinkTarget = 4;
constexpr uint32_t kTemplateType = 38;
// Nesting beyond this is taken as corrupt data rather than overflowing the stack.
constexpr size_t kMaxNesting = 256;
// Links may share targets, so a small corrupt data set can describe an
// exponentially large tree; no real screen comes near this many controls.
constexpr size_t kMaxControls = 100000;
}  // namespace

// The groups being loaded, outermost first: a link back to one of them
// would recurse for ever.
struct IControlGroup::LoadPath {
  std::vector<uint32_t> refs;
  size_t created = 0;
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

bool IControlGroup::LoadChildren() {
  LoadPath path;
  return LoadChildrenOn(path);
}

bool IControlGroup::LoadChildrenOn(LoadPath& path) {
  if (!record) return false;
  const uint32_t self = GetObjID();
  if (path.refs.size() >= kMaxNesting ||
      std::find(path.refs.begin(), path.refs.end(), self) != path.refs.end()) {
    return false;
  }
  path.refs.push_back(self);

  IPRDataManager& data = ControlDataManager();
  bool ok = true;
  for (uint32_t k = 0;; ++k) {
    const ImageRef link = data.GetObjectLink(self, k);
    if (!link) break;
    if (link.U8(kLinkPresent) == 0) continue;
    const uint32_t target = link.U32(kLinkTarget);
    const uint32_t type = target >> 24;
    const ImageRef child = data.GetObjectRecord(target);
    if (type == kTemplateType) usesTemplate = true;
    ControlPtr control = CreateControl(child);
    if (control && ++path.created > kMaxControls) {
      ok = false;
      break;
    }
    if (control && IsGroupType(type)) {
      auto* group = dynamic_cast<IControlGroup*>(control.get());
      if (group != nullptr && !group->LoadChildrenOn(path)) {
        ok = false;
        break;
      }
    }
    children.push_back(std::move(control));
  }
  path.refs.pop_back();
  return ok;
}

}  // namespace prt
