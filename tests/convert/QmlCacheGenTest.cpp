#include <gtest/gtest.h>

#include "convert/QmlCacheGen.h"
#include "platform/Text.h"
#include "qml/QmlStream.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

using namespace test;

std::string Document(int width) {
  return "import QtQuick\n\nItem {\nid: item1\nwidth: " + std::to_string(width) +
         "\nheight: 20\n\nItem {\nx: 5\n}\n}\n";
}

// The cache lies beside the source, replaces an older one whole, and stays
// when a later compile fails.
TEST(QmlCacheGen, WritesCacheBesideSource) {
  TempDir dir;
  WriteFile(dir / "p.qml", Document(10));
  EXPECT_TRUE(QmlCacheGen::MiniQmlCacheGen(dir.Wide("p.qml")));
  const std::string cache = ReadFile(dir / "p.qmlc");
  EXPECT_TRUE(cache.starts_with("qv4cdata"));
  EXPECT_EQ(ReadFile(dir / "p.qml"), Document(10));
  EXPECT_EQ(test::Files(dir.Path()).size(), 2u);  // no temporary left behind

  WriteFile(dir / "p.qmlc", cache + std::string(4096, 'x'));
  EXPECT_TRUE(QmlCacheGen::MiniQmlCacheGen(dir.Wide("p.qml")));
  EXPECT_EQ(ReadFile(dir / "p.qmlc"), cache);

  WriteFile(dir / "p.qml", "Item {");
  const auto rejected = QmlCacheGen::MiniQmlCacheGen(dir.Wide("p.qml"));
  ASSERT_TRUE(rejected);  // the run goes on
  EXPECT_TRUE(rejected->rejected && rejected->message.starts_with("Error compiling qml file: ")) << rejected->message;
  EXPECT_EQ(ReadFile(dir / "p.qmlc"), cache);
}

// Unlike a document Qt rejects, one that cannot be read or a cache that
// cannot be written fails, naming the file and the reason.
TEST(QmlCacheGen, FileThatCannotBeReadOrWrittenFails) {
  TempDir dir;
  WriteFile(dir / "blocked.qml", Document(1));
  std::filesystem::create_directory(dir / "blocked.qmlc");
  using platform::Op;
  const struct { const char *name, *failed; std::errc error; Op op; } cases[] = {
      {"missing.qml", "missing.qml", std::errc::no_such_file_or_directory, Op::Read},
      {"blocked.qml", "blocked.qmlc", std::errc::is_a_directory, Op::Write},
  };
  for (const auto& c : cases) {
    const auto compiled = QmlCacheGen::MiniQmlCacheGen(dir.Wide(c.name));
    ASSERT_FALSE(compiled) << c.name;
    const platform::SystemError& e = compiled.Error();
    EXPECT_EQ(std::tie(e.path, e.code, e.op), std::tuple(dir.Wide(c.failed), std::make_error_code(c.error), c.op));
  }
  EXPECT_EQ(test::Files(dir.Path()).size(), 1u);  // no temporary left beside blocked.qml
}

// The units a document was written in compile as its saved bytes do, a
// leading byte order mark and the stream's leftovers past the end included.
TEST(QmlCacheGen, UnitsCompileAsTheirBytes) {
  TempDir dir;
  auto folder = platform::FolderHandle::Open(dir.Wide());
  ASSERT_TRUE(folder);
  const CacheFile cache{*folder, u"d.qmlc"};
  const std::u16string doc = u"import QtQuick\nItem {\nproperty string s: \"\u00e4\u20ac\u0001\"\n}\n";
  for (const std::u16string& text : {doc, u"\uFEFF" + doc, std::u16string(u"Item {\nx: 1")}) {
    QmlStream stream;
    stream << u"Item {\nx: 1 }\n}}}}}}}}}}}}}}}}}}}}}";
    stream.Clear();
    stream << text;
    const auto b = QmlCacheGen::MiniQmlCacheGen(dir.Wide("d.qml"), platform::NarrowUnits(text), cache);  // from its bytes
    const auto u = QmlCacheGen::MiniQmlCacheGen(dir.Wide("d.qml"), stream.Terminated(), cache);  // from its units
    ASSERT_TRUE(b && u);
    EXPECT_EQ(std::tie(u->rejected, u->message, u->cacheHash), std::tie(b->rejected, b->message, b->cacheHash));
  }
}

}  // namespace
}  // namespace prt
