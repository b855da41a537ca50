// Links, pages, type-15 objects, settings, header blocks and texts by key,
// over the shared image with known contents.
#include <gtest/gtest.h>

#include "data/manager/CPRDataManager.h"
#include "tests/data/manager/RichImage.h"

namespace prt {
namespace {

using test::Ref;

class OperationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rich = test::BuildRichImage();
    ASSERT_TRUE(dm.AdoptImage(rich.bytes));
  }
  static std::u16string Text(const ImageRef& text) {
    std::u16string s;
    if (!text.ReadCountedString(s)) return u"<none>";
    return s;
  }
  test::RichImage rich;
  CPRDataManager dm;
};

TEST_F(OperationsTest, FindObjectLinkByKindAndSlot) {
  // Page links: {kind 2, slot 0}, {kind 11, slot 1}, {kind 0, slot 2}.
  struct Case {
    uint8_t kind, slot;
    int entry;  // -1: none
  };
  const Case cases[] = {
      {2, 0, 0},   {24, 0, 0},  {23, 0, 0}, {14, 0, 0}, {16, 0, 0},  {4, 0, 0},   {3, 0, 0},  {22, 0, 0},
      {9, 0, 0},   {26, 0, 0},  {28, 0, 0}, {7, 0, -1}, {11, 0, -1}, {27, 0, -1}, {24, 1, 1}, {16, 1, 1},
      {14, 1, -1}, {11, 1, 1},  {2, 1, -1}, {99, 2, 2}, {0, 2, 2},   {2, 3, -1},
  };
  const uint32_t page = Ref(test::kPage, 0);
  for (const Case& c : cases) {
    const ImageRef found = dm.FindObjectLink(page, c.kind, c.slot);
    if (c.entry < 0) {
      EXPECT_FALSE(found) << int(c.kind) << "/" << int(c.slot);
    } else {
      EXPECT_EQ(found, dm.GetObjectLink(page, c.entry)) << int(c.kind) << "/" << int(c.slot);
    }
  }
  EXPECT_EQ(dm.GetObjectLinkCount(page), 3u);
  EXPECT_EQ(dm.GetObjectLinkCount(Ref(test::kPage, 1)), 0u);
}

TEST(LinkKindTest, StoredKindSixAnswersSevenAndFiveAnswersTwentySeven) {
  test::ImageBytes img;
  const uint32_t links = img.Links({{6, 1, 0, 1}, {5, 1, 0, 2}});
  img.Records(1, 8, {{links, {}}});
  CPRDataManager dm;
  ASSERT_TRUE(dm.AdoptImage(img.Take()));
  const uint32_t page = Ref(1, 0);
  EXPECT_EQ(dm.FindObjectLink(page, 7, 0).U32(4), 1u);
  EXPECT_EQ(dm.FindObjectLink(page, 27, 0).U32(4), 2u);
  EXPECT_EQ(dm.FindObjectLink(page, 5, 0).U32(4), 2u);
  EXPECT_FALSE(dm.FindObjectLink(page, 24, 0));
  EXPECT_FALSE(dm.FindObjectLink(page, 7, 1));
}

TEST_F(OperationsTest, ReferencesAndPages) {
  uint32_t ref = 99;
  EXPECT_EQ(dm.GetObjectReferenceAt(&ref, test::kButton, 2), &ref);
  EXPECT_EQ(ref, Ref(test::kButton, 2));
  dm.GetObjectReferenceAt(&ref, test::kButton, 3);
  EXPECT_EQ(ref, 0u);
  EXPECT_EQ(dm.GetObjectReferenceAt(nullptr, test::kButton, 0), nullptr);

  struct PageCase {
    uint32_t number;
    uint32_t reference;
  };
  for (const PageCase& c : {PageCase{100, Ref(1, 0)}, PageCase{200, Ref(1, 1)}, PageCase{300, 0}}) {
    dm.FindPageByNumber(&ref, c.number);
    EXPECT_EQ(ref, c.reference) << c.number;
  }
  EXPECT_EQ(dm.GetPageNumber(Ref(1, 1)), 200u);
  EXPECT_EQ(dm.GetPageNumber(Ref(1, 2)), 0u);
  EXPECT_EQ(dm.GetObjectIndex(0x1D123456), 0x123456u);
}

