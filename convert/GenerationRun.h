#pragma once
// The generation run: the controls write each screen's document through a
// generator, and the steps below put the files in place.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/FileStatus.h"

namespace prt {

class DataSet;

// Every screen's document of `data` into <outputFolder>/qmls, enciphered
// with `encrypt`. False when a screen, a file or the cache stage failed;
// file-system errors outside its guarded steps escape.
bool GenerateQmlFiles(const DataSet& data, const std::u16string& outputFolder, bool encrypt);

// Makes `folder` (one level) a fresh, empty folder of the run's own. A
// missing one is created; an existing folder is emptied, listing every
// removed entry and every one that could not be removed. A link, a file or
// a folder that could not be emptied is never written into or followed: it
// is moved aside, to `folder` + ".stale.<n>", and a new folder is made.
// Answers that name (empty when nothing was moved), for the caller to
// remove after the run. Creating or moving may throw
// std::filesystem::filesystem_error.
std::u16string PrepareFolder(const std::u16string& folder);

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
