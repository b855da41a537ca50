#include "data/files/WorkingCopy.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/ContentHash.h"
#include "platform/Endian.h"
#include "platform/Files.h"
#include "platform/Limits.h"
#include "platform/Text.h"

namespace prt {

namespace {

namespace pf = prt::platform;
using Step = WorkingCopyError::Step;

// The file codes with a name ending of their own.
constexpr struct {
  uint32_t code;
  const char16_t* ending;
} kEndings[] = {
    {kFileConfig, u".prt"},
    {FileCode('P', 'A', 'S', 'S'), u".pwx"},
    {FileCode('P', 'W', 'L', 'E'), u".pwxEx"},
};

// Chunks: 'ETH0', 'IF1B', and 'R' followed by three decimal digits (recipes).
bool IsChunkCode(uint32_t code) {
  const auto digit = [code](int shift) {
    const auto c = static_cast<uint8_t>(code >> shift);
    return c >= '0' && c <= '9';
  };
  return code == FileCode('E', 'T', 'H', '0') || code == FileCode('I', 'F', '1', 'B') ||
         ((code >> 24) == 'R' && digit(16) && digit(8) && digit(0));
}

Unexpected<WorkingCopyError> Refused(Step step, std::u16string path, std::u16string folder, std::string reason) {
  return Fail(WorkingCopyError{step, std::move(path), std::move(folder), std::move(reason), {}});
}

// Beside the working copy: the hash of the data file's bytes it was taken from.
constexpr char16_t kHashSuffix[] = u".hash";
// A data file rewritten while it is copied is copied again, this often.
constexpr int kCopyAttempts = 3;
// A working folder removed while this run waited for it is made again, this often.
constexpr int kLockAttempts = 8;

std::string HashText(uint64_t hash) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

// The working copy holds the bytes of a data file whose status is `data`
// and whose bytes hash to `hash`: its size and modification time agree,
// and so does the hash stored when it was taken. A copy without a stored
// hash (from an older version) is hashed itself, and with `storeHash` the
// hash is stored when it agrees.
bool CopyMatches(const pf::FolderHandle& work, const std::u16string& fileName, const pf::FileInfo& data,
                 uint64_t hash, bool storeHash) {
  const pf::SysResult<pf::FileInfo> copy = work.Stat(fileName);
  if (!copy || !copy->regular || copy->size != data.size || copy->modifiedNs != data.modifiedNs) return false;
  const std::u16string hashName = fileName + kHashSuffix;
  if (const pf::SysResult<std::string> stored = work.Read(hashName, 64)) return *stored == HashText(hash);
  const pf::SysResult<std::string> bytes = work.Read(fileName, limits::kDataFileBytes);
  if (!bytes || pf::ContentHash::Of(*bytes) != hash) return false;
  return !storeHash || static_cast<bool>(work.Replace(hashName, HashText(hash)));
}

// A file of the data set that changed while it was read is being written.
// A write moves the file's times when it begins and may stall part way, so
// the file is read again only once its status has stayed the same this
// long: a read that looked at the times before a stalled write went on
// would take its bytes half done.
constexpr std::chrono::milliseconds kSettled{250};

void WaitUntilSettled(const std::u16string& path) {
  for (int waits = 0; waits < 8; ++waits) {
    const pf::SysResult<pf::FileInfo> info = pf::StatFile(path);
    if (!info) return;  // the read says why
    const auto changed = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::nanoseconds(info->changedNs)));
    const auto settled = changed + kSettled;
    if (std::chrono::system_clock::now() >= settled) return;
    std::this_thread::sleep_until(settled);
  }
}

// Copies the file `source` (named `file` in the working folder `folder`)
// with `copy`, which answers whether the source changed meanwhile; again,
// once the file has settled, while it changed during the copy.
template <typename Copy>
Expected<void, WorkingCopyError> CopyUnchanged(const std::u16string& source, const std::u16string& file,
                                               const std::u16string& folder, Copy copy) {
  for (int attempt = 1; attempt <= kCopyAttempts; ++attempt) {
    if (attempt > 1) WaitUntilSettled(source);
    const pf::SysResult<bool> changed = copy();
    if (!changed) return Refused(Step::CopyFile, file, folder, changed.Error().Reason());
    if (!*changed) return {};
  }
  return Refused(Step::CopyFile, file, folder,
                 "it changed while it was copied, " + std::to_string(kCopyAttempts) + " times");
}

