// Runtime and project settings, their tables and the header blocks.
#include <gtest/gtest.h>

#include "tests/data/manager/RichDataset.h"

namespace prt {
namespace {

using SettingsTest = test::RichTest;

TEST_F(SettingsTest, FlagsWordsAndPackedProjectSettings) {
  // Flags word: bits 0, 4 and 10 set.
  EXPECT_TRUE(dm.GetSettingsFlagBit0() && dm.GetSettingsFlagBit4() && dm.GetSettingsFlagBit10());
  EXPECT_FALSE(dm.GetSettingsFlagBit2() || dm.GetSettingsFlagBit5() || dm.GetSettingsFlagBit6() ||
               dm.GetSettingsFlagBit7() || dm.GetSettingsFlagBit9() || dm.GetSettingsFlagBit11() ||
               dm.GetSettingsFlagBit12());
  EXPECT_TRUE(dm.TestSettingsFlags(0x12));
  EXPECT_FALSE(dm.TestSettingsFlags(0x6));
  uint32_t word = 0, word1 = 0;
  EXPECT_FALSE(dm.GetRuntimeSettingsWord0(0, &word));
  ASSERT_TRUE(dm.GetRuntimeSettingsWord0(1, &word) && dm.GetRuntimeSettingsWord1(&word1));
  EXPECT_EQ(word, 0x411u);
  EXPECT_EQ(word1, 111u);
  EXPECT_EQ(dm.GetProjectSettingsWord15(), 0x01020304u);  // unaligned
  ASSERT_TRUE(dm.GetProjectSettingsWord19(&word));
  EXPECT_EQ(word, 0x0A0B0C0Du);
  EXPECT_TRUE(dm.GetProjectSettingsFlag());
}

TEST_F(SettingsTest, TablesNeedFlagBit10) {
  EXPECT_EQ(dm.FindSettingsEntryByName("ab"), 7u);
  EXPECT_EQ(dm.FindSettingsEntryByName("abcd"), 8u);
  EXPECT_EQ(dm.FindSettingsEntryByName("abcde"), 0u);
  EXPECT_EQ(dm.FindSettingsEntry(8).ReadCString(0).substr(0, 4), "abcd");
  EXPECT_FALSE(dm.FindSettingsEntry(9));
  uint32_t value = 0, trailer = 0;
  ASSERT_TRUE(dm.GetSettingsTable20Entry(1, &value) && dm.GetSettingsTable20Trailer(&trailer));
  EXPECT_EQ(value, 71u);
  EXPECT_EQ(trailer, 99u);
  EXPECT_FALSE(dm.GetSettingsTable20Entry(2, &value));

  std::string json = test::kRich;
  ASSERT_TRUE(dm.AdoptImage(test::ImageFromJson(json.replace(json.find("\"flags\": 1041"), 13, "\"flags\": 17"))));
  EXPECT_EQ(dm.FindSettingsEntryByName("ab"), 0u);
  EXPECT_FALSE(dm.FindSettingsEntry(7) || dm.GetSettingsTable20Entry(0, &value) ||
               dm.GetSettingsTable20Trailer(&value));
}

TEST_F(SettingsTest, HeaderBlocks) {
  EXPECT_EQ(dm.GetHeaderBlock13().U8(0), 13);
  EXPECT_EQ(dm.GetHeaderBlock11().U32(16), 3u);
  EXPECT_EQ(dm.GetHeaderBlock11Entry(1).U8(0), 17);
  // Entry 4 is stored, but beyond the last valid entry.
  EXPECT_FALSE(dm.GetHeaderBlock11Entry(0) || dm.GetHeaderBlock11Entry(4) || dm.GetHeaderBlock11Entry(13));
  EXPECT_EQ(dm.GetHeaderBlock11Item(2, 1).U8(0), 33);
  EXPECT_EQ(dm.GetHeaderBlock11Item(3, 0).U8(0), 48);
  EXPECT_FALSE(dm.GetHeaderBlock11Item(2, 2) || dm.GetHeaderBlock11Item(1, 0));
}

TEST(WithoutImageTest, EverythingIsAbsent) {
  CPRDataManager empty;
  uint32_t out = 5;
  uint8_t status = 0;
  DataValue value;
  value.SetValue(DataValue::kInt32, 5);
  EXPECT_EQ(empty.FindLanguageIndex(1031), 0);  // no image: index 0
  EXPECT_FALSE(empty.GetText(0) || empty.GetRuntimeSettingsWord1(&out) || empty.GetHeaderBlock11Entry(1));
  EXPECT_EQ(*empty.FindPageByNumber(&out, 100), 0u);
  EXPECT_EQ(empty.MapResourceListValue(0, &value, 0), -1);
  EXPECT_EQ(empty.MapResourceListInteger(0, &value, 0), kListNotFound);
  EXPECT_EQ(empty.GetTextListEntryValue(3, 0, &status), kListNotFound);
  EXPECT_EQ(status, 128);
}

}  // namespace
}  // namespace prt
