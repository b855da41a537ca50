#pragma once
// Compiles one saved .qml document into the QML engine's cache form
// (.qmlc beside it). Safe to call from two threads on different files.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Error.h"
#include "platform/FileSystem.h"

class QString;

namespace prt {

// A compile that could be done: the compiler may still have rejected the
// document, which then has no cache.
struct Compiled {
  bool rejected = false;
  std::string message;  // the compiler's line for a rejected document
  uint64_t cacheSize = 0;  // the cache written, unless rejected
  uint64_t cacheHash = 0;  // platform::ContentHash of its bytes
  platform::FileInfo cacheFile;  // which file it is
};

class QmlCacheGen {
 public:
  // A document that does not compile is no failure: the run goes on. A
  // document that cannot be read (Step::Read) or a cache that cannot be
  // written (Step::Write) is one.
  static Result<Compiled> MiniQmlCacheGen(const std::u16string& path);
  // The same for `text`, the bytes just saved at `path`: they are not read back.
  static Result<Compiled> MiniQmlCacheGen(const std::u16string& path, std::string_view text);
  // The same for saved bytes that decode to `units`: no surrogate among
  // them, and a zero unit after them. The compiler reads them in place.
  static Result<Compiled> MiniQmlCacheGen(const std::u16string& path, std::u16string_view units);

 private:
  static Result<Compiled> Compile(const std::u16string& path, const QString& contents);
};

// A Step::Read or Step::Write error on `path`.
Error FileError(Error::Step step, std::u16string path, std::error_code code);

}  // namespace prt
