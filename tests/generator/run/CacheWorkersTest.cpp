#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "generator/run/CacheWorkers.h"
#include "generator/text/QmlGenerator.h"
#include "platform/Text.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::vector<int32_t> Lengths(const QmlFileItems& items) {
  std::vector<int32_t> out;
  for (const auto& item : items) out.push_back(item->length);
  return out;
}

// Largest first (compared unsigned), each to the share with the smaller
// load, ties to share 0; the list itself is left sorted.
TEST(CacheWorkers, SplitSharesByLength) {
  struct Case {
    std::vector<int32_t> input, share0, share1;
    uint32_t load0, load1;
  };
  const Case cases[] = {
      {{10, 7, 5, 4}, {10, 4}, {7, 5}, 14, 12},
      {{4, 5, 10, 7}, {10, 4}, {7, 5}, 14, 12},
      {{6, 6}, {6}, {6}, 6, 6},
      {{9}, {9}, {}, 9, 0},
      {{}, {}, {}, 0, 0},
      {{0, 0, 0}, {0, 0, 0}, {}, 0, 0},
      {{5, -1, 7}, {-1}, {7, 5}, 0xFFFFFFFFu, 12},
  };
  for (const Case& c : cases) {
    QmlFileItems items;
    for (int32_t length : c.input) items.push_back(std::make_shared<QmlFileItem>(QmlFileItem{length, u"f"}));
    const WorkerShares shares = SplitShares(items);
    EXPECT_EQ(Lengths(shares.share[0]), c.share0) << testing::PrintToString(c.input);
    EXPECT_EQ(Lengths(shares.share[1]), c.share1) << testing::PrintToString(c.input);
    EXPECT_EQ(shares.load[0], c.load0);
    EXPECT_EQ(shares.load[1], c.load1);
    std::vector<uint32_t> sorted;
    for (int32_t length : Lengths(items)) sorted.push_back(static_cast<uint32_t>(length));
    EXPECT_TRUE(std::is_sorted(sorted.rbegin(), sorted.rend()));
  }
}

// An empty file given the largest length heads share 0: that worker stops
// at once, leaving the rest of its share untouched, while share 1 finishes.
// The length is only a little above the others, so share 0 gets more files.
TEST(CacheWorkers, EncryptionFailureStopsOnlyItsShareAndFailsTheStage) {
  TempDir dir;
  QmlFileItems items;
  for (int i = 0; i < 5; ++i) {
    const std::string text = i == 0 ? "" : "import QtQuick\n\nItem {\nwidth: " + std::to_string(i) + "\n}\n";
    WriteFile(dir / ("page" + std::to_string(i) + ".qml"), text);
    const int32_t length = i == 0 ? 60 : static_cast<int32_t>(text.size());
    items.push_back(
        std::make_shared<QmlFileItem>(QmlFileItem{length, dir.Wide("page" + std::to_string(i) + ".qml")}));
  }
  QmlFileItems copy = items;
  const WorkerShares planned = SplitShares(copy);
  ASSERT_EQ(planned.share[0].front()->path, dir.Wide("page0.qml"));
  ASSERT_GT(planned.share[0].size(), 1u);
  ASSERT_FALSE(planned.share[1].empty());

  testing::internal::CaptureStderr();
  const CacheStageResult result = RunCacheWorkers(items, true);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(result.Ok());
  EXPECT_EQ(result.worker[0].path, dir.Wide("page0.qml"));
  EXPECT_TRUE(result.worker[1].ok);
  EXPECT_NE(err.find("Encryptqml file content is empty!!!\n"), std::string::npos) << err;
  EXPECT_NE(err.find("operator () failed to encrypt qml files.\n"), std::string::npos) << err;
  for (int s = 0; s < 2; ++s) {
    for (size_t k = s == 0 ? 1 : 0; k < planned.share[s].size(); ++k) {
      const auto path = platform::ToPath(planned.share[s][k]->path);
      EXPECT_EQ(ReadFile(path).starts_with("import QtQuick"), s == 0) << path;
      EXPECT_EQ(std::filesystem::exists(path.string() + "c"), s == 1) << path;
    }
  }
}

// A cache that cannot be written ends its worker's share and fails the
// stage; the run's top level names the file and the reason.
TEST(CacheWorkers, CacheThatCannotBeWrittenFailsTheStageNamingIt) {
  TempDir dir;
  QmlFileItems items;
  for (int i = 0; i < 4; ++i) {
    const std::string name = "page" + std::to_string(i) + ".qml";
    WriteFile(dir / name, "import QtQuick\n\nItem {\nwidth: " + std::to_string(i) + "\n}\n");
    items.push_back(std::make_shared<QmlFileItem>(QmlFileItem{100 - i, dir.Wide(name)}));
  }
  std::filesystem::create_directory(dir / "page0.qmlc");  // share 0's first file
  QmlGenerator generator;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(generator.GenerateCacheFiles(items));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "prt2qml: cannot write '" + (dir / "page0.qmlc").string() + "': Is a directory\n");
  // Shares by length: page0 and page3, page1 and page2.
  EXPECT_FALSE(std::filesystem::exists(dir / "page3.qmlc"));  // share 0 stopped
  EXPECT_TRUE(std::filesystem::exists(dir / "page2.qmlc"));   // share 1 went on
}

}  // namespace
}  // namespace prt
