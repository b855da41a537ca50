// Languages, texts, fonts and resources of the current language.
#include <gtest/gtest.h>

#include "tests/data/manager/RichDataset.h"

namespace prt {
namespace {

using LanguagesTest = test::RichTest;
using test::TextOf;

TEST(SetLanguageTest, SwitchesAndWrapsAround) {
  CPRDataManager dm;
  ASSERT_TRUE(dm.AdoptImage(test::ImageFromJson(R"({"languages": [{"id": 7}, {"id": 9}, {"id": 11}],
      "texts": [["a", "b", "c"]]})")));
  const struct { int16_t index; bool ok; uint32_t current; } steps[] = {
      {2, true, 2}, {-1, true, 0}, {-1, true, 1}, {3, false, 1},  {-2, false, 1},
      {0, true, 0}, {-1, true, 1}, {-1, true, 2}, {-1, true, 0}, {INT16_MAX, false, 0},
  };
  EXPECT_EQ(dm.GetCurrentLanguageIndex(), 0u);
  for (const auto& s : steps) {
    EXPECT_EQ(dm.SetLanguage(s.index, false), s.ok) << s.index;
    EXPECT_EQ(dm.GetCurrentLanguageIndex(), s.current) << s.index;
    EXPECT_EQ(TextOf(dm.GetText(0)), std::u16string(1, u"abc"[s.current])) << s.index;
  }
  EXPECT_FALSE(dm.GetText(1));

  ASSERT_TRUE(dm.AdoptImage(test::ImageFromJson(R"({"languages": []})")));
  EXPECT_FALSE(dm.SetLanguage(0, false));
  EXPECT_TRUE(dm.SetLanguage(-1, false));  // "next" is accepted without languages
  EXPECT_EQ(dm.GetCurrentLanguageIndex(), 0u);
}

TEST_F(LanguagesTest, SelectorPicksVariantAndUnderline) {
  const struct {
    int16_t language;
    uint16_t font, style;
    bool ok;
    std::string face;
    uint32_t size, bold, italic, underline;
  } cases[] = {
      {0, 0, 0, true, "Arial", 12, 1, 0, 0},
      {0, 0, 1, true, "Mono", 9, 1, 1, 1},    // selector 6: variant 2, underline
      {0, 0, 2, false, "", 20, 1, 1, 0},      // selector 3: variant 3, face block 0
      {0, 0, 3, true, "Arial", 12, 1, 0, 0},  // style past S: selector 0
      {0, 2, 0, true, "Arial", 12, 1, 0, 0},  // font number past F: index 0
      {1, 0, 1, true, "Mono", 9, 1, 1, 1},    // selector 4: variant 0, underline
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.language << ": " << c.font << "/" << c.style);
    ASSERT_TRUE(dm.SetLanguage(c.language, false));
    FontInfo info;
    EXPECT_EQ(dm.GetCurrentLanguageFontInfo(c.font, c.style, &info), c.ok);
    EXPECT_EQ(info.faceName, c.face);
    EXPECT_EQ((std::vector<uint32_t>{info.pointSize, info.bold, info.italic, info.underline}),
              (std::vector<uint32_t>{c.size, c.bold, c.italic, c.underline}));
    EXPECT_EQ(info.faceData.U32(0), c.ok ? 0x04030201u : 0u);  // from face block byte 36
  }
  FontInfo info;
  EXPECT_FALSE(dm.GetCurrentLanguageFontInfo(1, 0, &info));  // index 9 past the font table
  EXPECT_EQ(dm.GetFontIndex(1, 0), 9);
  EXPECT_EQ(dm.GetFontStyleSelector(0), 1);
  EXPECT_FALSE(dm.GetCurrentLanguageFontInfo(0, 0, nullptr));
}

TEST_F(LanguagesTest, FontRecords) {
  ImageRef record;
  EXPECT_EQ(dm.GetFontRecord(1, &record).ReadCString(4), "Serif");
  EXPECT_EQ(record.U16(2), 14);
  EXPECT_FALSE(dm.GetFontRecord(3, &record) || record || dm.GetFontRecord(4, &record));  // 3: face reference 0
  EXPECT_EQ(dm.GetFontRecordForStyle(0, 6).ReadCString(4), "Mono");
  EXPECT_FALSE(dm.GetFontRecordForStyle(0, 3));
}

TEST_F(LanguagesTest, TextsAndResources) {
  const struct { uint32_t key; int32_t language; std::u16string text; } cases[] = {
      {3, -1, u"Motor"},   {5, -1, u"Pump"},   {9, -1, u"Valve"},   {4, -1, u"<none>"}, {10, -1, u"<none>"},
      {0, -1, u"<none>"},  {5, 1033, u"Pompe"}, {9, 1031, u"Valve"}, {5, 1040, u"<none>"},
  };
  for (const auto& c : cases) EXPECT_EQ(TextOf(dm.GetTextByKey(c.key, c.language)), c.text) << c.key;
  EXPECT_EQ(TextOf(dm.GetTextForLanguage(4, 1033)), u"Vanne");
  EXPECT_EQ(TextOf(dm.GetTextForLanguage(4, 7)), u"<none>");
  EXPECT_EQ(TextOf(dm.GetText(2)), u"");
  EXPECT_EQ(TextOf(dm.GetText(3)), u"<none>");
  EXPECT_EQ(TextOf(dm.GetText(6)), u"<none>");
  EXPECT_EQ(dm.GetTextCount(), 6u);
  EXPECT_EQ(dm.FindLanguageIndex(1033), 1);
  EXPECT_EQ(dm.FindLanguageIndex(1), -1);
  EXPECT_EQ(dm.GetLanguageId(2), 0u);
  // Resources need a non-zero first word.
  EXPECT_EQ(dm.GetLanguageResourceCount(), 3u);
  EXPECT_EQ(dm.GetLanguageResource(0).U32(0), 0xA0u);
  EXPECT_FALSE(dm.GetLanguageResource(1));  // first word 0
  EXPECT_FALSE(dm.GetLanguageResource(2));  // reference 0
  EXPECT_FALSE(dm.GetLanguageResource(3));
  ASSERT_TRUE(dm.SetLanguage(1, false));
  EXPECT_EQ(dm.GetCurrentLanguageId(), 1033u);
  EXPECT_EQ(TextOf(dm.GetTextByKey(3, -1)), u"Moteur");
  EXPECT_EQ(dm.GetLanguageResource(0).U32(0), 0xB0u);
}

}  // namespace
}  // namespace prt
