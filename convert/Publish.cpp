#include "convert/Publish.h"

#include <filesystem>
#include <vector>

#include "platform/Paths.h"
#include "platform/Text.h"

namespace prt {

namespace {

namespace pf = prt::platform;

const std::u16string kStaging(kStagingName);
const std::u16string kFinal(kFinalName);
const std::u16string kCopying(kCopyingName);

Unexpected<RunError> PublishFailed(pf::SystemError error) {
  return Fail(RunError{.stage = RunError::Stage::Publish, .cause = Error(std::move(error))});
}

// The final folder without its trailing separator, and the copy's sibling.
std::u16string FinalEntry(const OutputPaths& paths) { return pf::EntryName(paths.final); }
std::u16string CopyingEntry(const OutputPaths& paths) { return FinalEntry(paths) + u"_copying"; }

// The folder the final folder lies in, as shown.
std::u16string ParentShown(const OutputPaths& paths) {
  const std::filesystem::path parent = pf::ToPath(FinalEntry(paths)).parent_path();
  return parent.empty() ? u"." : pf::FromPath(parent);
}

// Puts the folder `fresh` in place of the final folder in one step.
// Afterwards `fresh` names the old final folder, if there was one: then it
// answers true.
pf::SysResult<bool> SwapIntoPlace(const pf::FolderHandle& output, const std::u16string& fresh) {
  const bool exchanged = output.Exists(kFinal);
  const pf::SysStatus swapped = exchanged ? output.Exchange(fresh, kFinal) : output.Rename(fresh, kFinal);
  if (!swapped) return Fail(swapped.Error());
  return exchanged;
}

// Removes the old content `name` holds now. What cannot be removed (an
// entry of another user, an immutable file) is moved aside, so that no
// later run finds it under a name it uses, and is reported.
void DiscardOld(const pf::FolderHandle& output, const std::u16string& name, const std::u16string& shown,
                const OutputPaths& paths, RunReport& report) {
  const pf::SysStatus removed = output.Remove(name);
  if (removed) return;
  const pf::SysResult<std::u16string> aside = output.MoveAside(name);
  report.LeftBehind(removed.Error().On(aside ? paths.output + u"/" + *aside : shown));
}

Expected<void, RunError> SyncParent(const pf::FolderHandle& output, const OutputPaths& paths) {
  if (const pf::SysStatus synced = output.Sync(); !synced) return PublishFailed(synced.Error().On(ParentShown(paths)));
  return {};
}

// Copies every file of the staging folder into a fresh `copying` folder
// and writes them to the disk.
Expected<void, RunError> CopyFiles(const pf::FolderHandle& output, const pf::FolderHandle& staging,
                                   const OutputPaths& paths, RunReport& report) {
  const std::u16string copying = CopyingEntry(paths);
  const pf::SysResult<std::vector<std::u16string>> names = staging.List();
  if (!names) return PublishFailed(names.Error().On(paths.staging));
  // A leftover of a killed copy goes first.
  if (const pf::SysStatus removed = output.Remove(kCopying); !removed) return PublishFailed(removed.Error().On(copying));
  if (const pf::SysStatus made = output.MakeFolder(kCopying); !made) return PublishFailed(made.Error().On(copying));
  const pf::SysResult<pf::FolderHandle> folder = output.OpenFolder(kCopying);
  if (!folder) return PublishFailed(folder.Error().On(copying));
  const std::filesystem::path stagingShown = pf::ToPath(paths.staging);
  for (const std::u16string& name : *names) {
    const std::u16string from = pf::FromPath(stagingShown / pf::ToPath(name));
    if (const pf::SysStatus copied = staging.CopyTo(name, *folder, name); !copied)
      return PublishFailed(copied.Error().On(from, copying + u"/" + name));
    report.Copied(from, paths.final);
  }
  // One flush of the file system: the run's files are many and small.
  if (const pf::SysStatus synced = folder->SyncFileSystem(); !synced) return PublishFailed(synced.Error().On(copying));
  return {};
}

}  // namespace

Expected<Published, RunError> PublishStaging(const pf::FolderHandle& output, const pf::FolderHandle& staging,
                                             const OutputPaths& paths, RunReport& report) {
  const pf::SysResult<bool> exchanged = SwapIntoPlace(output, kStaging);
  if (!exchanged) {
    report.Detour(exchanged.Error().On(paths.staging, paths.final));
    return PublishByCopy(output, staging, paths, report);
  }
  // The new folder is in place either way; it is only not yet known to be
  // on disk, so the run cannot count as done.
  if (auto synced = SyncParent(output, paths); !synced) return Fail(synced.Error());
  // The old content, now under the staging name; what a kill leaves here
  // the next run's staging preparation removes.
  if (*exchanged) DiscardOld(output, kStaging, pf::EntryName(paths.staging), paths, report);
  return Published::Moved;
}

Expected<Published, RunError> PublishByCopy(const pf::FolderHandle& output, const pf::FolderHandle& staging,
                                            const OutputPaths& paths, RunReport& report) {
  if (auto copied = CopyFiles(output, staging, paths, report); !copied) {
    static_cast<void>(output.Remove(kCopying).HasValue());
    return Fail(copied.Error());
  }
  const pf::SysResult<bool> exchanged = SwapIntoPlace(output, kCopying);
  if (!exchanged) {
    static_cast<void>(output.Remove(kCopying).HasValue());
    return PublishFailed(exchanged.Error().On(CopyingEntry(paths), paths.final));
  }
  auto synced = SyncParent(output, paths);
  if (*exchanged) DiscardOld(output, kCopying, CopyingEntry(paths), paths, report);
  if (!synced) return Fail(synced.Error());
  return Published::Copied;
}

}  // namespace prt
