#pragma once
// The generation run: the controls write each screen's document through a
// generator, and the steps below put the files in place.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "generator/run/CacheWorkers.h"
#include "platform/FileStatus.h"

namespace prt {

class QmlGenerator;

// Every screen's document into <outputFolder>/qmls, written through
// `generator` (its `encrypt` switch enciphers them). False when a screen, a
// file or the cache stage failed; file-system errors outside its guarded
// steps escape.
bool GenerateQmlFiles(QmlGenerator& generator, const std::u16string& outputFolder);
// Compiles, and with the generator's `encrypt` enciphers, the saved files
// on two workers; prints the line naming a file that failed.
bool GenerateCacheFiles(const QmlGenerator& generator, const QmlFileItems& items);

// The bytes of documents (UTF-8, as saved) that one run may write: 32 per
// byte of the data set's image, plus 16 MiB. Real projects write one to two
// (the example 1.15, the 3,200-screen benchmark project 1.51, the random
// projects of the reference test at most 2.04); links that share a large
// target can make a small data set describe gigabytes. The caches and the
// cipher's key bytes follow from the documents and are not counted.
inline constexpr uint64_t kDocumentBytesPerImageByte = 32;
inline constexpr uint64_t kDocumentByteSlack = uint64_t{16} << 20;
constexpr uint64_t DocumentByteLimit(uint64_t imageBytes) {
  return imageBytes * kDocumentBytesPerImageByte + kDocumentByteSlack;
}

// Makes `folder` (one level) a fresh, empty folder of the run's own. A
// missing one is created; an existing folder is emptied, listing every
// removed entry and every one that could not be removed. A link, a file or
// a folder that could not be emptied is never written into or followed: it
// is moved aside, to `folder` + ".stale.<n>", and a new folder is made.
// Answers that name (empty when nothing was moved), for the caller to
// remove after the run. Creating or moving may throw
// std::filesystem::filesystem_error.
std::u16string PrepareFolder(const std::u16string& folder);

// staging + "/" + type code + the signed object reference (left out for
// templates, which all share tmpl.qml) + ".qml".
std::u16string QmlFilePath(const std::u16string& staging, std::string_view typeCode, uint32_t objId);

// Writes `text` as UTF-8 without a byte order mark; every surrogate unit,
// paired or lone, is written as U+FFFD.
FileStatus SaveQmlFile(const std::u16string& path, const std::u16string& text);

// Puts the finished `staging` folder in place of `final` in one step: it is
// exchanged with an existing `final` (whose old content is then removed)
// or renamed to it. When that is refused (staging on another file system),
// PublishByCopy follows. A kill at any moment leaves `final` whole, old or
// new. The files must already be on disk; the step itself is made durable.
bool PublishFolder(const std::u16string& staging, const std::u16string& final);
// The fallback: copies the staging folder's files into a fresh sibling of
// `final` (`final` + "_copying"), writes them to disk and puts that folder
// in place of `final` the same way. On failure `final` stays untouched and
// the sibling is removed. The staging folder stays either way.
bool PublishByCopy(const std::u16string& staging, const std::u16string& final);

// The path in double quotes, with quotes and backslashes escaped.
std::string QuotedPath(const std::filesystem::path& path);

}  // namespace prt
