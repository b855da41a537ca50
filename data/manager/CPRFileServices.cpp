#include "data/manager/CPRFileServices.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <ranges>
#include <string_view>
#include <vector>

#include "data/manager/CPRFileNameGenerator.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Paths.h"

namespace prt {

struct FileHandle {
  std::FILE* stream;
};

namespace {

namespace pf = prt::platform;

// The first rule whose bits are all set in the access flags decides the
// C open mode; the last rule always applies.
struct ModeRule {
  uint32_t bits;
  const char* mode;
};
constexpr std::array kModeRules{
    ModeRule{1u << 0, "rb"},
    ModeRule{(1u << 2) | (1u << 3), "ab+"},
    ModeRule{(1u << 2) | (1u << 5), "wb+"},
    ModeRule{1u << 3, "ab"},
    ModeRule{0, "rb+"},
};

const char* ModeFor(uint32_t flags) {
  for (const ModeRule& rule : kModeRules) {
    if ((flags & rule.bits) == rule.bits) return rule.mode;
  }
  return kModeRules.back().mode;
}

// Linux names hold every character but '/' and NUL: a backslash, ':' or
// '*' is part of a name, and "c:x" is a relative name, not a drive.
bool IsRelative(const std::u16string& path) { return path.empty() || path[0] != u'/'; }

}  // namespace

CPRFileServices& CPRFileServices::GetInstance() {
  static CPRFileServices instance;
  return instance;
}

uint32_t CPRFileServices::NormalizePath(std::u16string& out, const std::u16string& in, uint32_t pathKind) {
  if (in.empty()) return kFileError;
  std::u16string path = in;
  if (pathKind == kPathKindProject && IsRelative(in)) {
    const std::u16string& folder = (names_ ? *names_ : CPRFileNameGenerator::GetInstance()).Folder();
    // Without a project folder there is nothing to resolve against.
    if (!folder.empty()) path = folder + u'/' + in;
  }
  // A NUL would end the name early at the system call: another file.
  if (path.find(u'\0') != std::u16string::npos) return kFileError;

  std::vector<std::u16string_view> parts;
  for (const auto range : std::views::split(std::u16string_view(path), u'/')) {
    const std::u16string_view part(range.begin(), range.end());
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
  }
  std::u16string result = IsRelative(path) ? u"" : u"/";
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) result += u'/';
    result += parts[i];
  }
  if (result.empty()) return kFileError;
  out = std::move(result);
  return 0;
}

FileHandle* CPRFileServices::Open(const std::u16string& path, uint32_t accessFlags, uint32_t pathKind) {
  std::u16string full;
  if (NormalizePath(full, path, pathKind) != 0) {
    errno = EINVAL;
    return nullptr;
  }
  // A missing file is created empty, whatever the flags ask for.
  const char* mode = pf::Exists(full) ? ModeFor(accessFlags) : "wb+";
  const pf::SysResult<std::FILE*> stream = pf::OpenStream(full, mode);
  if (!stream) return nullptr;
  return new FileHandle{*stream};
}

pf::SysResult<std::string> CPRFileServices::ReadExisting(const std::u16string& path, uint32_t pathKind,
                                                       size_t maxBytes) {
  std::u16string full;
  if (NormalizePath(full, path, pathKind) != 0)
    return Fail(pf::SystemError{pf::Op::Read, path, std::make_error_code(std::errc::invalid_argument)});
  const auto [folder, name] = pf::SplitFolder(full);
  const pf::SysResult<pf::FolderHandle> opened = pf::FolderHandle::Open(folder, pf::FolderHandle::Links::Refuse);
  if (!opened) return Fail(opened.Error().On(full));
  pf::SysResult<std::string> read = opened->ReadStart(name, maxBytes);
  if (!read) return Fail(read.Error().On(full));
  return read;
}

uint32_t CPRFileServices::Close(FileHandle* handle) {
  if (handle == nullptr) return kFileError;
  const int rc = std::fclose(handle->stream);
  delete handle;
  return rc == 0 ? 0 : kFileError;
}

int32_t CPRFileServices::Read(FileHandle* handle, void* buffer, int32_t count) {
  if (handle == nullptr || count < 0 || (buffer == nullptr && count > 0)) return -1;
  return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(count), handle->stream));
}

int32_t CPRFileServices::Write(FileHandle* handle, const void* buffer, int32_t count) {
  if (handle == nullptr || count < 0 || (buffer == nullptr && count > 0)) return -1;
  return static_cast<int32_t>(std::fwrite(buffer, 1, static_cast<size_t>(count), handle->stream));
}

uint32_t CPRFileServices::Seek(FileHandle* handle, int32_t offsetFromStart) {
  if (handle == nullptr || offsetFromStart < 0) return kFileError;
  return std::fseek(handle->stream, offsetFromStart, SEEK_SET) == 0 ? 0 : kFileError;
}

}  // namespace prt
