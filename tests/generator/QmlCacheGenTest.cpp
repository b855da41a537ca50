#include "generator/QmlCacheGen.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/generator/PipelineTestUtil.h"

namespace prt {
namespace {

using testutil::ReadAll;
using testutil::ScratchDir;
using testutil::Wide;
using testutil::WriteAll;

std::string Document(int width) {
  return "import QtQuick\n\nItem {\nid: item1\nobjectName: \"item1\"\nwidth: " +
         std::to_string(width) + "\nheight: 20\n\nItem {\nid: child\nx: 5\n}\n}\n";
}

TEST(QmlCacheGen, WritesCacheBesideSource) {
  ScratchDir dir;
  WriteAll(dir / "page16777216.qml", Document(10));
  QmlCacheGen::MiniQmlCacheGen(Wide(dir / "page16777216.qml"));
  const std::string cache = ReadAll(dir / "page16777216.qmlc");
  ASSERT_GT(cache.size(), 8u);
  EXPECT_EQ(cache.substr(0, 8), "qv4cdata");
  EXPECT_EQ(ReadAll(dir / "page16777216.qml"), Document(10));
  // Nothing else: the save file leaves no temporary behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
}

TEST(QmlCacheGen, SyntaxErrorPrintsPrefixedMessageAndLeavesNoCache) {
  ScratchDir dir;
  const auto path = dir / "bad.qml";
  WriteAll(path, "import QtQuick\nItem {\nwidth: 10 +\n}\n");
  ::testing::internal::CaptureStderr();
  QmlCacheGen::MiniQmlCacheGen(Wide(path));
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("Error compiling qml file: " + path.string() + ":4:1: error:", 0), 0u) << err;
  EXPECT_FALSE(std::filesystem::exists(dir / "bad.qmlc"));
  EXPECT_TRUE(std::filesystem::exists(path));
}

TEST(QmlCacheGen, FailedCompileKeepsEarlierCache) {
  ScratchDir dir;
  const auto path = dir / "p.qml";
  WriteAll(path, Document(10));
  QmlCacheGen::MiniQmlCacheGen(Wide(path));
  const std::string good = ReadAll(dir / "p.qmlc");
  WriteAll(path, "Item {");
  ::testing::internal::CaptureStderr();
  QmlCacheGen::MiniQmlCacheGen(Wide(path));
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(ReadAll(dir / "p.qmlc"), good);
}

TEST(QmlCacheGen, OnlyLowerCaseQmlSuffixIsCompiled) {
  ScratchDir dir;
  for (const char* name : {"a.QML", "b.Qml", "c.qml.txt", "d.qmlx", "eqml"}) {
    WriteAll(dir / name, Document(1));
    ::testing::internal::CaptureStderr();
    QmlCacheGen::MiniQmlCacheGen(Wide(dir / name));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << name;
    EXPECT_FALSE(std::filesystem::exists(dir / (std::string(name) + "c"))) << name;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 5);
}

TEST(QmlCacheGen, RecompileReplacesWholeCache) {
  ScratchDir dir;
  const auto path = dir / "p.qml";
  WriteAll(path, Document(10));
  QmlCacheGen::MiniQmlCacheGen(Wide(path));
  const std::string first = ReadAll(dir / "p.qmlc");
  // A longer stale file must not leave a tail behind.
  WriteAll(dir / "p.qmlc", first + std::string(4096, 'x'));
  QmlCacheGen::MiniQmlCacheGen(Wide(path));
  EXPECT_EQ(ReadAll(dir / "p.qmlc"), first);
  WriteAll(path, Document(11));
  QmlCacheGen::MiniQmlCacheGen(Wide(path));
  EXPECT_NE(ReadAll(dir / "p.qmlc"), first);
}

// Both workers compile at once; the shared warning interface and the
// compiler must give the same bytes as a lone compile.
TEST(QmlCacheGen, ConcurrentCompilesMatchSequentialOnes) {
  ScratchDir seq;
  ScratchDir par;
  constexpr int kFiles = 24;
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "f" + std::to_string(i) + ".qml";
    WriteAll(seq / name, Document(i));
    WriteAll(par / name, Document(i));
    QmlCacheGen::MiniQmlCacheGen(Wide(seq / name));
  }
  auto compileEvery = [&par](int first) {
    for (int i = first; i < kFiles; i += 2)
      QmlCacheGen::MiniQmlCacheGen(Wide(par / ("f" + std::to_string(i) + ".qml")));
  };
  std::thread other(compileEvery, 1);
  compileEvery(0);
  other.join();
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "f" + std::to_string(i) + ".qmlc";
    EXPECT_EQ(ReadAll(par / name), ReadAll(seq / name)) << name;
  }
}

}  // namespace
}  // namespace prt
