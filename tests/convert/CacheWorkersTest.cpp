#include <gtest/gtest.h>

#include "convert/CacheWorkers.h"
#include "convert/GenerationRun.h"
#include "convert/QmlCacheGen.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

QmlFileItemPtr Item(int32_t length, std::u16string path = u"f") {
  return std::make_shared<QmlFileItem>(QmlFileItem{length, std::move(path)});
}

// page<i>.qml, a small document, in `dir`; answers its path.
std::u16string Document(const TempDir& dir, int i) {
  const std::string name = "page" + std::to_string(i) + ".qml";
  WriteFile(dir / name, "import QtQuick\n\nItem {\nwidth: " + std::to_string(i) + "\n}\n");
  return dir.Wide(name);
}

// The longest waiting document first (lengths compared unsigned), whatever
// the order they came in; a closed queue runs dry, a stopped one at once.
TEST(CacheWorkers, QueueHandsOutLongestFirst) {
  struct Case {
    std::vector<int32_t> pushed, taken;
    bool stop;
  };
  const Case cases[] = {
      {{4, 5, 10, 7}, {10, 7, 5, 4}, false},
      {{10, 7, 5, 4}, {10, 7, 5, 4}, false},
      {{5, -1, 7}, {-1, 7, 5}, false},
      {{6, 6, 0}, {6, 6, 0}, false},
      {{}, {}, false},
      {{3, 9}, {}, true},
  };
  for (const Case& c : cases) {
    DocumentQueue queue;
    for (int32_t length : c.pushed) queue.Push(Item(length));
    c.stop ? queue.Stop() : queue.Close();
    std::vector<int32_t> taken;
    while (QmlFileItemPtr item = queue.Take()) taken.push_back(item->length);
    EXPECT_EQ(taken, c.taken) << testing::PrintToString(c.pushed);
  }
}

// Documents handed over while the workers run are all compiled, each once,
// to the bytes a lone compile gives: the workers share the compiler.
TEST(CacheWorkers, StageCompilesWhatArrivesWhileItRuns) {
  TempDir dir, alone;
  CacheStage stage(false);
  for (int i = 0; i < 24; ++i) stage.Add(Item(i, Document(dir, i)));
  EXPECT_TRUE(stage.Finish().Ok());
  for (int i = 0; i < 24; ++i) {
    QmlCacheGen::MiniQmlCacheGen(Document(alone, i));
    const std::string cache = "page" + std::to_string(i) + ".qmlc";
    EXPECT_TRUE(ReadFile(dir / cache).starts_with("qv4cdata")) << i;
    EXPECT_EQ(ReadFile(dir / cache), ReadFile(alone / cache)) << i;
  }
}

// A cache that cannot be written fails the stage, and the run's top level
// names the file and the reason; the failing worker stops the queue, so
// neither worker goes on with the rest.
TEST(CacheWorkers, CacheThatCannotBeWrittenStopsTheStageNamingIt) {
  TempDir dir;
  QmlFileItems items;
  for (int i = 0; i < 4; ++i) items.push_back(Item(100 - i, Document(dir, i)));
  std::filesystem::create_directory(dir / "page0.qmlc");  // the longest
  testing::internal::CaptureStderr();
  EXPECT_FALSE(GenerateCacheFiles(items, false));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "prt2qml: cannot write '" + (dir / "page0.qmlc").string() + "': Is a directory\n");

  // One worker alone, so that what it leaves is known.
  std::filesystem::remove(dir / "page1.qmlc");
  DocumentQueue queue;
  for (const auto& item : items) queue.Push(item);
  queue.Close();
  FileStatus result;
  ProcessQmlFiles(queue, false, result, 0);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.path, dir.Wide("page0.qmlc"));
  EXPECT_TRUE(queue.Take() == nullptr);  // page1 and the rest were dropped
  EXPECT_FALSE(std::filesystem::exists(dir / "page1.qmlc"));
}

}  // namespace
}  // namespace prt