// The data file as the run takes it.
struct DataFile {
  std::u16string full;          // absolute, as the system walks it
  std::u16string sourceFolder;  // ending in '/'
  std::u16string fileName;      // <name>.prt
  std::u16string name;
};

// Nothing is created for a data file that is not there, and no other file
// is ever read in its place.
Expected<DataFile, WorkingCopyError> CheckDataFile(const std::u16string& path) {
  const pf::SysResult<uint64_t> size = pf::RegularFileSize(path);
  if (!size) return Refused(Step::OpenData, path, {}, size.Error().Reason());
  DataFile file;
  file.full = pf::FullPath(path);
  // Linux names: only '/' separates; a backslash belongs to the name.
  const size_t sep = file.full.rfind(u'/');
  if (sep == std::u16string::npos) return Refused(Step::OpenData, path, {}, pf::SystemReason(ENOENT));
  file.sourceFolder = file.full.substr(0, sep + 1);
  file.fileName = file.full.substr(sep + 1);
  // The working copy is always <name>.prt, copied from <name>.prt: for a
  // data file named otherwise that would be another file, or none.
  if (!std::u16string_view(file.fileName).ends_with(kDataFileSuffix))
    return Refused(Step::NotPrtName, path, {}, "the data file name must end in .prt");
  if (*size > limits::kDataFileBytes)
    return Refused(Step::TooLarge, path, {},
                   pf::GroupedDigits(*size) + " bytes, more than the " + pf::GroupedDigits(limits::kDataFileBytes) +
                       " a data file may have");
  file.name = file.fileName.substr(0, file.fileName.size() - kDataFileSuffix.size());
  return file;
}

// The working folder, held and locked.
struct LockedFolder {
  pf::FolderHandle project;  // the data file's folder
  pf::FolderHandle work;
  pf::FolderLock lock;
  bool made = false;  // this run created it
};

// One attempt at locking the working folder in `project`: nullopt when the
// folder went or was replaced while this run waited for it, with the
// reason in `why`.
Expected<std::optional<LockedFolder>, WorkingCopyError> LockOnce(pf::FolderHandle& project, const std::u16string& path,
                                                                 const pf::LockWait& wait, std::string& why) {
  const std::u16string name(kWorkFolderName);
  LockedFolder locked;
  const pf::SysStatus made = project.MakeFolder(name);
  locked.made = static_cast<bool>(made);
  // An existing folder, also one a link names, is no error.
  if (!locked.made) {
    const pf::SysResult<pf::FileInfo> there = pf::StatFile(path);
    const bool folderThere = there && there->folder;
    if (made.Error().code != std::errc::file_exists || !folderThere)
      return Refused(Step::CreateFolder, path, {}, made.Error().Reason());
  }
  pf::SysResult<pf::FolderHandle> work = project.OpenFolder(name);
  if (!work) {
    const std::error_code code = work.Error().code;
    if (code != std::errc::no_such_file_or_directory && code != std::errc::not_a_directory)
      return Fail(WorkingCopyError{Step::LockFolder, path, {}, code.message(), pf::LockError{.folder = path, .code = code}});
    why = pf::SystemReason(ENOENT);
    return std::optional<LockedFolder>();
  }
  Expected<pf::FolderLock, pf::LockError> lock = pf::LockFolder(*work, wait);
  if (!lock) return Fail(WorkingCopyError{Step::LockFolder, path, {}, lock.Error().Reason(), lock.Error()});
  // A run that fails removes the folder it made, also while another waits
  // for it: the waiter finds that the name no longer holds the folder it
  // locked, and makes and locks it anew, so that no two runs share it.
  const pf::SysResult<pf::FileInfo> self = work->Status();
  const pf::SysResult<pf::FileInfo> named = project.Stat(name);
  if (!self) return Refused(Step::CreateFolder, path, {}, self.Error().Reason());
  if (!named && named.Error().code != std::errc::no_such_file_or_directory)
    return Refused(Step::CreateFolder, path, {}, named.Error().Reason());
  if (!named || named->device != self->device || named->inode != self->inode) {
    why = named ? "it was replaced while this run waited for it" : named.Error().Reason();
    return std::optional<LockedFolder>();
  }
  locked.work = std::move(*work);
  locked.lock = std::move(*lock);
  return std::optional<LockedFolder>(std::move(locked));
}