TEST_F(OperationsTest, SelectPageMovesTheCurrentPage) {
  EXPECT_EQ(*dm.GetCurrentPageReference(), Ref(1, 0));
  EXPECT_EQ(dm.SelectPage(200, 0, -1, false), Ref(1, 1));
  EXPECT_EQ(*dm.GetCurrentPageReference(), Ref(1, 1));
  EXPECT_EQ(dm.SelectPage(555, 0, -1, false), Ref(1, 0));  // unknown number: index 0
  EXPECT_EQ(dm.SelectPage(200, 0, 1, false), 1u);          // SetLanguage's answer
  EXPECT_EQ(dm.GetCurrentLanguageIndex(), 1u);
  EXPECT_EQ(dm.SelectPage(100, 0, 5, false), 0u);
  EXPECT_EQ(*dm.GetCurrentPageReference(), Ref(1, 0));
  dm.Uninitialize();
  EXPECT_EQ(*dm.GetCurrentPageReference(), 0u);
}

TEST_F(OperationsTest, Type15LookupAndText) {
  struct Case {
    uint32_t number;
    uint8_t byte;
    uint32_t reference;
  };
  const Case cases[] = {{100, 12, Ref(15, 0)}, {100, 3, Ref(15, 1)}, {200, 12, Ref(15, 2)}, {200, 3, 0},
                        {100, 12, Ref(15, 0)}, {300, 12, 0},         {200, 3, 0}};
  for (const Case& c : cases) {  // repeated keys answer from the cache
    uint32_t out = 1;
    EXPECT_EQ(dm.FindType15Reference(&out, c.number, c.byte), c.reference);
    EXPECT_EQ(out, c.reference);
  }
  EXPECT_EQ(Text(dm.GetType15Text(100)), u"Pump");
  EXPECT_EQ(Text(dm.GetType15Text(200)), u"<none>");  // text 3 has reference 0
  EXPECT_EQ(Text(dm.GetType15Text(300)), u"<none>");
}

TEST_F(OperationsTest, RuntimeSettingsFlags) {
  // Flags word: bits 0, 4 and 10 set.
  struct Case {
    uint32_t bit;
    bool (*op)(CPRDataManager&);
  };
  const Case cases[] = {
      {0, [](CPRDataManager& d) { return d.GetSettingsFlagBit0(); }},
      {2, [](CPRDataManager& d) { return d.GetSettingsFlagBit2(); }},
      {4, [](CPRDataManager& d) { return d.GetSettingsFlagBit4(); }},
      {5, [](CPRDataManager& d) { return d.GetSettingsFlagBit5(); }},
      {6, [](CPRDataManager& d) { return d.GetSettingsFlagBit6(); }},
      {7, [](CPRDataManager& d) { return d.GetSettingsFlagBit7(); }},
      {9, [](CPRDataManager& d) { return d.GetSettingsFlagBit9(); }},
      {10, [](CPRDataManager& d) { return d.GetSettingsFlagBit10(); }},
      {11, [](CPRDataManager& d) { return d.GetSettingsFlagBit11(); }},
      {12, [](CPRDataManager& d) { return d.GetSettingsFlagBit12(); }},
  };
  for (const Case& c : cases) EXPECT_EQ(c.op(dm), c.bit == 0 || c.bit == 4 || c.bit == 10) << c.bit;
  EXPECT_TRUE(dm.TestSettingsFlags(0x12));
  EXPECT_FALSE(dm.TestSettingsFlags(0x6));
  uint32_t word = 0;
  ASSERT_TRUE(dm.GetRuntimeSettingsWord0(1, &word));
  EXPECT_EQ(word, 0x411u);
  EXPECT_FALSE(dm.GetRuntimeSettingsWord0(0, &word));
  ASSERT_TRUE(dm.GetRuntimeSettingsWord1(&word));
  EXPECT_EQ(word, 111u);
  EXPECT_EQ(dm.GetRuntimeSettingsWord2(), 222u);
  EXPECT_EQ(dm.GetRuntimeSettingsByte(), 0x5A);
  EXPECT_EQ(dm.GetRuntimeSettings().U32(4), 111u);
}

