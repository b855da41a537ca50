#include "data/files/CPRFileNameGenerator.h"

#include <array>
#include <cerrno>
#include <string_view>

#include "platform/FileCheck.h"
#include "platform/FileSystem.h"

namespace prt {

namespace {

namespace pf = prt::platform;

// Linux names: only '/' separates; a backslash belongs to the name.
size_t LastSeparator(const std::u16string& path) { return path.rfind(u'/'); }

// How a file code becomes the end of a file name.
enum class NameForm : uint8_t {
  Suffix,       // base + fixed suffix
  Chunk,        // base + "." + code + ".cnk"
  RuntimeFile,  // base + ".rt_file." + code
};

struct CodeRule {
  uint32_t code;
  NameForm form;
  const char16_t* suffix;
};

constexpr std::array kCodeRules{
    CodeRule{kFileConfig, NameForm::Suffix, u".prt"},
    CodeRule{FileCode('P', 'A', 'S', 'S'), NameForm::Suffix, u".pwx"},
    CodeRule{FileCode('P', 'W', 'L', 'E'), NameForm::Suffix, u".pwxEx"},
    CodeRule{FileCode('E', 'T', 'H', '0'), NameForm::Chunk, nullptr},
    CodeRule{FileCode('I', 'F', '1', 'B'), NameForm::Chunk, nullptr},
};

bool IsDigit(uint32_t c) { return c >= '0' && c <= '9'; }

// 'R' followed by three decimal digits names a recipe chunk.
bool IsRecipeCode(uint32_t code) {
  return (code >> 24) == 'R' && IsDigit((code >> 16) & 0xFF) && IsDigit((code >> 8) & 0xFF) && IsDigit(code & 0xFF);
}

NameForm FormOf(uint32_t code, const char16_t*& suffix) {
  for (const CodeRule& rule : kCodeRules) {
    if (rule.code == code) {
      suffix = rule.suffix;
      return rule.form;
    }
  }
  return IsRecipeCode(code) ? NameForm::Chunk : NameForm::RuntimeFile;
}

std::u16string CodeText(uint32_t code) {
  std::u16string text;
  for (int shift = 24; shift >= 0; shift -= 8) text.push_back(static_cast<char16_t>((code >> shift) & 0xFF));
  return text;
}

// The file name without its extension; the whole name when it has none.
std::u16string Stem(const std::u16string& fileName) {
  const size_t dot = fileName.rfind(u'.');
  return dot == std::u16string::npos ? fileName : fileName.substr(0, dot);
}

using Error = ProjectPathError;
using Step = ProjectPathError::Step;

// A folder as shown in a message: without the '/' the names were joined to.
std::u16string Shown(const std::u16string& folder) {
  return folder.size() > 1 && folder.back() == u'/' ? folder.substr(0, folder.size() - 1) : folder;
}

Error Fail(Step step, std::u16string path, std::u16string folder, std::string reason) {
  Error error;
  error.step = step;
  error.path = std::move(path);
  error.folder = std::move(folder);
  error.reason = std::move(reason);
  return error;
}

// Copies every file of the data set from `sourceFolder` into `workFolder`
// (which ends in '/'). The data file is copied last, so that after a failed
// copy its modification time still differs and the next run copies again.
std::optional<Error> CopyDataSet(const std::u16string& sourceFolder, const std::u16string& workFolder,
                                 const std::u16string& name) {
  bool any = false;
  for (const std::u16string& pattern : {name + u".*.cnk", name + u".pwx", name + u".prt"}) {
    const pf::FoundFiles found = pf::FindFiles(sourceFolder, pattern);
    if (!found.ranToEnd) return Fail(Step::ReadFolder, Shown(sourceFolder), {}, found.reason);
    for (const std::u16string& file : found.names) {
      if (auto why = pf::CopyFileKeepTime(sourceFolder + file, workFolder + file))
        return Fail(Step::CopyFile, file, Shown(workFolder), *why);
    }
    any = any || !found.names.empty();
  }
  // A data file not named <name>.prt leaves the working copy without one.
  if (!any) return Fail(Step::OpenData, sourceFolder + name + u".prt", {}, pf::SystemReason(ENOENT));
  return std::nullopt;
}

// Removes what the previous run left that belongs to an older data set.
std::optional<Error> DeleteStaleFiles(const std::u16string& workFolder, const std::u16string& name) {
  const std::u16string folder = Shown(workFolder);
  for (const std::u16string& pattern : {name + u".rt_file.*", name + u".pwxEx"}) {
    const pf::FoundFiles found = pf::FindFiles(workFolder, pattern);
    if (!found.ranToEnd) return Fail(Step::ReadFolder, folder, {}, found.reason);
    for (const std::u16string& file : found.names) {
      if (auto why = pf::DeleteFile(workFolder + file)) return Fail(Step::DeleteFile, file, folder, *why);
    }
  }
  return std::nullopt;
}

}  // namespace

CPRFileNameGenerator& CPRFileNameGenerator::GetInstance() {
  static CPRFileNameGenerator instance;
  return instance;
}

std::optional<ProjectPathError> CPRFileNameGenerator::SetProjectPath(const std::u16string& path,
                                                                      const platform::LockWait& wait) {
  if (projectPathSet_) return std::nullopt;
  // Nothing is created for a data file that is not there, and no other
  // file is ever read in its place.
  const pf::FileCheck data = pf::CheckRegularFile(path);
  if (data.kind != pf::FileKind::Regular) return Fail(Step::OpenData, path, {}, data.reason);
  const std::u16string full = pf::FullPath(path);
  const size_t sep = LastSeparator(full);
  if (full.empty() || sep == std::u16string::npos) return Fail(Step::OpenData, path, {}, pf::SystemReason(ENOENT));

  const std::u16string sourceFolder = full.substr(0, sep + 1);
  const std::u16string fileName = full.substr(sep + 1);
  // The working copy is always <name>.prt, copied from <name>.prt: for a
  // data file named otherwise that would be another file, or none.
  constexpr std::u16string_view kDataSuffix = u".prt";
  if (!std::u16string_view(fileName).ends_with(kDataSuffix))
    return Fail(Step::NotPrtName, path, {}, "the data file name must end in .prt");
  const std::u16string name = Stem(fileName);
  const std::u16string workFolder = sourceFolder + u"SimWork/";
  const std::u16string workFolderName = sourceFolder + u"SimWork";
  const std::u16string workPath = workFolder + fileName;

  const pf::CreatedDir created = pf::CreateDirectory(workFolder);
  if (created.result == pf::CreateDirResult::Failed)
    return Fail(Step::CreateFolder, workFolderName, {}, created.reason);
  // Held from before the copy is compared until the process ends: another
  // run of the same project waits rather than copying underneath this one.
  pf::LockResult lock = pf::LockFolder(workFolderName, wait);
  if (lock.status != pf::LockStatus::Locked) {
    Error error = Fail(Step::LockFolder, workFolderName, {}, lock.reason);
    error.lock = lock.status;
    error.holder = lock.holder;
    return error;
  }

  const bool made = created.result == pf::CreateDirResult::Created;
  if (made || pf::LastWriteTimeMs(workPath) != pf::LastWriteTimeMs(full)) {
    auto error = DeleteStaleFiles(workFolder, name);
    if (!error) error = CopyDataSet(sourceFolder, workFolder, name);
    if (error) {
      // A folder made for a run that cannot go on goes again.
      if (made) pf::RemoveTree(workFolderName);
      return error;
    }
  }

  base_ = workFolder + name;
  folder_ = workFolderName;
  name_ = name;
  folderCopy_ = folder_;
  workLock_ = std::move(lock.lock);
  madeFolder_ = made;
  projectPathSet_ = true;
  return std::nullopt;
}

void CPRFileNameGenerator::Discard() {
  // Removed while still locked: no other run is copying into it.
  if (projectPathSet_ && madeFolder_) pf::RemoveTree(folder_);
  Reset();
}

void CPRFileNameGenerator::Reset() {
  base_.clear();
  folder_.clear();
  name_.clear();
  folderCopy_.clear();
  projectPathSet_ = false;
  madeFolder_ = false;
  workLock_ = {};
}

uint32_t CPRFileNameGenerator::GetFileName(uint32_t code, std::u16string& out) const {
  out = base_;
  const char16_t* suffix = nullptr;
  switch (FormOf(code, suffix)) {
    case NameForm::Suffix:
      out += suffix;
      break;
    case NameForm::Chunk:
      out += u'.' + CodeText(code) + u".cnk";
      break;
    case NameForm::RuntimeFile:
      out += u".rt_file." + CodeText(code);
      break;
  }
  return 0;
}

}  // namespace prt
