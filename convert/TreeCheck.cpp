#include "convert/TreeCheck.h"

#include <new>

#include "controls/ControlFactory.h"
#include "controls/ScreenDocument.h"
#include "platform/Text.h"

namespace prt {

namespace {

// Each document starts in the language the documents before it, in object
// order, left current: a font array leaves another one behind, and nothing
// restores it.
void AssignStartLanguages(std::vector<Screen>& screens, uint32_t language) {
  for (Screen& screen : screens) {
    screen.language = language;
    if (screen.leaves) language = *screen.leaves;
  }
}

}  // namespace

TreeCheck::TreeCheck(const DataSet& data, std::u16string staging) : data_(data), staging_(std::move(staging)) {
  for (uint8_t t : ScreenTypes) {
    const uint32_t n = data.ObjectCount(t);
    for (uint32_t i = 0; i < n; ++i) references_.push_back((uint32_t{t} << 24) | (i & 0xFFFFFFu));
  }
  found_.resize(references_.size());
}

void TreeCheck::Work() {
  try {
    Build();
  } catch (const std::bad_alloc&) {
    if (!failed_.exchange(true)) fault_ = Error{.step = Error::Step::OutOfMemory, .rule = "while building the control trees"};
  }
}

bool TreeCheck::Take(std::vector<Screen>& screens) {
  if (failed_ || used_ > ControlBudget::LimitFor(data_.ImageSize())) return false;
  for (Screen& screen : found_)
    if (!screen.path.empty()) screens.push_back(std::move(screen));
  AssignStartLanguages(screens, data_.StoredLanguage());
  return true;
}

void TreeCheck::Build() {
  ControlBudget budget(data_.ImageSize());
  for (size_t i = next_++; i < references_.size() && !failed_; i = next_++) {
    ControlPtr control = CreateScreen(data_.ObjectRecord(references_[i]));
    if (!control) continue;
    const uint64_t before = budget.Used();
    if (Status measured = MeasureTree(data_, *control, budget); !measured) {
      if (!failed_.exchange(true)) {
        fault_ = measured.Error();
        fault_->subject =
            std::string(control->GetTypeCode()) + std::to_string(static_cast<int32_t>(control->GetObjID()));
      }
      break;
    }
    found_[i] = {references_[i], budget.Used() - before,
                 QmlFilePath(staging_, control->GetTypeCode(), control->GetObjID()), LanguageLeftBy(data_, *control)};
  }
  used_ += budget.Used();
}

Status CollectScreens(const DataSet& data, const std::u16string& staging, std::vector<Screen>& screens) {
  TreeCheck check(data, staging);
  check.Work();
  if (check.Take(screens)) return {};
  return Fail(check.Fault());
}

std::u16string QmlFilePath(const std::u16string& staging, std::string_view typeCode, uint32_t objId) {
  std::u16string path = staging + u"/" + platform::WidenUnits(typeCode);
  if (typeCode != "tmpl") path += platform::Widen(std::to_string(static_cast<int32_t>(objId)));
  return path + u".qml";
}

}  // namespace prt
