#include <gtest/gtest.h>

#include <random>

#include "controls/ControlFactory.h"
#include "controls/IControlGroup.h"
#include "controls/ScreenDocument.h"
#include "data/manager/CPRDataManager.h"
#include "tests/controls/ControlsTestSupport.h"
#include "tests/support/Dataset.h"

namespace prt::test {
namespace {

// A project that uses every record field the controls read.
constexpr const char* kRichProject = R"({
  "fonts": [{"face": "Sans", "size": 9}], "languages": [{"fonts": [0], "selectors": [0]}],
  "screens": [
    {"type": "page", "text": "P", "w": 800, "h": 480,
     "background": {"orientation": 2, "stops": [[0, "#04010203"], [0.5, "#04010203"], [1, "#04010203"]]},
     "children": [{"type": "container", "text": "C", "x": 1, "y": 2, "w": 3, "h": 4, "children": [
                     {"type": "button", "text": "B", "x": 1, "y": 2, "w": 3, "h": 4,
                      "flags": 8192, "subRecord": 1}]},
                  {"type": "template", "w": 1, "h": 1}]},
    {"type": "popup", "text": "Pop", "x": 1, "y": 2, "w": 300, "h": 200, "borderWidth": 2,
     "background": {"stops": [[0, "#04010203"], [1, "#04010203"]]},
     "title": {"icon": 3, "height": 20, "background": {"stops": [[0, "#04010203"], [1, "#04010203"]]}},
     "children": [{"type": "ellipse", "text": "E", "x": 1, "y": 2, "w": 3, "h": 3},
                  {"type": "trendview", "text": "T", "x": 1, "y": 2, "w": 3000, "h": 4}]}]})";

// Whatever the bytes say, every screen that is created loads or fails
// cleanly, and a written document is whole: imports first, closed last.
TEST(CorruptDataTest, DamagedImagesNeverBreakTheDocumentShape) {
  const std::vector<uint8_t> image = ImageFromJson(kRichProject);
  std::mt19937 random(20240611);
  constexpr size_t kMagic = 12;
  size_t documents = 0;
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> damaged = image;
    std::uniform_int_distribution<size_t> where(kMagic, damaged.size() - 1);
    for (int flips = 0; flips < 8; ++flips) damaged[where(random)] = static_cast<uint8_t>(random());
    ASSERT_TRUE(CPRDataManager::GetInstance().AdoptImage(damaged));
    testing::internal::CaptureStdout();  // a failed font lookup prints
    for (uint32_t type : ScreenTypes) {
      const ControlPtr screen = CreateScreen(RecordOf(Reference(type, 0)));
      auto* group = dynamic_cast<IControlGroup*>(screen.get());
      if (group == nullptr || !group->LoadChildren()) continue;
      QmlGenerator generator;
      if (!WriteScreenDocument(*screen, generator)) continue;
      const std::string text = StreamText(generator);
      EXPECT_TRUE(text.starts_with("import QtQuick\n")) << "round " << round;
      EXPECT_TRUE(text.ends_with("\n}\n\n")) << "round " << round;
      ++documents;
    }
    testing::internal::GetCapturedStdout();
  }
  // Most damage leaves the screens readable, so the check above did run.
  EXPECT_GT(documents, 1000u);
}

}  // namespace
}  // namespace prt::test
