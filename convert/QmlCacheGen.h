#pragma once
// Compiles one saved .qml document into the QML engine's cache form
// (.qmlc beside it). Safe to call from two threads on different files.
#include <string>

#include "platform/FileStatus.h"

namespace prt {

class QmlCacheGen {
 public:
  // A document that does not compile is printed and just has no cache
  // file; the run goes on, so that is no failure. A document that cannot
  // be read or a cache that cannot be written is one, returned unprinted.
  static FileStatus MiniQmlCacheGen(const std::u16string& path);
  // The same, leaving the document's bytes in `bytes` (empty when it was
  // not read), so that enciphering it need not read it again.
  static FileStatus MiniQmlCacheGen(const std::u16string& path, std::string& bytes);
};

}  // namespace prt
