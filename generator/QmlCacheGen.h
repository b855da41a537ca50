#pragma once
// Compiles one saved .qml document into the QML engine's cache form
// (.qmlc beside it). Safe to call from two threads on different files.
#include <string>

namespace prt {

class QmlCacheGen {
 public:
  // Errors are printed, never returned: a document that does not compile
  // just has no cache file, and the run goes on.
  static void MiniQmlCacheGen(const std::u16string& path);
};

}  // namespace prt
