// Languages, texts, fonts and resources of the current language.
#include <gtest/gtest.h>

#include <functional>

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

// Key texts by binary search, and the settings words behind their checks.
TEST_F(LanguagesTest, KeyTextsAndSettingsWords) {
  const struct { uint32_t key; int32_t language; std::u16string text; } keys[] = {
      {3, -1, u"Motor"}, {5, -1, u"Pump"}, {9, 1033, u"Vanne"}, {9, 7, u"<none>"}, {4, -1, u"<none>"},
      {0, -1, u"<none>"}, {10, -1, u"<none>"},
  };
  for (const auto& k : keys) EXPECT_EQ(TextOf(dm.GetTextByKey(k.key, k.language)), k.text) << k.key;

  const struct { const char* name; bool ok; uint32_t word; std::function<bool(uint32_t*)> read; } words[] = {
      {"project 19", true, 0x0A0B0C0D, [&](uint32_t* out) { return dm.GetProjectSettingsWord19(out); }},
      {"runtime 0", true, 1041, [&](uint32_t* out) { return dm.GetRuntimeSettingsWord0(1, out); }},
      {"runtime 0 of 2", false, 0, [&](uint32_t* out) { return dm.GetRuntimeSettingsWord0(2, out); }},
      {"runtime 1", true, 111, [&](uint32_t* out) { return dm.GetRuntimeSettingsWord1(out); }},
      {"table 20 entry 1", true, 71, [&](uint32_t* out) { return dm.GetSettingsTable20Entry(1, out); }},
      {"table 20 entry 2", false, 0, [&](uint32_t* out) { return dm.GetSettingsTable20Entry(2, out); }},
      {"table 20 trailer", true, 99, [&](uint32_t* out) { return dm.GetSettingsTable20Trailer(out); }},
  };
  for (const auto& w : words) {
    uint32_t word = 0;
    EXPECT_EQ(w.read(&word), w.ok) << w.name;
    EXPECT_EQ(word, w.word) << w.name;
    EXPECT_FALSE(w.read(nullptr)) << w.name;
  }
  EXPECT_EQ(dm.FindSettingsEntryByName("abcd"), 8u);
}

// What the inspector reads per language: by index, not id, and nothing
// past the count.
TEST_F(LanguagesTest, TextsAndArraysByLanguageIndex) {
  EXPECT_EQ(TextOf(dm.GetTextInLanguage(0, 1)), u"Moteur");
  EXPECT_EQ(TextOf(dm.GetTextInLanguage(0, 2)), u"<none>");
  EXPECT_EQ(dm.GetLanguageFontNumberCount() * 10 + dm.GetLanguageStyleCount(), 23u);
  EXPECT_EQ(dm.GetLanguageFontArray(1).Ref(4).U16(0), 9);
  EXPECT_EQ(dm.GetLanguageStyleArray(1).U16(2), 4);
  EXPECT_FALSE(dm.GetLanguageFontArray(2) || dm.GetLanguageStyleArray(2));
}

TEST_F(LanguagesTest, SelectorPicksVariantAndUnderline) {
  const struct { int16_t language; uint16_t font, style; bool ok; std::string face;
                 uint32_t size, bold, italic, underline; } cases[] = {
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

}  // namespace
}  // namespace prt
