#include "platform/Paths.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/Text.h"

namespace prt::platform {

namespace fs = std::filesystem;

std::u16string EntryName(std::u16string path) {
  while (path.size() > 1 && path.back() == u'/') path.pop_back();
  return path;
}

FolderAndName SplitFolder(const std::u16string& path) {
  const size_t sep = path.rfind(u'/');
  if (sep == std::u16string::npos) return {u".", path};
  return {sep == 0 ? u"/" : path.substr(0, sep), path.substr(sep + 1)};
}

std::u16string KernelPath(const std::u16string& path) {
  const size_t sep = path.rfind(u'/');
  if (sep == std::u16string::npos) return path;
  const fs::path folder = ToPath(path.substr(0, sep + 1));
  if (std::find(folder.begin(), folder.end(), fs::path("..")) == folder.end()) return path;
  char* resolved = ::realpath(folder.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::u16string result = WidenPath(resolved);
  std::free(resolved);
  if (result.back() != u'/') result += u'/';
  return result + path.substr(sep + 1);
}

std::u16string FullPath(const std::u16string& path) {
  if (path.empty()) return {};
  std::error_code ec;
  // With no ".." left, lexically_normal only drops "." and doubled
  // separators.
  const fs::path full = fs::absolute(ToPath(KernelPath(path)), ec);
  if (ec) return {};
  return FromPath(full.lexically_normal());
}

bool EntryExists(const std::u16string& path) {
  struct stat info {};
  return ::lstat(ToPath(path).c_str(), &info) == 0;
}

bool Exists(const std::u16string& path) {
  struct stat info {};
  return ::stat(ToPath(path).c_str(), &info) == 0;
}

SysResult<uint64_t> RegularFileSize(const std::u16string& path) {
  struct stat st {};
  std::error_code code;
  if (::stat(NarrowPath(path).c_str(), &st) != 0) code = ErrnoError(errno);
  else if (S_ISDIR(st.st_mode)) code = std::make_error_code(std::errc::is_a_directory);
  else if (!S_ISREG(st.st_mode)) code = NotRegularFile();
  if (code) return Fail(SystemError{.op = Op::Stat, .path = path, .code = code});
  return static_cast<uint64_t>(st.st_size);
}

bool NameRule::Matches(std::u16string_view name) const {
  const size_t fixed = prefix.size() + suffix.size();
  return (anyMiddle ? name.size() >= fixed : name.size() == fixed) && name.starts_with(prefix) && name.ends_with(suffix);
}

bool IsOneName(std::u16string_view name) {
  return !name.empty() && name != u"." && name != u".." && name.find_first_of(std::u16string_view(u"/\0", 2)) ==
                                                                  std::u16string_view::npos;
}

}  // namespace prt::platform
