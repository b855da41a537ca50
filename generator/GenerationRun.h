#pragma once
// The steps of a generation run that work on the output folders and files.
// QmlGenerator::GenerateQmlFiles strings them together.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace prt {

// Creates `folder` (one level) when missing, or empties it, listing every
// removed entry. Creating it, or testing for it, may throw
// std::filesystem::filesystem_error; problems with the entries are printed.
void PrepareFolder(const std::u16string& folder);

// staging + "/" + type code + the signed object reference (left out for
// templates, which all share tmpl.qml) + ".qml".
std::u16string QmlFilePath(const std::u16string& staging, std::string_view typeCode, uint32_t objId);

// Writes `text` as UTF-8 without a byte order mark; every surrogate unit,
// paired or lone, is written as U+FFFD.
bool SaveQmlFile(const std::u16string& path, const std::u16string& text);

// Replaces `final` by `staging`: a rename, or when that fails a copy of the
// staging folder's files. False only when the copy failed too.
bool PublishFolder(const std::u16string& staging, const std::u16string& final);

// The path in double quotes, with quotes and backslashes escaped.
std::string QuotedPath(const std::filesystem::path& path);

}  // namespace prt
