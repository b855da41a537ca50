// Loading the configuration file of a data set and the stored language.
// The project path is set once per process, so these tests have a program
// of their own.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "data/image/ContainerError.h"
#include "data/manager/CPRFileNameGenerator.h"
#include "platform/SystemError.h"
#include "tests/data/manager/RichDataset.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

namespace fs = std::filesystem;
using test::WriteFile;

// Two languages with one text each; `container` adds container options.
std::string Plant(const std::string& container = "{}") {
  return R"({"name": "Plant", "languages": [{"id": 7}, {"id": 9}], "texts": [["Start", "Beginn"]],
             "container": )" + container + "}";
}

class InitializeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::WriteDataset(dir_ / "plant.prt", Plant());
    CPRFileNameGenerator::GetInstance().InitializeOnce();
    ASSERT_TRUE(CPRFileNameGenerator::GetInstance().SetProjectPath(dir_.Wide("plant.prt")));
  }
  void SetUp() override {
    fs::remove(Work("plant.rt_file.LANG"));
    fs::remove(Work("plant.rt_file.CONN"));
    test::WriteDataset(Work("plant.prt"), Plant());
  }
  static fs::path Work(const char* file) { return dir_ / "SimWork" / file; }

  static inline test::TempDir dir_;
};

TEST_F(InitializeTest, LoadsTheConfigurationAndTheStoredLanguage) {
  const struct { const char* name; std::optional<std::string> file; uint32_t language; } cases[] = {
      {"stored language", std::string("\1\0\0\0", 4), 1},
      {"index past the languages", std::string("\7\0\0\0", 4), 0},
      {"high byte set", std::string("\1\0\0\1", 4), 0},
      {"short file", "\1", 1},
      {"longer file", std::string("\1\0\0\0\5\5", 6), 1},
      {"empty file", "", 0},
      {"missing file", std::nullopt, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(Work("plant.rt_file.LANG"));
    if (c.file) WriteFile(Work("plant.rt_file.LANG"), *c.file);
    CPRDataManager dm;
    ASSERT_TRUE(dm.Initialize());
    EXPECT_TRUE(dm.IsInitialized());
    EXPECT_EQ(dm.GetDataSetName(), "Plant");
    EXPECT_EQ(dm.GetCurrentLanguageIndex(), c.language);
    // References were rebased to image offsets.
    EXPECT_EQ(test::TextOf(dm.GetText(0)), c.language ? u"Beginn" : u"Start");
    EXPECT_TRUE(fs::exists(Work("plant.rt_file.LANG")));  // a missing one is created
  }
}

// A load that fails names the file and the reason and leaves nothing loaded,
// not even an earlier image: a refused image, a missing working copy, and a
// FIFO in place of the working copy or its language file, which fails at
// once: nothing is read from it. (Each file's other refusals are those of
// the shared loaders, tested with them.)
TEST_F(InitializeTest, RefusedDataLeavesNothingLoaded) {
  const auto fifo = [](const char* file) { return [=] { ASSERT_EQ(::mkfifo(Work(file).c_str(), 0600), 0); }; };
  const struct { const char* file; std::function<void()> prepare; std::string why; } cases[] = {
      {"plant.prt", [] { test::WriteDataset(Work("plant.prt"), Plant(R"({"corrupt": "wrongImageMagic"})")); },
       "the runtime image has an unknown signature"},
      {"plant.prt", [] {}, "No such file or directory"},
      {"plant.prt", fifo("plant.prt"), "not a regular file"},
      {"plant.rt_file.LANG", fifo("plant.rt_file.LANG"), "not a regular file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why + " " + c.file);
    fs::remove(Work(c.file));
    c.prepare();
    CPRDataManager dm;
    ASSERT_TRUE(dm.AdoptImage(test::ImageFromJson(Plant())));
    ::alarm(20);  // a regression blocks on the FIFO: end it as a failure
    const Status loaded = dm.Load();
    ::alarm(0);
    ASSERT_FALSE(loaded);
    // A broken container says where in it; the system's errors say which file.
    if (const auto* system = loaded.Error().As<platform::SystemError>())
      EXPECT_EQ(system->path, dir_.Wide(fs::path("SimWork") / c.file));
    else
      EXPECT_TRUE(loaded.Error().Is<ContainerError>());
    const std::string why = loaded.Error().Reason();
    EXPECT_EQ(why.substr(0, c.why.size()), c.why);
    EXPECT_FALSE(dm.IsInitialized());
    EXPECT_EQ(dm.GetLanguageCount(), 0u);
    fs::remove(Work(c.file));
    test::WriteDataset(Work("plant.prt"), Plant());
  }
  CPRDataManager dm;
  EXPECT_TRUE(dm.Load());
}

// The process-wide manager: a failed initialise-once is tried again. The
// state files lie beside the working copy; unloading forgets the image.
TEST_F(InitializeTest, InitialiseOnceRetriesThenStoresStateAndUnloads) {
  test::WriteDataset(Work("plant.prt"), Plant(R"({"corrupt": "wrongImageMagic"})"));
  CPRDataManager& dm = CPRDataManager::GetInstance();
  EXPECT_EQ(&dm, &CPRDataManager::GetInstance());
  EXPECT_FALSE(dm.InitializeOnce());
  EXPECT_FALSE(dm.IsInitialisedFlag());
  test::WriteDataset(Work("plant.prt"), Plant());
  WriteFile(Work("plant.rt_file.LANG"), std::string("\1\0\0\0", 4));
  EXPECT_TRUE(dm.InitializeOnce());
  EXPECT_TRUE(dm.IsInitialized());
  EXPECT_EQ(test::TextOf(dm.GetText(0)), u"Beginn");
  EXPECT_EQ(*dm.GetCurrentPageReference(), 1u << 24);

  const uint32_t key = 3;
  ASSERT_TRUE(dm.StoreConnectionRecord(&key, "ab", 2) && dm.SetLanguage(0, true));
  EXPECT_EQ(fs::file_size(Work("plant.rt_file.CONN")), 10u);
  EXPECT_EQ(test::ReadFile(Work("plant.rt_file.LANG")), std::string(4, '\0'));
  dm.Uninitialize();
  EXPECT_FALSE(dm.IsInitialized());
  EXPECT_FALSE(dm.GetText(0));
  EXPECT_EQ(dm.GetCurrentLanguageIndex(), 0u);
}

}  // namespace
}  // namespace prt
