// Languages, texts and fonts of the current language.
#include <gtest/gtest.h>

#include "data/manager/CPRDataManager.h"
#include "tests/data/manager/ImageBytes.h"

namespace prt {
namespace {

using test::ImageBytes;

std::vector<uint8_t> ThreeLanguages() {
  ImageBytes img;
  test::WriteLanguages(img, 1, 0, 0, 0,
                       {{.id = 7, .texts = {u"a"}}, {.id = 9, .texts = {u"b"}}, {.id = 11, .texts = {u"c"}}});
  return img.Take();
}

TEST(SetLanguageTest, SwitchesAndWrapsAround) {
  struct Step {
    int16_t index;
    bool ok;
    uint32_t current;
  };
  const Step steps[] = {
      {2, true, 2},  {-1, true, 0},  {-1, true, 1}, {3, false, 1}, {-2, false, 1},
      {0, true, 0},  {-1, true, 1},  {-1, true, 2}, {-1, true, 0}, {INT16_MAX, false, 0},
  };
  CPRDataManager dm;
  ASSERT_TRUE(dm.AdoptImage(ThreeLanguages()));
  ASSERT_EQ(dm.GetLanguageCount(), 3u);
  EXPECT_EQ(dm.GetCurrentLanguageIndex(), 0u);
  for (const Step& s : steps) {
    EXPECT_EQ(dm.SetLanguage(s.index, false), s.ok) << s.index;
    EXPECT_EQ(dm.GetCurrentLanguageIndex(), s.current) << s.index;
  }
}

TEST(SetLanguageTest, TextFollowsTheCurrentLanguage) {
  CPRDataManager dm;
  ASSERT_TRUE(dm.AdoptImage(ThreeLanguages()));
  const std::u16string expected[] = {u"a", u"b", u"c"};
  for (int16_t i = 0; i < 3; ++i) {
    ASSERT_TRUE(dm.SetLanguage(i, false));
    std::u16string text;
    ASSERT_TRUE(dm.GetText(0).ReadCountedString(text));
    EXPECT_EQ(text, expected[i]);
    EXPECT_FALSE(dm.GetText(1));
  }
}

TEST(SetLanguageTest, NoLanguagesAcceptsOnlyNext) {
  ImageBytes img;
  CPRDataManager dm;
  ASSERT_TRUE(dm.AdoptImage(img.Take()));
  EXPECT_EQ(dm.GetLanguageCount(), 0u);
  EXPECT_FALSE(dm.SetLanguage(0, false));
  EXPECT_TRUE(dm.SetLanguage(-1, false));
  EXPECT_EQ(dm.GetCurrentLanguageIndex(), 0u);
}

// Two languages with different font tables; fonts 0..3 in the font table.
class FontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ImageBytes img;
    const uint32_t arial = test::WriteFont(img, 0x1, 12, "Arial");
    const uint32_t serif = test::WriteFont(img, 0x2, 14, "Serif");
    const uint32_t mono = test::WriteFont(img, 0x3, 9, "Mono");
    const uint32_t faceless = test::WriteFont(img, 0x3, 20, "");
    test::WriteFontTable(img, {arial, serif, mono, faceless});
    test::WriteLanguages(img, 0, 0, 2, 3,
                         {{.id = 1, .fonts = {{0, 1, 2, 3}, {3, 3, 3, 3}}, .selectors = {0, 6, 3}},
                          {.id = 2, .fonts = {{2, 2, 2, 2}, {9, 9, 9, 9}}, .selectors = {1, 4, 0}}});
    ASSERT_TRUE(dm.AdoptImage(img.Take()));
  }
  CPRDataManager dm;
};

TEST_F(FontTest, SelectorPicksVariantAndUnderline) {
  struct Case {
    uint16_t font, style;
    bool ok;
    std::string face;
    uint32_t size;
    uint8_t bold, italic, underline;
  };
  const Case cases[] = {
      {0, 0, true, "Arial", 12, 1, 0, 0},
      {0, 1, true, "Mono", 9, 1, 1, 1},   // selector 6: variant 2, underline
      {0, 2, false, "", 20, 1, 1, 0},     // selector 3: variant 3, no face block
      {0, 3, true, "Arial", 12, 1, 0, 0},  // style past S: selector 0
      {2, 0, true, "Arial", 12, 1, 0, 0},  // font number past F: index 0
  };
  for (const Case& c : cases) {
    FontInfo info;
    EXPECT_EQ(dm.GetCurrentLanguageFontInfo(c.font, c.style, &info), c.ok) << c.font << "/" << c.style;
    EXPECT_EQ(info.faceName, c.face);
    EXPECT_EQ(info.pointSize, c.size);
    EXPECT_EQ(info.bold, c.bold);
    EXPECT_EQ(info.italic, c.italic);
    EXPECT_EQ(info.underline, c.underline);
    EXPECT_EQ(static_cast<bool>(info.faceData), c.ok);
    if (info.faceData) {
      EXPECT_EQ(info.faceData.U32(0), 0xFACEDA7Au);
    }
  }
  EXPECT_FALSE(dm.GetCurrentLanguageFontInfo(0, 0, nullptr));
}

TEST_F(FontTest, FontsOfTheSecondLanguage) {
  ASSERT_TRUE(dm.SetLanguage(1, false));
  FontInfo info;
  ASSERT_TRUE(dm.GetCurrentLanguageFontInfo(0, 1, &info));  // selector 4: variant 0, underline
  EXPECT_EQ(info.faceName, "Mono");
  EXPECT_EQ(info.underline, 1);
  EXPECT_FALSE(dm.GetCurrentLanguageFontInfo(1, 0, &info));  // index 9 past the font table
  EXPECT_EQ(dm.GetFontIndex(1, 0), 9);
  EXPECT_EQ(dm.GetFontStyleSelector(0), 1);
}

TEST_F(FontTest, FontRecordAndFaceBlock) {
  ImageRef record;
  const ImageRef face = dm.GetFontRecord(1, &record);
  ASSERT_TRUE(face);
  EXPECT_EQ(record.U16(2), 14);
  EXPECT_EQ(face.ReadCString(4), "Serif");
  EXPECT_FALSE(dm.GetFontRecord(3, &record));  // face reference 0
  EXPECT_FALSE(record);
  EXPECT_FALSE(dm.GetFontRecord(4, &record));
  EXPECT_EQ(dm.GetFontCount(), 4u);
}

}  // namespace
}  // namespace prt