// Held from before the copy is compared until the copy goes: another run
// of the same project waits rather than copying underneath this one.
Expected<LockedFolder, WorkingCopyError> LockWorkFolder(const DataFile& file, const pf::LockWait& wait) {
  const std::u16string path = file.sourceFolder + std::u16string(kWorkFolderName);
  pf::SysResult<pf::FolderHandle> project = pf::FolderHandle::Open(file.sourceFolder);
  if (!project) return Refused(Step::CreateFolder, path, {}, project.Error().Reason());
  std::string why;
  for (int attempt = 1; attempt <= kLockAttempts; ++attempt) {
    auto locked = LockOnce(*project, path, wait, why);
    if (!locked) return Fail(locked.Error());
    if (*locked) {
      (*locked)->project = std::move(*project);
      return std::move(**locked);
    }
  }
  return Refused(Step::CreateFolder, path, {}, why);
}

// Copies the data set into the working folder `work`, each file in one
// step: <name>.*.cnk and <name>.pwx from the source folder, then, last, the
// data file from the bytes read.
Expected<void, WorkingCopyError> CopyDataSet(const DataFile& file, const pf::FolderHandle& work,
                                             const pf::FileSnapshot& data) {
  const pf::NameRule rules[] = {{file.name + u".", u".cnk", true}, {file.name + u".pwx", u"", false}};
  for (const pf::NameRule& rule : rules) {
    const pf::SysResult<std::vector<std::u16string>> files = pf::FindFiles(file.sourceFolder, rule);
    if (!files) {
      const std::u16string& folder = file.sourceFolder;
      return Refused(Step::ReadFolder, folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder, {},
                     files.Error().Reason());
    }
    for (const std::u16string& name : *files) {
      const std::u16string source = file.sourceFolder + name;
      auto copied = CopyUnchanged(source, name, work.Path(), [&] { return work.CopyIn(source, name); });
      if (!copied) return copied;
    }
  }
  const std::string_view bytes(reinterpret_cast<const char*>(data.bytes.Data()), data.bytes.Size());
  if (const pf::SysResult<pf::FileInfo> put = work.Replace(file.fileName, bytes, &data.info); !put)
    return Refused(Step::CopyFile, file.fileName, work.Path(), put.Error().Reason());
  return {};
}

// Removes what the previous run left that belongs to an older data set:
// <name>.rt_file.*, <name>.pwxEx and the stored hash, the name taken
// literally.
Expected<void, WorkingCopyError> DeleteStaleFiles(const pf::FolderHandle& work, const std::u16string& name) {
  const pf::NameRule rules[] = {
      {name + u".rt_file.", u"", true}, {name + u".pwxEx", u"", false}, {name + u".prt", kHashSuffix, false}};
  const pf::SysResult<std::vector<std::u16string>> entries = work.List();
  if (!entries) return Refused(Step::ReadFolder, work.Path(), {}, entries.Error().Reason());
  for (const std::u16string& entry : *entries) {
    if (std::none_of(std::begin(rules), std::end(rules), [&](const pf::NameRule& rule) { return rule.Matches(entry); }))
      continue;
    if (const pf::SysStatus removed = work.Remove(entry); !removed)
      return Refused(Step::DeleteFile, entry, work.Path(), removed.Error().Reason());
  }
  return {};
}

// Makes the copy the data file's bytes `data`: the stale state files go,
// the data set is copied, and its hash is stored last, so that a copy cut
// short by a kill has none and is taken again.
Expected<void, WorkingCopyError> Refresh(const DataFile& file, const pf::FolderHandle& work,
                                         const pf::FileSnapshot& data, uint64_t hash) {
  if (auto deleted = DeleteStaleFiles(work, file.name); !deleted) return deleted;
  if (auto copied = CopyDataSet(file, work, data); !copied) return copied;
  const std::u16string hashName = file.fileName + kHashSuffix;
  if (const pf::SysResult<pf::FileInfo> stored = work.Replace(hashName, HashText(hash)); !stored)
    return Refused(Step::CopyFile, hashName, work.Path(), stored.Error().Reason());
  return {};
}

}  // namespace

bool WorkingCopyIsCurrent(const std::u16string& workFolder, const std::u16string& dataFile,
                          const std::u16string& fileName) {
  const auto work = pf::FolderHandle::Open(workFolder, pf::FolderHandle::Links::Refuse);
  if (!work) return false;
  const pf::SysResult<pf::FileInfo> data = pf::StatFile(dataFile);
  if (!data) return false;
  const pf::SysResult<uint64_t> hash = pf::HashFile(dataFile);
  return hash && CopyMatches(*work, fileName, *data, *hash, false);
}

