#pragma once
// Compiles one saved .qml document into the QML engine's cache form
// (.qmlc beside it). Safe to call from two threads on different files.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Descriptor.h"
#include "platform/Folders.h"

class QString;

namespace prt {

// A compile that could be done: the compiler may still have rejected the
// document, which then has no cache.
struct Compiled {
  bool rejected = false;
  std::string message;           // the compiler's line for a rejected document
  uint64_t cacheSize = 0;        // the cache written, unless rejected
  uint64_t cacheHash = 0;        // platform::ContentHash of its bytes
  platform::FileInfo cacheFile;  // which file it is
};

// Where a document's cache goes: the file `name` in `folder`, in one step
// (a second compile of one document replaces its cache whole).
struct CacheFile {
  const platform::FolderHandle& folder;
  std::u16string name;
};

class QmlCacheGen {
 public:
  // A document that does not compile is no failure: the run goes on. A
  // document that cannot be read (Op::Read) or a cache that cannot be
  // written (Op::Write, on <path>c) is one. `path` is the name the
  // compiled unit carries.
  static Expected<Compiled, platform::SystemError> MiniQmlCacheGen(const std::u16string& path);
  // The same for `text`, the bytes just saved at `path`: they are not read
  // back, and the cache goes to `cache`.
  static Expected<Compiled, platform::SystemError> MiniQmlCacheGen(const std::u16string& path, std::string_view text,
                                                                   const CacheFile& cache);
  // The same for saved bytes that decode to `units`: no surrogate among
  // them, and a zero unit after them. The compiler reads them in place.
  static Expected<Compiled, platform::SystemError> MiniQmlCacheGen(const std::u16string& path,
                                                                   std::u16string_view units, const CacheFile& cache);

 private:
  static Expected<Compiled, platform::SystemError> Compile(const std::u16string& path, const QString& contents,
                                                           const CacheFile& cache);
};

}  // namespace prt
