#include <gtest/gtest.h>

#include <algorithm>

#include "generator/run/CacheWorkers.h"
#include "generator/run/GenerationRun.h"
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
  const struct { std::vector<int32_t> input, share0, share1; uint32_t load0, load1; } cases[] = {
      {{10, 7, 5, 4}, {10, 4}, {7, 5}, 14, 12},
      {{4, 5, 10, 7}, {10, 4}, {7, 5}, 14, 12},
      {{6, 6}, {6}, {6}, 6, 6},
      {{9}, {9}, {}, 9, 0},
      {{}, {}, {}, 0, 0},
      {{0, 0, 0}, {0, 0, 0}, {}, 0, 0},
      {{5, -1, 7}, {-1}, {7, 5}, 0xFFFFFFFFu, 12},
  };
  for (const auto& c : cases) {
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
  EXPECT_FALSE(GenerateCacheFiles(generator, items));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "prt2qml: cannot write '" + (dir / "page0.qmlc").string() + "': Is a directory\n");
  // Shares by length: page0 and page3, page1 and page2.
  EXPECT_FALSE(std::filesystem::exists(dir / "page3.qmlc"));  // share 0 stopped
  EXPECT_TRUE(std::filesystem::exists(dir / "page2.qmlc"));   // share 1 went on
}

}  // namespace
}  // namespace prt
