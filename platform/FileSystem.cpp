#include "platform/FileSystem.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "platform/Text.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#if defined(__unix__)
#include <unistd.h>
#endif

namespace prt::platform {

namespace fs = std::filesystem;

std::u16string FullPath(const std::u16string& path) {
  if (path.empty()) return {};
  std::error_code ec;
  // lexically_normal folds "." and ".." as a full-path service does,
  // without following links.
  const fs::path full = fs::absolute(ToPath(path), ec);
  if (ec) return {};
  return FromPath(full.lexically_normal());
}

CreatedDir CreateDirectory(const std::u16string& path) {
  std::error_code ec;
  if (fs::create_directory(ToPath(path), ec)) return {CreateDirResult::Created, {}};
  if (ec) return {CreateDirResult::Failed, ec.message()};
  return {CreateDirResult::Existed, {}};
}

bool FileExists(const std::u16string& path) {
  std::error_code ec;
  return fs::exists(ToPath(path), ec);
}

int64_t LastWriteTimeMs(const std::u16string& path) {
  const fs::path p = ToPath(path);
  if (!std::ifstream(p, std::ios::binary).is_open()) return 0;
  std::error_code ec;
  const auto t = fs::last_write_time(p, ec);
  if (ec) return 0;
  return std::chrono::floor<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

bool MatchesPattern(std::u16string_view name, std::u16string_view pattern) {
  // Greedy match with one backtrack point: the last `*` seen.
  size_t n = 0, p = 0;
  size_t starP = std::u16string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && pattern[p] == name[n]) {
      ++p, ++n;
    } else if (starP != std::u16string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

FoundFiles FindFiles(const std::u16string& folder, const std::u16string& pattern) {
  FoundFiles found;
  std::error_code ec;
  fs::directory_iterator it(folder.empty() ? fs::path(".") : ToPath(folder), ec);
  for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
    std::error_code typeEc;
    if (it->is_directory(typeEc)) continue;
    std::u16string name = FromPath(it->path().filename());
    if (MatchesPattern(name, pattern)) found.names.push_back(std::move(name));
  }
  if (ec) {
    found.reason = ec.message();
    return found;
  }
  std::sort(found.names.begin(), found.names.end());
  found.ranToEnd = true;
  return found;
}

Failure DeleteFile(const std::u16string& path) {
  std::error_code ec;
  if (fs::remove(ToPath(path), ec) && !ec) return std::nullopt;
  return ec ? ec.message() : std::make_error_code(std::errc::no_such_file_or_directory).message();
}

Failure CopyFileKeepTime(const std::u16string& from, const std::u16string& to) {
  const fs::path src = ToPath(from);
  const fs::path dst = ToPath(to);
  std::error_code ec;
  if (fs::copy_file(src, dst, fs::copy_options::overwrite_existing, ec) && !ec) {
    const auto time = fs::last_write_time(src, ec);
    if (!ec) fs::last_write_time(dst, time, ec);
    if (!ec) return std::nullopt;
  }
  return ec ? ec.message() : std::make_error_code(std::errc::io_error).message();
}

std::FILE* OpenStream(const std::u16string& path, const char* mode) {
  if (mode == nullptr) return nullptr;
  // The name's own bytes are the native path; no std::filesystem::path is needed.
  return std::fopen(NarrowPath(path).c_str(), mode);
}

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Unbuffered: large transfers go straight to the system either way, and a
// buffer would only cost an allocation per file.
File OpenUnbuffered(const std::u16string& path, const char* mode) {
  File f(OpenStream(path, mode));
  if (f) std::setvbuf(f.get(), nullptr, _IONBF, 0);
  return f;
}

// Every byte of `data` in one transfer (none for empty data).
bool WriteAll(std::FILE* f, std::string_view data) {
  return data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
}

std::optional<uint64_t> EndPosition(std::FILE* f) {
  if (std::fseek(f, 0, SEEK_END) != 0) return std::nullopt;
  const long end = std::ftell(f);
  if (end < 0) return std::nullopt;
  return static_cast<uint64_t>(end);
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::u16string& path) {
  File f = OpenUnbuffered(path, "rb");
  if (!f) return std::nullopt;
  std::string content;
  if (const auto size = EndPosition(f.get()); size && *size > 0 && std::fseek(f.get(), 0, SEEK_SET) == 0) {
    content.resize(static_cast<size_t>(*size));
    content.resize(std::fread(content.data(), 1, content.size(), f.get()));
  }
  // A file that cannot seek, or that grew meanwhile, is read on to its end.
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0;) content.append(chunk, n);
  return content;
}

WriteOutcome WriteWholeFile(const std::u16string& path, std::string_view data) {
  File f = OpenUnbuffered(path, "wb");
  if (!f) return WriteOutcome::NotOpened;
  return WriteAll(f.get(), data) ? WriteOutcome::Written : WriteOutcome::Short;
}

WriteOutcome OverwriteWholeFile(const std::u16string& path, std::string_view data) {
  File f = OpenUnbuffered(path, "r+b");
  if (!f) return WriteWholeFile(path, data);
  if (!WriteAll(f.get(), data)) return WriteOutcome::Short;
  const auto end = EndPosition(f.get());
  if (!end) return WriteOutcome::Short;
  if (*end > data.size()) {
    f.reset();
    std::error_code ec;
    fs::resize_file(ToPath(path), data.size(), ec);
    if (ec) return WriteOutcome::Short;
  }
  return WriteOutcome::Written;
}

std::optional<uint64_t> ReadableFileSize(const std::u16string& path) {
  File f = OpenUnbuffered(path, "rb");
  if (!f) return std::nullopt;
  return EndPosition(f.get());
}

void PrepareProcess() {
  static char buffer[BUFSIZ];
  std::setvbuf(stdout, buffer, _IOLBF, sizeof buffer);
#if defined(__GLIBC__)
  mallopt(M_TOP_PAD, 16 << 20);
#endif
}

void FlushFileSystems() {
#if defined(__unix__)
  ::sync();
#endif
}

}  // namespace prt::platform
