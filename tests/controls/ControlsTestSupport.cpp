#include "tests/controls/ControlsTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "controls/ControlFactory.h"
#include "controls/IControlGroup.h"
#include "controls/ScreenDocument.h"
#include "platform/Text.h"
#include "tests/support/Dataset.h"
#include "tests/support/TempDir.h"

namespace prt::test {

namespace {
std::optional<DataSet> loaded;
}  // namespace

bool Load(std::string_view json) {
  loaded = DataSet::FromImage(ImageFromJson(json));
  return loaded.has_value();
}

const DataSet& Data() { return *loaded; }

bool LoadScreens(const std::string& screens) { return Load(R"({"screens": [)" + screens + "]}"); }

ImageRef RecordOf(uint32_t reference) { return Data().ObjectRecord(reference); }

std::string PopupJson(const std::string& title, int border, const std::string& children,
                      const std::string& face) {
  std::string popup = R"({"type": "popup", "index": 2, "text": "Settings", "x": 100, "y": 80, "w": 400,
      "h": 300, "background": "#ffffffff", "borderColor": "#ff808080", "borderRadius": 4, "borderWidth": )";
  popup += std::to_string(border) + (title.empty() ? "" : R"(, "title": )" + title);
  return R"({"fonts": [{"face": )" + face + R"(, "size": 12}],
             "languages": [{"fonts": [0], "selectors": [0]}], "screens": [)" +
         popup + R"(, "children": [)" + children + "]}]}";
}

std::string StreamText(const QmlGenerator& generator) {
  return platform::NarrowUnits(generator.stream.View());
}

Written GenerateControl(uint32_t reference, uint32_t root, uint32_t language) {
  const ControlPtr control = CreateControl(RecordOf(reference));
  if (!control) {
    ADD_FAILURE() << "no control for reference " << reference;
    return {};
  }
  QmlGenerator generator(Data(), language);
  generator.rootObjId = root;
  control->SetStream(&generator);
  const bool ok = control->Generate();
  return {ok, StreamText(generator), generator.stream.Text(), generator.notices};
}

Written GenerateScreen(uint32_t reference) {
  const ControlPtr screen = CreateScreen(RecordOf(reference));
  auto* group = dynamic_cast<IControlGroup*>(screen.get());
  if (group == nullptr || !group->LoadChildren(Data())) {
    ADD_FAILURE() << "screen " << reference << " cannot be created and loaded";
    return {};
  }
  QmlGenerator generator(Data());
  const bool ok = WriteScreenDocument(*screen, generator);
  return {ok, StreamText(generator), generator.stream.Text(), generator.notices};
}

void ExpectGolden(const std::string& name, const std::string& actual) {
  const std::string path = std::string(PRT_GOLDEN_DIR) + "/" + name;
  if (std::getenv("PRT_UPDATE_GOLDEN") != nullptr) return WriteFile(path, actual);
  ASSERT_TRUE(std::filesystem::exists(path)) << "missing golden file " << path;
  EXPECT_EQ(actual, ReadFile(path)) << "golden file " << name;
}

}  // namespace prt::test
