#include "convert/TreeCheck.h"

#include <new>

#include "controls/ControlFactory.h"
#include "controls/ScreenDocument.h"
#include "convert/WorkerPair.h"
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

std::string ScreenName(const IControl& screen) {
  return std::string(screen.GetTypeCode()) + std::to_string(static_cast<int32_t>(screen.GetObjID()));
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
    if (!failed_.exchange(true)) fault_ = RunError{.stage = RunError::Stage::Trees, .cause = Error(OutOfMemory{})};
  }
}

Expected<std::vector<Screen>, RunError> TreeCheck::Result() {
  if (failed_ || used_ > ControlBudget::LimitFor(data_.ImageSize())) {
    if (fault_) return Fail(*fault_);
    return Fail(RunError{.stage = RunError::Stage::Trees, .cause = Error(ControlBudget(data_.ImageSize()).Exceeded())});
  }
  std::vector<Screen> screens;
  for (Screen& screen : found_)
    if (!screen.name.empty()) screens.push_back(std::move(screen));
  AssignStartLanguages(screens, data_.StoredLanguage());
  return screens;
}

void TreeCheck::Build() {
  ControlBudget budget(data_.ImageSize());
  ClaimEach(next_, references_.size(), failed_, [&](size_t i) {
    ControlPtr control = CreateScreen(data_.ObjectRecord(references_[i]));
    if (!control) return;
    const uint64_t before = budget.Used();
    if (const TreeStatus measured = MeasureTree(data_, *control, budget); !measured) {
      if (!failed_.exchange(true))
        fault_ = RunError{.stage = RunError::Stage::Trees, .screen = ScreenName(*control), .cause = measured.Error()};
      return;
    }
    const std::u16string name = DocumentName(control->GetTypeCode(), control->GetObjID());
    found_[i] = {references_[i], budget.Used() - before, name, staging_ + u"/" + name, ScreenName(*control),
                 LanguageLeftBy(data_, *control)};
  });
  used_ += budget.Used();
}

Expected<std::vector<Screen>, RunError> CollectScreens(const DataSet& data, const std::u16string& staging) {
  TreeCheck check(data, staging);
  check.Work();
  return check.Result();
}

std::u16string DocumentName(std::string_view typeCode, uint32_t objId) {
  std::u16string name = platform::WidenUnits(typeCode);
  if (typeCode != "tmpl") name += platform::Widen(std::to_string(static_cast<int32_t>(objId)));
  return name + u".qml";
}

std::u16string QmlFilePath(const std::u16string& staging, std::string_view typeCode, uint32_t objId) {
  return staging + u"/" + DocumentName(typeCode, objId);
}

}  // namespace prt
