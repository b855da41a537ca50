#include <gtest/gtest.h>

#include <random>

#include "controls/ControlFactory.h"
#include "controls/IControlGroup.h"
#include "controls/PopupScreen.h"
#include "controls/ScreenDocument.h"
#include "data/manager/CPRDataManager.h"
#include "tests/controls/ControlsTestSupport.h"

namespace prt::test {
namespace {

// A project that uses every record field the controls read.
std::vector<uint8_t> RichImage() {
  Scene scene;
  builder::ProjectBuilder& project = scene.Project();
  builder::FontRecord font;
  font.size = 9;
  font.face = "Sans";
  project.AddFont(font);
  project.Languages()[0].fonts = {builder::FontVariants{0, 0, 0, 0}};
  project.Languages()[0].selectors = {0};
  builder::Gradient fill;
  fill.orientation = 2;
  fill.positions = std::vector<float>{0.0f, 0.5f, 1.0f};
  fill.colours = std::vector<builder::Colour>(3, builder::Colour{1, 2, 3, 4});

  builder::Block sub{"sub", 20, 4, {Field::U32(16, 1)}};
  project.AddBlock(sub);
  builder::Block title{"title", 32, 4, project.GradientFields(PopupScreen::kTitleBackground, fill)};
  title.fields.push_back(Field::U16(PopupScreen::kTitleHeight, 20));
  project.AddBlock(title);

  const ObjectId page = scene.Add(1, 0, u"P", {0, 0, 800, 480}, project.GradientFields(36, fill));
  std::vector<Field> popupFields = project.GradientFields(PopupScreen::kBackground, fill);
  popupFields.push_back(Field::Pointer(PopupScreen::kTitle, builder::Ref::To("title")));
  const ObjectId popup = scene.Add(71, 0, u"Pop", {1, 2, 300, 200}, popupFields);
  const ObjectId container = scene.Add(22, 0, u"C", {1, 2, 3, 4});
  scene.Link(page, container);
  scene.Link(page, scene.Add(38, 0, u"", {0, 0, 1, 1}));
  scene.Link(container, scene.Add(29, 0, u"B", {1, 2, 3, 4},
                                  {Field::U32(rec::kFlags, 0x2000),
                                   Field::Pointer(rec::kSubRecord, builder::Ref::To("sub"))}));
  scene.Link(popup, scene.Add(40, 0, u"E", {1, 2, 3, 3}, {Field::U8(55, 1)}));
  scene.Link(popup, scene.Add(28, 0, u"T", {1, 2, 3000, 4}));
  return project.Build().bytes;
}

// Whatever the bytes say, every screen that is created loads or fails
// cleanly, and a written document is whole: imports first, closed last.
TEST(CorruptDataTest, DamagedImagesNeverBreakTheDocumentShape) {
  const std::vector<uint8_t> image = RichImage();
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
      EXPECT_EQ(text.rfind("import QtQuick\n", 0), 0u) << "round " << round;
      ASSERT_GE(text.size(), 4u);
      EXPECT_EQ(text.substr(text.size() - 4), "\n}\n\n") << "round " << round;
      ++documents;
    }
    testing::internal::GetCapturedStdout();
  }
  // Most damage leaves the screens readable, so the check above did run.
  EXPECT_GT(documents, 1000u);
}

}  // namespace
}  // namespace prt::test
