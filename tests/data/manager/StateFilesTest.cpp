// The connection file's keyed records and the stored language index.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "data/manager/CPRDataManager.h"
#include "tests/data/manager/ImageBytes.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> Le32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

std::vector<uint8_t> Record(uint32_t key, const std::string& data) {
  std::vector<uint8_t> r = Le32(key);
  const auto len = Le32(static_cast<uint32_t>(data.size()));
  r.insert(r.end(), len.begin(), len.end());
  r.insert(r.end(), data.begin(), data.end());
  return r;
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

class StateFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ImageBytes img;
    test::WriteLanguages(img, 0, 0, 0, 0, {{.id = 1}, {.id = 2}, {.id = 3}});
    ASSERT_TRUE(dm.AdoptImage(img.Take()));
    dm.SetStateFilePaths(dir.Wide("plant.rt_file.LANG"), dir.Wide("plant.rt_file.CONN"));
  }
  std::filesystem::path Conn() const { return dir / "plant.rt_file.CONN"; }
  std::filesystem::path Lang() const { return dir / "plant.rt_file.LANG"; }

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
  EXPECT_TRUE(std::filesystem::exists(Conn()));
  ASSERT_TRUE(Store(0x11, "abc"));
  ASSERT_TRUE(Store(0x22, ""));
  ASSERT_TRUE(Store(0x33, "hello"));
  EXPECT_EQ(ReadAll(Conn()), Join({Record(0x11, "abc"), Record(0x22, ""), Record(0x33, "hello")}));
  EXPECT_EQ(Load(0x33), "hello");
  EXPECT_EQ(Load(0x22), "");
  EXPECT_EQ(Load(0x11), "abc");
  EXPECT_EQ(Load(0x44), std::nullopt);
}

TEST_F(StateFilesTest, OverwritesOnlyARecordOfTheSameLength) {
  const auto before = Join({Record(1, "aaaa"), Record(2, "bb"), Record(3, "c")});
  struct Case {
    uint32_t key;
    std::string data;
    bool ok;
    std::vector<uint8_t> after;
  };
  const Case cases[] = {
      {2, "xy", true, Join({Record(1, "aaaa"), Record(2, "xy"), Record(3, "c")})},
      {2, "xyz", false, before},  // another length: the file stays as it was
      {1, "", false, before},
      {3, "z", true, Join({Record(1, "aaaa"), Record(2, "bb"), Record(3, "z")})},
      {4, "new", true, Join({before, Record(4, "new")})},
  };
  for (const Case& c : cases) {
    WriteAll(Conn(), before);
    EXPECT_EQ(Store(c.key, c.data), c.ok) << c.key << " " << c.data;
    EXPECT_EQ(ReadAll(Conn()), c.after) << c.key << " " << c.data;
  }
}

TEST_F(StateFilesTest, FirstRecordOfAKeyWins) {
  WriteAll(Conn(), Join({Record(5, "one"), Record(5, "second")}));
  EXPECT_EQ(Load(5), "one");
  EXPECT_FALSE(Store(5, "second"));
  EXPECT_TRUE(Store(5, "uno"));
  EXPECT_EQ(ReadAll(Conn()), Join({Record(5, "uno"), Record(5, "second")}));
}

TEST_F(StateFilesTest, RecordsStayWithinSixteenBitPositions) {
  // A length that would carry the next position past 65535 ends the walk.
  auto wrapping = Le32(1);
  const auto len = Le32(0xFFF8);
  wrapping.insert(wrapping.end(), len.begin(), len.end());
  WriteAll(Conn(), wrapping);
  EXPECT_FALSE(Load(2));
  EXPECT_FALSE(Store(2, "x"));
  EXPECT_EQ(ReadAll(Conn()), wrapping);

  WriteAll(Conn(), {});
  std::string big(65000, 'q');
  EXPECT_TRUE(Store(7, big));
  EXPECT_FALSE(Store(8, std::string(600, 'r')));  // would end past 65535
  EXPECT_TRUE(Store(8, std::string(20, 'r')));
}

TEST_F(StateFilesTest, UnopenableFileAnswersFalse) {
  dm.SetStateFilePaths(dir.Wide("missing/LANG"), dir.Wide("missing/CONN"));
  EXPECT_FALSE(Store(1, "a"));
  EXPECT_FALSE(Load(1));
  EXPECT_FALSE(dm.SetLanguage(2, true));
  EXPECT_EQ(dm.GetCurrentLanguageIndex(), 2u);  // switched even though not stored
  uint32_t key = 1;
  EXPECT_FALSE(dm.StoreConnectionRecord(nullptr, "a", 1));
  EXPECT_FALSE(dm.LoadConnectionRecord(&key, nullptr, nullptr));
}

TEST_F(StateFilesTest, SetLanguageStoresTheIndexAtTheStartOfTheFile) {
  WriteAll(Lang(), {9, 9, 9, 9, 0xEE, 0xFF});
  ASSERT_TRUE(dm.SetLanguage(2, true));
  EXPECT_EQ(ReadAll(Lang()), (std::vector<uint8_t>{2, 0, 0, 0, 0xEE, 0xFF}));
  ASSERT_TRUE(dm.SetLanguage(-1, true));
  EXPECT_EQ(ReadAll(Lang()), (std::vector<uint8_t>{0, 0, 0, 0, 0xEE, 0xFF}));
  ASSERT_TRUE(dm.SetLanguage(1, false));
  EXPECT_EQ(ReadAll(Lang())[0], 0);  // without the store flag the file is untouched
  EXPECT_FALSE(dm.SetLanguage(3, true));
  EXPECT_EQ(ReadAll(Lang())[0], 0);
  std::filesystem::remove(Lang());
  ASSERT_TRUE(dm.SetLanguage(1, true));  // a missing file is created
  EXPECT_EQ(ReadAll(Lang()), (std::vector<uint8_t>{1, 0, 0, 0}));
}

}  // namespace
}  // namespace prt