std::u16string DataSetFileName(const std::u16string& base, uint32_t code) {
  for (const auto& [known, ending] : kEndings)
    if (known == code) return base + ending;
  std::u16string text;
  for (int shift = 24; shift >= 0; shift -= 8) text.push_back(static_cast<char16_t>((code >> shift) & 0xFF));
  return base + (IsChunkCode(code) ? u'.' + text + u".cnk" : u".rt_file." + text);
}

Expected<WorkingCopy, WorkingCopyError> WorkingCopy::Prepare(const std::u16string& path,
                                                             const platform::LockWait& wait) {
  const Expected<DataFile, WorkingCopyError> file = CheckDataFile(path);
  if (!file) return Fail(file.Error());
  Expected<LockedFolder, WorkingCopyError> locked = LockWorkFolder(*file, wait);
  if (!locked) return Fail(locked.Error());
  const pf::FolderHandle& work = locked->work;
  // A folder this run made is its own only if no other run got to it first.
  const pf::SysResult<std::vector<std::u16string>> entries = work.List();
  const bool listed = entries.HasValue();  // tested whether or not the run made the folder
  const bool made = locked->made && listed && entries->empty();
  // Temporary files of a run that was killed.
  if (!made) work.RemoveTemporaries();

  // The data file is read whole, again when it changed while it was read.
  pf::FileSnapshot data;
  auto done = CopyUnchanged(file->full, file->fileName, work.Path(), [&]() -> pf::SysResult<bool> {
    pf::SysResult<pf::FileSnapshot> read = pf::ReadSnapshot(file->full, limits::kDataFileBytes);
    if (!read) return Fail(read.Error());
    data = std::move(*read);
    return data.changed;
  });
  const uint64_t hash = done ? pf::ContentHash::Of(data.bytes.Bytes()) : 0;
  if (done && (made || !CopyMatches(work, file->fileName, data.info, hash, true))) done = Refresh(*file, work, data, hash);
  if (!done) {
    // A folder made for a run that cannot go on goes again.
    if (made) static_cast<void>(locked->project.Remove(std::u16string(kWorkFolderName)).HasValue());
    return Fail(done.Error());
  }
  WorkingCopy copy;
  copy.base_ = work.Path() + u"/" + file->name;
  copy.name_ = file->name;
  copy.madeFolder_ = made;
  copy.dataHash_ = hash;
  copy.dataBytes_ = std::move(data.bytes);
  copy.folder_ = std::move(locked->work);
  copy.project_ = std::move(locked->project);
  copy.lock_ = std::move(locked->lock);
  return copy;
}

void WorkingCopy::Discard() && {
  // Removed while still locked: no other run is copying into it.
  if (madeFolder_) static_cast<void>(project_.Remove(std::u16string(kWorkFolderName)).HasValue());
  lock_ = {};
}

Expected<uint32_t, platform::SystemError> ReadStoredLanguage(const WorkingCopy& copy) {
  const std::u16string name = copy.EntryName(kFileLanguage);
  const pf::FolderHandle& work = copy.Folder();
  pf::SysResult<std::string> start = work.ReadStart(name, 4);
  // A missing file is made empty, as the data manager's file services do.
  if (!start && start.Error().code == std::errc::no_such_file_or_directory) {
    const pf::SysResult<pf::FileInfo> made = work.Create(name, {});
    start = made ? pf::SysResult<std::string>(std::string()) : Fail(made.Error());
  }
  if (!start) {
    // Unreadable, the file falls back to language 0; a FIFO, device,
    // folder or link in its place is refused: nothing may be read from it,
    // nor a file made there or through it.
    const std::error_code error = start.Error().code;
    if (error != std::errc::no_such_device_or_address && error != std::errc::is_a_directory &&
        error != std::errc::too_many_symbolic_link_levels)
      return 0u;
    return Fail(pf::SystemError{pf::Op::Read, copy.FileName(kFileLanguage), error});
  }
  uint8_t bytes[4] = {};  // a shorter file leaves the missing bytes 0
  std::memcpy(bytes, start->data(), start->size());
  return pf::LoadLE32(bytes);
}

}  // namespace prt