TEST_F(OperationsTest, ProjectSettingsArePacked) {
  EXPECT_EQ(dm.GetProjectSettingsWord15(), 0x01020304u);
  uint32_t word = 0;
  ASSERT_TRUE(dm.GetProjectSettingsWord19(&word));
  EXPECT_EQ(word, 0x0A0B0C0Du);
  EXPECT_TRUE(dm.GetProjectSettingsFlag());
  EXPECT_EQ(dm.GetProjectSettings(), dm.GetProjectSettingsBlock());
  EXPECT_FALSE(dm.GetProjectSettingsWord19(nullptr));
}

TEST_F(OperationsTest, SettingsTablesNeedFlagBit10) {
  EXPECT_EQ(dm.FindSettingsEntryByName("ab"), 7u);
  EXPECT_EQ(dm.FindSettingsEntryByName("abcd"), 8u);
  EXPECT_EQ(dm.FindSettingsEntryByName("a"), 0u);
  EXPECT_EQ(dm.FindSettingsEntryByName("abcde"), 0u);
  EXPECT_EQ(dm.FindSettingsEntry(8).ReadCString(0).substr(0, 4), "abcd");
  EXPECT_FALSE(dm.FindSettingsEntry(9));
  uint32_t value = 0;
  ASSERT_TRUE(dm.GetSettingsTable20Entry(1, &value));
  EXPECT_EQ(value, 71u);
  EXPECT_FALSE(dm.GetSettingsTable20Entry(2, &value));
  ASSERT_TRUE(dm.GetSettingsTable20Trailer(&value));
  EXPECT_EQ(value, 99u);

  // The same image with flag bit 10 cleared.
  std::vector<uint8_t> bytes = rich.bytes;
  const uint32_t settings = bytes[76] | (bytes[77] << 8) | (bytes[78] << 16) | (bytes[79] << 24);  // header word 19
  bytes[settings + 1] &= static_cast<uint8_t>(~0x04);
  CPRDataManager plain;
  ASSERT_TRUE(plain.AdoptImage(bytes));
  EXPECT_FALSE(plain.GetSettingsFlagBit10());
  EXPECT_TRUE(plain.GetSettingsFlagBit4());
  EXPECT_EQ(plain.FindSettingsEntryByName("ab"), 0u);
  EXPECT_FALSE(plain.FindSettingsEntry(7));
  EXPECT_FALSE(plain.GetSettingsTable20Entry(0, &value));
  EXPECT_FALSE(plain.GetSettingsTable20Trailer(&value));
}

TEST_F(OperationsTest, HeaderBlocks) {
  EXPECT_EQ(dm.GetHeaderBlock13().Offset(), rich.block13);
  EXPECT_EQ(dm.GetHeaderBlock11Entry(1).Offset(), rich.block11Entry1);
  EXPECT_FALSE(dm.GetHeaderBlock11Entry(0));
  EXPECT_FALSE(dm.GetHeaderBlock11Entry(4));  // beyond the last valid entry
  EXPECT_FALSE(dm.GetHeaderBlock11Entry(13));
  EXPECT_EQ(dm.GetHeaderBlock11Item(2, 0).Offset(), rich.block11Item2[0]);
  EXPECT_EQ(dm.GetHeaderBlock11Item(2, 1).Offset(), rich.block11Item2[1]);
  EXPECT_FALSE(dm.GetHeaderBlock11Item(2, 2));
  EXPECT_EQ(dm.GetHeaderBlock11Item(3, 0).Offset(), rich.block11Item3);
  EXPECT_FALSE(dm.GetHeaderBlock11Item(1, 0));
  EXPECT_EQ(dm.GetHeaderBlock11().U32(16), 3u);
}

