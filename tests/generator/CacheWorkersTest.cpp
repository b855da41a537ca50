#include "generator/CacheWorkers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "generator/FileCipher.h"
#include "generator/QmlCacheGen.h"
#include "tests/generator/PipelineTestUtil.h"

namespace prt {
namespace {

using testutil::ReadAll;
using testutil::ScratchDir;
using testutil::Wide;
using testutil::WriteAll;

QmlFileItems ItemsOfLengths(const std::vector<int32_t>& lengths) {
  QmlFileItems items;
  for (size_t i = 0; i < lengths.size(); ++i)
    items.push_back(std::make_shared<QmlFileItem>(QmlFileItem{lengths[i], u"f" + std::u16string(1, u'a' + i)}));
  return items;
}

std::vector<int32_t> Lengths(const QmlFileItems& items) {
  std::vector<int32_t> out;
  for (const auto& item : items) out.push_back(item->length);
  return out;
}

struct SplitCase {
  std::vector<int32_t> input;
  std::vector<int32_t> share0;
  std::vector<int32_t> share1;
  uint32_t load0;
  uint32_t load1;
};

class SplitTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitTest, GreedyByLengthLargestFirst) {
  const SplitCase& c = GetParam();
  QmlFileItems items = ItemsOfLengths(c.input);
  const WorkerShares shares = SplitShares(items);
  EXPECT_EQ(Lengths(shares.share[0]), c.share0);
  EXPECT_EQ(Lengths(shares.share[1]), c.share1);
  EXPECT_EQ(shares.load[0], c.load0);
  EXPECT_EQ(shares.load[1], c.load1);
  // The list itself is left sorted, and every item lands in exactly one share.
  std::vector<int32_t> sorted = Lengths(items);
  EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end(), [](int32_t a, int32_t b) {
    return static_cast<uint32_t>(a) > static_cast<uint32_t>(b);
  }));
  EXPECT_EQ(shares.share[0].size() + shares.share[1].size(), items.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitTest,
    ::testing::Values(SplitCase{{10, 7, 5, 4}, {10, 4}, {7, 5}, 14, 12},
                      SplitCase{{4, 5, 10, 7}, {10, 4}, {7, 5}, 14, 12},  // order of input is irrelevant
                      SplitCase{{6, 6}, {6}, {6}, 6, 6},
                      SplitCase{{9}, {9}, {}, 9, 0},
                      SplitCase{{}, {}, {}, 0, 0},
                      SplitCase{{0, 0, 0}, {0, 0, 0}, {}, 0, 0},  // ties always go to share 0
                      SplitCase{{3, 3, 3, 3, 3}, {3, 3, 3}, {3, 3}, 9, 6},
                      // Compared as unsigned: -1 is the largest length.
                      SplitCase{{5, -1, 7}, {-1}, {7, 5}, 0xFFFFFFFFu, 12}));

TEST(CacheWorkers, NoItemsSucceedsWithoutTouchingAnything) {
  QmlFileItems none;
  EXPECT_TRUE(RunCacheWorkers(none, true));
  EXPECT_TRUE(RunCacheWorkers(none, false));
}

std::string Document(int i) {
  return "import QtQuick\n\nItem {\nid: item" + std::to_string(i) + "\nwidth: " + std::to_string(i) +
         "\n" + std::string(static_cast<size_t>(i % 5), '\n') + "}\n";
}

struct SavedFiles {
  ScratchDir dir;
  QmlFileItems items;
  std::vector<std::string> texts;

  explicit SavedFiles(int count) {
    for (int i = 0; i < count; ++i) {
      const auto path = dir / ("page" + std::to_string(i) + ".qml");
      texts.push_back(Document(i));
      WriteAll(path, texts.back());
      items.push_back(std::make_shared<QmlFileItem>(
          QmlFileItem{static_cast<int32_t>(texts.back().size()), Wide(path)}));
    }
  }
  std::filesystem::path Qml(int i) const { return dir / ("page" + std::to_string(i) + ".qml"); }
  std::filesystem::path Cache(int i) const { return dir / ("page" + std::to_string(i) + ".qmlc"); }
};

