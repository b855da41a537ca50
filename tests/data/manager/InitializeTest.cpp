// Loading the configuration file of a data set and the stored language.
// The project path is set once per process, so these tests have a program
// of their own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "data/files/CPRFileNameGenerator.h"
#include "data/manager/CPRDataManager.h"
#include "tests/data/manager/ImageBytes.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

constexpr uint32_t kPointerBase = 0x10000;

void Append32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t Le32At(const std::vector<uint8_t>& b, uint32_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// A little-endian container around `image`: opaque layout, the given pointer
// fields rebased to kPointerBase (null stays 0), an optional name section.
std::vector<uint8_t> Container(std::vector<uint8_t> image, const std::vector<uint32_t>& pointers,
                               const std::u16string& name) {
  for (uint32_t p : pointers) {
    const uint32_t v = Le32At(image, p);
    if (v != 0)
      for (int i = 0; i < 4; ++i) image[p + i] = static_cast<uint8_t>((v + kPointerBase) >> (8 * i));
  }
  std::vector<uint8_t> out = {'T', 'r', '@', 'N', 'Q', '-', 'T', 'r', 'a', 'n', 's', 'f', 'e', 'r',
                              0xFF, 0xFE, 0, 0, 0, 0, 0, 0, 0, 0};
  const size_t headerLengthAt = out.size();
  Append32(out, 0);

  const size_t layoutStart = out.size();
  Append32(out, 1000);
  Append32(out, 0);
  Append32(out, 0);
  for (size_t left = image.size(); left > 0;) {
    const uint8_t chunk = static_cast<uint8_t>(std::min<size_t>(left, 255));
    out.push_back(0);
    out.push_back(chunk);
    left -= chunk;
  }
  for (int i = 0; i < 4; ++i) out[layoutStart + 8 + i] = static_cast<uint8_t>((out.size() - layoutStart) >> (8 * i));

  Append32(out, 2000);
  Append32(out, 0);
  Append32(out, 12 + 8 + 4 * static_cast<uint32_t>(pointers.size()));
  Append32(out, kPointerBase);
  Append32(out, 0);
  for (uint32_t p : pointers) Append32(out, p);

  if (!name.empty()) {
    Append32(out, 5000);
    Append32(out, 0);
    Append32(out, 12 + 2 + 2 * static_cast<uint32_t>(name.size()));
    out.push_back(static_cast<uint8_t>(name.size()));
    out.push_back(0);
    for (char16_t c : name) {
      out.push_back(static_cast<uint8_t>(c));
      out.push_back(static_cast<uint8_t>(c >> 8));
    }
  }
  for (int i = 0; i < 4; ++i) out[headerLengthAt + i] = static_cast<uint8_t>(out.size() >> (8 * i));
  out.insert(out.end(), image.begin(), image.end());
  return out;
}

// Two languages with one text each; answers the image and its pointer fields.
std::vector<uint8_t> TwoLanguageImage(std::vector<uint32_t>* pointers, const char* magic = "Tr@NQ-RTData") {
  test::ImageBytes img;
  test::WriteLanguages(img, 1, 0, 0, 0, {{.id = 7, .texts = {u"Start"}}, {.id = 9, .texts = {u"Beginn"}}});
  std::vector<uint8_t> bytes = img.Take();
  std::copy(magic, magic + 12, bytes.begin());
  const uint32_t header = Le32At(bytes, 24);
  *pointers = {24};
  for (uint32_t i = 0; i < 2; ++i) {
    const uint32_t arrayField = header + 20 + 20 * i + 4;
    pointers->push_back(arrayField);
    pointers->push_back(Le32At(bytes, arrayField));  // the one text reference
  }
  return bytes;
}

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class InitializeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir();
    std::vector<uint32_t> pointers;
    WriteFile(*dir_ / "plant.prt", Container(TwoLanguageImage(&pointers), pointers, u"Plant"));
    CPRFileNameGenerator::GetInstance().InitializeOnce();
    CPRFileNameGenerator::GetInstance().SetProjectPath(dir_->Wide("plant.prt"));
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::is_directory(*dir_ / "SimWork"));
    std::filesystem::remove(Work("plant.rt_file.LANG"));
    std::filesystem::remove(Work("plant.rt_file.CONN"));
    WriteGoodConfig();
  }
  static std::filesystem::path Work(const char* file) { return *dir_ / "SimWork" / file; }
  static void WriteGoodConfig() {
    std::vector<uint32_t> pointers;
    WriteFile(Work("plant.prt"), Container(TwoLanguageImage(&pointers), pointers, u"Plant"));
  }
  static std::u16string FirstText(CPRDataManager& dm) {
    std::u16string s;
    dm.GetText(0).ReadCountedString(s);
    return s;
  }

  static test::TempDir* dir_;
};

test::TempDir* InitializeTest::dir_ = nullptr;

