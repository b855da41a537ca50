// The connection file's keyed records and the stored language index.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/data/manager/RichDataset.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

using test::ReadFile;
using test::WriteFile;

std::string Le32(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
// A record {u32 key, u32 length, data}.
std::string Record(uint32_t key, const std::string& data) { return Le32(key) + Le32(uint32_t(data.size())) + data; }

class StateFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dm.AdoptImage(test::ImageFromJson(R"({"languages": [{"id": 1}, {"id": 2}, {"id": 3}]})")));
    dm.SetStateFilePaths(dir.Wide("LANG"), dir.Wide("CONN"));
  }
  bool Store(uint32_t key, const std::string& data) {
    return dm.StoreConnectionRecord(&key, data.data(), static_cast<uint16_t>(data.size()));
  }
  std::optional<std::string> Load(uint32_t key) {
    char buffer[256] = {};
    uint16_t length = 0xFFFF;
    if (!dm.LoadConnectionRecord(&key, buffer, &length)) return std::nullopt;
    return std::string(buffer, length);
  }

  test::TempDir dir;
  CPRDataManager dm;
};

TEST_F(StateFilesTest, StoresAppendsAndLoadsRecords) {
  EXPECT_FALSE(Load(1));  // opening creates the missing file empty
  EXPECT_TRUE(std::filesystem::exists(dir / "CONN"));
  ASSERT_TRUE(Store(0x11, "abc"));
  ASSERT_TRUE(Store(0x22, ""));
  ASSERT_TRUE(Store(0x33, "hello"));
  EXPECT_EQ(ReadFile(dir / "CONN"), Record(0x11, "abc") + Record(0x22, "") + Record(0x33, "hello"));
  EXPECT_EQ(Load(0x33), "hello");
  EXPECT_EQ(Load(0x22), "");
  EXPECT_EQ(Load(0x11), "abc");
  EXPECT_EQ(Load(0x44), std::nullopt);
}

TEST_F(StateFilesTest, OverwritesOnlyTheFirstRecordOfAKeyWithTheSameLength) {
  const std::string before = Record(1, "aaaa") + Record(2, "bb") + Record(3, "c") + Record(2, "second");
  const struct { uint32_t key; std::string data, after; } cases[] = {  // after "": refused, file unchanged
      {2, "xy", Record(1, "aaaa") + Record(2, "xy") + Record(3, "c") + Record(2, "second")},
      {2, "xyz", ""},
      {2, "second", ""},
      {1, "", ""},
      {4, "new", before + Record(4, "new")},
  };
  for (const auto& c : cases) {
    WriteFile(dir / "CONN", before);
    EXPECT_EQ(Store(c.key, c.data), !c.after.empty()) << c.key << " " << c.data;
    EXPECT_EQ(ReadFile(dir / "CONN"), c.after.empty() ? before : c.after) << c.key << " " << c.data;
    EXPECT_EQ(Load(2), c.key == 2 && !c.after.empty() ? "xy" : "bb");
  }
}

TEST_F(StateFilesTest, RecordsStayWithinSixteenBitPositions) {
  const std::string wrapping = Le32(1) + Le32(0xFFF8);  // the next head would lie past 65535
  WriteFile(dir / "CONN", wrapping);
  EXPECT_FALSE(Load(2));
  EXPECT_FALSE(Store(2, "x"));
  EXPECT_EQ(ReadFile(dir / "CONN"), wrapping);

  WriteFile(dir / "CONN", "");
  EXPECT_TRUE(Store(7, std::string(65000, 'q')));
  EXPECT_FALSE(Store(8, std::string(600, 'r')));  // would end past 65535
  EXPECT_TRUE(Store(8, std::string(20, 'r')));
}

TEST_F(StateFilesTest, SetLanguageStoresTheIndexAtTheStartOfTheFile) {
  WriteFile(dir / "LANG", "\x09\x09\x09\x09\xEE\xFF");
  ASSERT_TRUE(dm.SetLanguage(2, true));
  EXPECT_EQ(ReadFile(dir / "LANG"), std::string("\x02\0\0\0\xEE\xFF", 6));
  ASSERT_TRUE(dm.SetLanguage(-1, true));
  EXPECT_EQ(ReadFile(dir / "LANG"), std::string("\0\0\0\0\xEE\xFF", 6));
  ASSERT_TRUE(dm.SetLanguage(1, false));  // without the store flag the file is untouched
  EXPECT_FALSE(dm.SetLanguage(3, true));
  EXPECT_EQ(ReadFile(dir / "LANG")[0], 0);
  std::filesystem::remove(dir / "LANG");
  ASSERT_TRUE(dm.SetLanguage(1, true));  // a missing file is created
  EXPECT_EQ(ReadFile(dir / "LANG"), Le32(1));

  dm.SetStateFilePaths(dir.Wide("missing/LANG"), dir.Wide("missing/CONN"));
  EXPECT_FALSE(Store(1, "a"));
  EXPECT_FALSE(Load(1));
  EXPECT_FALSE(dm.SetLanguage(2, true));
  EXPECT_EQ(dm.GetCurrentLanguageIndex(), 2u);  // switched even though not stored
  uint32_t key = 1;
  EXPECT_FALSE(dm.StoreConnectionRecord(nullptr, "a", 1));
  EXPECT_FALSE(dm.LoadConnectionRecord(&key, nullptr, nullptr));
}

}  // namespace
}  // namespace prt
