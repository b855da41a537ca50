#include "platform/Publish.h"

#include <filesystem>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace prt::platform {

namespace {

std::u16string ParentFolder(const std::u16string& entry) {
  const std::filesystem::path parent = ToPath(entry).parent_path();
  return parent.empty() ? u"." : FromPath(parent);
}

// Puts the folder `fresh` in place of `final` in one step. Afterwards
// `fresh` names the old final folder, if there was one (then `exchanged`
// is set).
std::error_code SwapIntoPlace(const std::u16string& fresh, const std::u16string& final, bool& exchanged) {
  exchanged = EntryExists(final);
  return exchanged ? ExchangeEntries(fresh, final) : RenameEntry(fresh, final);
}

// Removes the old content `entry` names now. What cannot be removed (an
// entry of another user, an immutable file) is moved aside, so that no
// later run finds it under a name it uses, and is reported.
void DiscardOld(const std::u16string& entry, const PublishEvents& events) {
  const std::error_code ec = RemoveTree(entry);
  if (!ec) return;
  std::u16string aside;
  events.leftBehind(PublishError("cannot remove", MoveAside(entry, aside) ? entry : aside, {}, ec));
}

Status SyncParent(const std::u16string& final) {
  const std::u16string parent = ParentFolder(final);
  if (const std::error_code ec = SyncFolder(parent)) return Fail(PublishError("cannot synchronize", parent, {}, ec));
  return {};
}

}  // namespace

Error PublishError(std::string action, std::u16string path, std::u16string other, std::error_code code) {
  return {.step = Error::Step::Publish, .path = std::move(path), .other = std::move(other), .code = code,
          .action = std::move(action)};
}

std::error_code MoveAside(const std::u16string& entry, std::u16string& aside) {
  for (uint32_t n = 0;; ++n) {
    aside = entry + u".stale." + Widen(std::to_string(n));
    if (!EntryExists(aside)) return RenameEntry(entry, aside);
  }
}

Result<Published> PublishFolder(const std::u16string& staging, const std::u16string& final,
                                const PublishEvents& events) {
  const std::u16string from = EntryName(staging);
  const std::u16string to = EntryName(final);
  bool exchanged = false;
  if (const std::error_code ec = SwapIntoPlace(from, to, exchanged)) {
    events.detour(PublishError("cannot rename", staging, final, ec));
    return PublishByCopy(staging, final, events);
  }
  // The new folder is in place either way; it is only not yet known to be
  // on disk, so the run cannot count as done.
  if (Status synced = SyncParent(to); !synced) return Fail(synced.Error());
  // The old content, now under the staging name; what a kill leaves here
  // the next run's staging preparation removes.
  if (exchanged) DiscardOld(from, events);
  return Published::Moved;
}

Result<Published> PublishByCopy(const std::u16string& staging, const std::u16string& final,
                                const PublishEvents& events) {
  const std::u16string to = EntryName(final);
  const std::u16string copying = to + u"_copying";
  const std::filesystem::path stagingPath = ToPath(staging);
  auto fail = [&](const char* action, const std::u16string& path, const std::u16string& other, std::error_code ec) {
    RemoveTree(copying);
    return Fail(PublishError(action, path, other, ec));
  };

  std::vector<std::u16string> names;
  if (std::error_code ec = ListFolder(staging, names))
    return fail("directory iterator cannot open directory", staging, {}, ec);
  // A leftover of a killed copy goes first.
  if (std::error_code ec = RemoveTree(copying)) return fail("cannot remove all", copying, {}, ec);
  if (std::error_code ec = MakeFolder(copying)) return fail("cannot create directory", copying, {}, ec);
  FolderHandle folder;
  if (std::error_code ec = folder.Open(copying)) return fail("cannot open directory", copying, {}, ec);
  for (const std::u16string& name : names) {
    const std::u16string from = FromPath(stagingPath / ToPath(name));
    const std::u16string copy = copying + u"/" + name;
    if (std::error_code ec = CopyWholeFile(from, copy)) return fail("cannot copy file", from, copy, ec);
    events.copied(from);
  }
  // One flush of the file system: the run's files are many and small.
  if (std::error_code ec = folder.SyncFileSystem()) return fail("cannot synchronize", copying, {}, ec);

  bool exchanged = false;
  if (std::error_code ec = SwapIntoPlace(copying, to, exchanged)) return fail("cannot rename", copying, final, ec);
  const Status synced = SyncParent(to);
  if (exchanged) DiscardOld(copying, events);
  if (!synced) return Fail(synced.Error());
  return Published::Copied;
}

}  // namespace prt::platform