TEST_F(OperationsTest, TextsByLanguageAndKey) {
  struct Case {
    uint32_t key;
    int32_t language;
    std::u16string text;
  };
  const Case cases[] = {
      {3, -1, u"Motor"},     {5, -1, u"Pump"},      {9, -1, u"Valve"},      {4, -1, u"<none>"},
      {10, -1, u"<none>"},   {0, -1, u"<none>"},    {5, 1033, u"Pompe"},    {9, 1031, u"Valve"},
      {5, 1040, u"<none>"},
  };
  for (const Case& c : cases) EXPECT_EQ(Text(dm.GetTextByKey(c.key, c.language)), c.text) << c.key;

  EXPECT_EQ(Text(dm.GetTextForLanguage(4, 1033)), u"Vanne");
  EXPECT_EQ(Text(dm.GetTextForLanguage(4, 7)), u"<none>");
  EXPECT_EQ(Text(dm.GetText(2)), u"");
  EXPECT_EQ(Text(dm.GetText(3)), u"<none>");
  EXPECT_EQ(Text(dm.GetText(6)), u"<none>");
  EXPECT_EQ(dm.GetTextCount(), 6u);
  EXPECT_EQ(dm.FindLanguageIndex(1033), 1);
  EXPECT_EQ(dm.FindLanguageIndex(1), -1);
  EXPECT_EQ(dm.GetLanguageId(1), 1033u);
  EXPECT_EQ(dm.GetLanguageId(2), 0u);
  EXPECT_EQ(dm.GetCurrentLanguageId(), 1031u);
  ASSERT_TRUE(dm.SetLanguage(1, false));
  EXPECT_EQ(dm.GetCurrentLanguageId(), 1033u);
  EXPECT_EQ(Text(dm.GetTextByKey(3, -1)), u"Moteur");
}

TEST_F(OperationsTest, SecondObjectTextMapWantsANonEmptyText) {
  struct Case {
    uint32_t reference;
    bool found;
    std::u16string text;
  };
  const Case cases[] = {{Ref(29, 0), true, u"Valve"}, {Ref(29, 1), false, u""}, {Ref(29, 2), false, u""},
                        {Ref(4, 0), false, u""}};
  for (const Case& c : cases) {
    DataValue value;
    value.SetValue(DataValue::kInt32, 5);
    EXPECT_EQ(dm.GetObjectTextEx(c.reference, &value), c.found) << std::hex << c.reference;
    if (c.found) {
      EXPECT_EQ(value.TypeCode(), DataValue::kBorrowedText);
      EXPECT_EQ(value.TextCopy(), c.text);
    } else {
      EXPECT_EQ(value.TypeCode(), DataValue::kEmpty);  // reset even when nothing is found
    }
  }
  EXPECT_FALSE(dm.GetObjectTextEx(Ref(29, 0), nullptr));
}

TEST_F(OperationsTest, LanguageResources) {
  EXPECT_EQ(dm.GetLanguageResourceCount(), 3u);
  EXPECT_EQ(dm.GetLanguageResource(0).Offset(), rich.resourceA + 4);
  EXPECT_FALSE(dm.GetLanguageResource(1));  // first word 0
  EXPECT_FALSE(dm.GetLanguageResource(2));  // reference 0
  EXPECT_FALSE(dm.GetLanguageResource(3));
  EXPECT_TRUE(dm.GetLanguageResourceTable());
}

TEST_F(OperationsTest, FontRecordForStyle) {
  // Language 0, font 0: indexes {0, 1, 2, 3}; selector 6 picks variant 2.
  EXPECT_EQ(dm.GetFontRecordForStyle(0, 6).ReadCString(4), "Mono");
  EXPECT_EQ(dm.GetFontRecordForStyle(0, 1).ReadCString(4), "Serif");
  EXPECT_FALSE(dm.GetFontRecordForStyle(0, 3));  // no face block
}

TEST_F(OperationsTest, WithoutImageEverythingIsAbsent) {
  CPRDataManager empty;
  uint32_t out = 5;
  EXPECT_EQ(empty.FindLanguageIndex(1031), 0);  // no image: index 0
  EXPECT_EQ(empty.GetLanguageCount(), 0u);
  EXPECT_FALSE(empty.GetText(0));
  EXPECT_EQ(empty.GetFontCount(), 0u);
  EXPECT_FALSE(empty.GetSettingsFlagBit0());
  EXPECT_FALSE(empty.GetRuntimeSettingsWord1(&out));
  EXPECT_FALSE(empty.GetHeaderBlock11Entry(1));
  EXPECT_EQ(empty.GetType15Text(100), ImageRef());
  EXPECT_EQ(empty.GetDataSetName(), "");
  empty.FindPageByNumber(&out, 100);
  EXPECT_EQ(out, 0u);
}

}  // namespace
}  // namespace prt
