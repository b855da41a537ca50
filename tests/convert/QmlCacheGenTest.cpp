#include <gtest/gtest.h>

#include "convert/QmlCacheGen.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::string Document(int width) {
  return "import QtQuick\n\nItem {\nid: item1\nwidth: " + std::to_string(width) +
         "\nheight: 20\n\nItem {\nx: 5\n}\n}\n";
}

// The cache lies beside the source, replaces an older one whole, and stays
// when a later compile fails.
TEST(QmlCacheGen, WritesCacheBesideSource) {
  TempDir dir;
  WriteFile(dir / "p.qml", Document(10));
  QmlCacheGen::MiniQmlCacheGen(dir.Wide("p.qml"));
  const std::string cache = ReadFile(dir / "p.qmlc");
  EXPECT_TRUE(cache.starts_with("qv4cdata"));
  EXPECT_EQ(ReadFile(dir / "p.qml"), Document(10));
  EXPECT_EQ(test::Files(dir.Path()).size(), 2u);  // no temporary left behind

  WriteFile(dir / "p.qmlc", cache + std::string(4096, 'x'));
  QmlCacheGen::MiniQmlCacheGen(dir.Wide("p.qml"));
  EXPECT_EQ(ReadFile(dir / "p.qmlc"), cache);

  WriteFile(dir / "p.qml", "Item {");
  testing::internal::CaptureStderr();
  EXPECT_TRUE(QmlCacheGen::MiniQmlCacheGen(dir.Wide("p.qml")).ok);  // the run goes on
  EXPECT_TRUE(testing::internal::GetCapturedStderr().starts_with("Error compiling qml file: "));
  EXPECT_EQ(ReadFile(dir / "p.qmlc"), cache);
}

// Unlike a document Qt rejects, one that cannot be read or a cache that
// cannot be written fails, unprinted, naming the file and the reason.
TEST(QmlCacheGen, FileThatCannotBeReadOrWrittenFails) {
  TempDir dir;
  WriteFile(dir / "blocked.qml", Document(1));
  std::filesystem::create_directory(dir / "blocked.qmlc");
  const struct { const char *name, *failed; std::errc error; bool reading; } cases[] = {
      {"missing.qml", "missing.qml", std::errc::no_such_file_or_directory, true},
      {"blocked.qml", "blocked.qmlc", std::errc::is_a_directory, false},
  };
  for (const auto& c : cases) {
    testing::internal::CaptureStderr();
    const FileStatus status = QmlCacheGen::MiniQmlCacheGen(dir.Wide(c.name));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.name;
    EXPECT_FALSE(status.ok) << c.name;
    EXPECT_EQ(status.path, dir.Wide(c.failed));
    EXPECT_EQ(status.error, c.error) << c.name;
    EXPECT_EQ(status.reading, c.reading) << c.name;
  }
  EXPECT_EQ(test::Files(dir.Path()).size(), 1u);  // no temporary left beside blocked.qml
}

TEST(QmlCacheGen, OnlyLowerCaseQmlSuffixIsCompiled) {
  TempDir dir;
  for (const char* name : {"a.QML", "b.Qml", "c.qml.txt", "d.qmlx", "eqml"}) {
    WriteFile(dir / name, Document(1));
    testing::internal::CaptureStderr();
    QmlCacheGen::MiniQmlCacheGen(dir.Wide(name));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << name;
  }
  EXPECT_EQ(test::Files(dir.Path()).size(), 5u);
}

}  // namespace
}  // namespace prt