TEST_F(InitializeTest, LoadsTheConfigurationAndTheStoredLanguage) {
  WriteFile(Work("plant.rt_file.LANG"), {1, 0, 0, 0});
  CPRDataManager dm;
  ASSERT_TRUE(dm.Initialize());
  EXPECT_TRUE(dm.IsInitialized());
  EXPECT_EQ(dm.GetDataSetName(), "Plant");
  EXPECT_EQ(dm.GetLanguageCount(), 2u);
  EXPECT_EQ(dm.GetCurrentLanguageIndex(), 1u);
  EXPECT_EQ(FirstText(dm), u"Beginn");  // references were rebased to image offsets
  EXPECT_EQ(*dm.GetCurrentPageReference(), 1u << 24);

  const uint32_t key = 3;
  ASSERT_TRUE(dm.StoreConnectionRecord(&key, "ab", 2));
  EXPECT_EQ(std::filesystem::file_size(Work("plant.rt_file.CONN")), 10u);
  ASSERT_TRUE(dm.SetLanguage(0, true));
  EXPECT_EQ(std::filesystem::file_size(Work("plant.rt_file.LANG")), 4u);

  dm.Uninitialize();
  EXPECT_FALSE(dm.IsInitialized());
  EXPECT_FALSE(dm.GetText(0));
  EXPECT_EQ(dm.GetCurrentLanguageIndex(), 0u);  // the language survives unloading
}

TEST_F(InitializeTest, LanguageFileVariants) {
  struct Case {
    const char* name;
    std::optional<std::vector<uint8_t>> file;
    uint32_t language;
  };
  const Case cases[] = {
      {"index 1", std::vector<uint8_t>{1, 0, 0, 0}, 1},
      {"index past the languages", std::vector<uint8_t>{7, 0, 0, 0}, 0},
      {"high byte set", std::vector<uint8_t>{1, 0, 0, 1}, 0},
      {"short file", std::vector<uint8_t>{1}, 1},
      {"longer file", std::vector<uint8_t>{1, 0, 0, 0, 5, 5}, 1},
      {"empty file", std::vector<uint8_t>{}, 0},
      {"missing file", std::nullopt, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(Work("plant.rt_file.LANG"));
    if (c.file) WriteFile(Work("plant.rt_file.LANG"), *c.file);
    CPRDataManager dm;
    ASSERT_TRUE(dm.Initialize());
    EXPECT_EQ(dm.GetCurrentLanguageIndex(), c.language);
    EXPECT_TRUE(std::filesystem::exists(Work("plant.rt_file.LANG")));  // a missing one is created
  }
}

TEST_F(InitializeTest, RefusedDataLeavesNothingLoaded) {
  std::vector<uint32_t> pointers;
  const std::vector<uint8_t> wrongMagic = Container(TwoLanguageImage(&pointers, "Tr@NQ-RTDatx"), pointers, u"");
  std::vector<uint8_t> badContainer = Container(TwoLanguageImage(&pointers), pointers, u"");
  badContainer[0] = 'X';
  std::vector<uint8_t> truncated = Container(TwoLanguageImage(&pointers), pointers, u"");
  truncated.pop_back();

  struct Case {
    const char* name;
    std::optional<std::vector<uint8_t>> config;
  };
  const Case cases[] = {{"image magic", wrongMagic},
                        {"container magic", badContainer},
                        {"payload one byte short", truncated},
                        {"missing file", std::nullopt}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(Work("plant.prt"));
    if (c.config) WriteFile(Work("plant.prt"), *c.config);
    CPRDataManager dm;
    ASSERT_TRUE(dm.AdoptImage(test::ImageBytes().Take()));  // an earlier image goes too
    EXPECT_FALSE(dm.Initialize());
    EXPECT_FALSE(dm.IsInitialized());
    EXPECT_EQ(dm.GetLanguageCount(), 0u);
  }
}

TEST_F(InitializeTest, FailedInitialiseOnceIsRetried) {
  std::vector<uint32_t> pointers;
  WriteFile(Work("plant.prt"), Container(TwoLanguageImage(&pointers, "Tr@NQ-RTDatA"), pointers, u""));
  CPRDataManager dm;
  EXPECT_FALSE(dm.InitializeOnce());
  EXPECT_FALSE(dm.IsInitialisedFlag());
  WriteGoodConfig();
  EXPECT_TRUE(dm.InitializeOnce());
  EXPECT_TRUE(dm.IsInitialized());
  EXPECT_EQ(FirstText(dm), u"Start");
}

TEST_F(InitializeTest, ProcessWideInstance) {
  CPRDataManager& dm = CPRDataManager::GetInstance();
  EXPECT_EQ(&dm, &CPRDataManager::GetInstance());
  ASSERT_TRUE(dm.InitializeOnce());
  EXPECT_EQ(dm.GetLanguageCount(), 2u);
  dm.Uninitialize();
}

}  // namespace
}  // namespace prt