// The cache of a plain copy compiled elsewhere; caches do not depend on the
// folder, so the bytes must match.
std::string ReferenceCache(const std::string& text) {
  ScratchDir ref;
  WriteAll(ref / "r.qml", text);
  QmlCacheGen::MiniQmlCacheGen(Wide(ref / "r.qml"));
  return ReadAll(ref / "r.qmlc");
}

TEST(CacheWorkers, CompilesEveryFileAndLeavesTextPlainWithoutEncrypt) {
  SavedFiles files(7);
  EXPECT_TRUE(RunCacheWorkers(files.items, false));
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(ReadAll(files.Cache(i)), ReferenceCache(files.texts[i])) << i;
    EXPECT_EQ(ReadAll(files.Qml(i)), files.texts[i]) << i;
  }
}

TEST(CacheWorkers, EncryptEnciphersAfterCompilingPlainText) {
  SavedFiles files(5);
  EXPECT_TRUE(RunCacheWorkers(files.items, true));
  for (int i = 0; i < 5; ++i) {
    const std::string stored = ReadAll(files.Qml(i));
    EXPECT_NE(stored, files.texts[i]);
    const auto plain = DecipherContent(stored);
    ASSERT_TRUE(plain.has_value()) << i;
    std::string padded = files.texts[i];
    padded.resize((padded.size() + 3) / 4 * 4, ' ');
    EXPECT_EQ(*plain, padded) << i;
    EXPECT_EQ(ReadAll(files.Cache(i)), ReferenceCache(files.texts[i])) << i;
  }
}

TEST(CacheWorkers, CompileErrorDoesNotFailTheStage) {
  SavedFiles files(3);
  WriteAll(files.Qml(1), "Item {\n");
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(RunCacheWorkers(files.items, false));
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Error compiling qml file: " + files.Qml(1).string()), std::string::npos) << err;
  EXPECT_TRUE(std::filesystem::exists(files.Cache(0)));
  EXPECT_FALSE(std::filesystem::exists(files.Cache(1)));
  EXPECT_TRUE(std::filesystem::exists(files.Cache(2)));
}

// An empty file given the largest length heads share 0: that worker stops
// at once, leaving the rest of its share untouched, while share 1 finishes.
// The length is only a little above the others, so share 0 gets more files.
TEST(CacheWorkers, EncryptionFailureStopsOnlyItsShareAndFailsTheStage) {
  SavedFiles files(5);
  WriteAll(files.Qml(0), "");
  files.items[0]->length = 60;
  QmlFileItems copy = files.items;
  const WorkerShares planned = SplitShares(copy);
  ASSERT_EQ(planned.share[0].front()->path, Wide(files.Qml(0)));
  ASSERT_GT(planned.share[0].size(), 1u);

  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(RunCacheWorkers(files.items, true));
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Encryptqml file content is empty!!!\n"), std::string::npos) << err;
  EXPECT_NE(err.find("operator () failed to encrypt qml files.\n"), std::string::npos) << err;

  for (size_t k = 1; k < planned.share[0].size(); ++k) {
    const auto path = platform::ToPath(planned.share[0][k]->path);
    EXPECT_EQ(ReadAll(path).substr(0, 14), "import QtQuick") << path;
    EXPECT_FALSE(std::filesystem::exists(path.string() + "c")) << path;
  }
  ASSERT_FALSE(planned.share[1].empty());
  for (const auto& item : planned.share[1]) {
    const auto path = platform::ToPath(item->path);
    EXPECT_NE(ReadAll(path).substr(0, 14), "import QtQuick") << path;
    EXPECT_TRUE(std::filesystem::exists(path.string() + "c")) << path;
  }
}

}  // namespace
}  // namespace prt
