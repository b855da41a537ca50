#include "data/files/CPRFileNameGenerator.h"

#include <array>

#include "platform/FileSystem.h"

namespace prt {

namespace {

namespace pf = prt::platform;

size_t LastSeparator(const std::u16string& path) { return path.find_last_of(u"/\\"); }

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

// Copies every file of the data set from `sourceFolder` into `workFolder`.
// A pattern that matches nothing counts as not enumerated, like a failed
// first find; one complete pattern is enough, but any failed copy is not.
bool CopyDataSet(const std::u16string& sourceFolder, const std::u16string& workFolder, const std::u16string& name) {
  bool anyComplete = false;
  for (const std::u16string& pattern : {name + u".*.cnk", name + u".pwx", name + u".prt"}) {
    const pf::FoundFiles found = pf::FindFiles(sourceFolder, pattern);
    for (const std::u16string& file : found.names) {
      if (!pf::CopyFileKeepTime(sourceFolder + file, workFolder + file)) return false;
    }
    if (found.ranToEnd && !found.names.empty()) anyComplete = true;
  }
  return anyComplete;
}

// Removes what the previous run left that belongs to an older data set.
bool DeleteStaleFiles(const std::u16string& workFolder, const std::u16string& name) {
  for (const std::u16string& pattern : {name + u".rt_file.*", name + u".pwxEx"}) {
    for (const std::u16string& file : pf::FindFiles(workFolder, pattern).names) {
      if (!pf::DeleteFile(workFolder + file)) return false;
    }
  }
  return true;
}

}  // namespace

CPRFileNameGenerator& CPRFileNameGenerator::GetInstance() {
  static CPRFileNameGenerator instance;
  return instance;
}

void CPRFileNameGenerator::SetProjectPath(const std::u16string& path) {
  if (projectPathSet_ || path.empty()) return;
  const std::u16string full = pf::FullPath(path);
  const size_t sep = LastSeparator(full);
  if (full.empty() || sep == std::u16string::npos) return;

  const std::u16string sourceFolder = full.substr(0, sep + 1);
  const std::u16string fileName = full.substr(sep + 1);
  const std::u16string name = Stem(fileName);
  const std::u16string workFolder = sourceFolder + u"SimWork/";
  const std::u16string workPath = workFolder + fileName;

  switch (pf::CreateDirectory(workFolder)) {
    case pf::CreateDirResult::Existed:
      if (pf::LastWriteTimeMs(workPath) != pf::LastWriteTimeMs(full)) {
        if (!DeleteStaleFiles(workFolder, name) || !CopyDataSet(sourceFolder, workFolder, name)) return;
      }
      break;
    case pf::CreateDirResult::Created:
      if (!CopyDataSet(sourceFolder, workFolder, name)) return;
      break;
    case pf::CreateDirResult::Failed:
      return;
  }

  base_ = workFolder + name;
  folder_ = workFolder.substr(0, workFolder.size() - 1);
  name_ = name;
  folderCopy_ = folder_;
  projectPathSet_ = true;
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
