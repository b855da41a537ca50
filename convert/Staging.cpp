#include "convert/Staging.h"

#include <algorithm>
#include <filesystem>

#include "platform/Paths.h"
#include "platform/Text.h"

namespace prt {

namespace {

namespace pf = prt::platform;
using Stage = RunError::Stage;

const std::u16string kStaging(kStagingName);

// Empties the existing staging folder, reporting each entry; false when it
// could not be walked or an entry stayed.
bool Empty(const pf::FolderHandle& output, const OutputPaths& paths, RunReport& report) {
  // Walked without following a link in its place or inside it.
  const pf::SysResult<pf::FolderHandle> staging = output.OpenFolder(kStaging);
  const auto names = [&]() -> pf::SysResult<std::vector<std::u16string>> {
    if (!staging) return Fail(staging.Error());
    return staging->List();
  }();
  if (!names) {
    report.NotWalked({pf::Op::List, paths.staging, names.Error().code});
    return false;
  }
  bool cleared = true;
  const std::filesystem::path shown = pf::ToPath(paths.staging);
  for (const std::u16string& name : *names) {
    const std::u16string path = pf::FromPath(shown / pf::ToPath(name));
    if (const pf::SysStatus removed = staging->Remove(name); !removed) {
      report.NotRemoved(removed.Error().On(path));
      cleared = false;
    } else {
      report.Removed(path);
    }
  }
  return cleared;
}

}  // namespace

Expected<StagingFolder, RunError> PrepareStaging(const pf::FolderHandle& output, std::error_code outputMissing,
                                                 const OutputPaths& paths, RunReport& report) {
  if (!output.Valid()) return StageFailed(Stage::Staging, pf::SystemError{pf::Op::MakeFolder, paths.staging, outputMissing});
  StagingFolder made;
  if (output.Exists(kStaging) && !Empty(output, paths, report)) {
    // Nothing of it may reach the final folder.
    pf::SysResult<std::u16string> aside = output.MoveAside(kStaging);
    if (!aside) {
      const pf::SystemError& error = aside.Error();
      return StageFailed(Stage::Staging, error.On(paths.staging, paths.output + u"/" + error.other));
    }
    made.aside = std::move(*aside);
  }
  if (!output.Exists(kStaging)) {
    if (const pf::SysStatus created = output.MakeFolder(kStaging); !created)
      return StageFailed(Stage::Staging, created.Error().On(paths.staging));
  }
  // Held from before the first document is written, so that the flush
  // before the publish learns of every write-back error of the run's files.
  pf::SysResult<pf::FolderHandle> folder = output.OpenFolder(kStaging);
  if (!folder) return StageFailed(Stage::Write, folder.Error().On(paths.staging));
  made.folder = std::move(*folder);
  return made;
}

void RemoveAside(const pf::FolderHandle& output, const StagingFolder& staging, const OutputPaths& paths,
                 RunReport& report) {
  if (staging.aside.empty()) return;
  if (const pf::SysStatus removed = output.Remove(staging.aside); !removed)
    report.LeftBehind(removed.Error().On(paths.output + u"/" + staging.aside));
}

void RemoveLeftovers(const pf::FolderHandle& output) {
  const pf::SysResult<std::vector<std::u16string>> names = output.List();
  if (!names) return;
  const auto aside = [](std::u16string_view name, std::u16string_view of) {
    if (!name.starts_with(of) || !name.substr(of.size()).starts_with(kAsideInfix)) return false;
    const std::u16string_view n = name.substr(of.size() + kAsideInfix.size());
    return !n.empty() && std::all_of(n.begin(), n.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
  };
  for (const std::u16string& name : *names)
    if (name == kCopyingName || aside(name, kCopyingName) || aside(name, kStagingName))
      static_cast<void>(output.Remove(name).HasValue());
}

}  // namespace prt
