#include "data/files/WorkingCopy.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/Endian.h"
#include "platform/FileCheck.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/Limits.h"

namespace prt {

namespace {

namespace pf = prt::platform;

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

using Step = Error::Step;

// A folder as shown in a message: without the '/' the names were joined to.
std::u16string Shown(const std::u16string& folder) {
  return folder.size() > 1 && folder.back() == u'/' ? folder.substr(0, folder.size() - 1) : folder;
}

Error Refused(Step step, std::u16string path, std::u16string folder, std::string reason) {
  return {.step = step, .path = std::move(path), .other = std::move(folder), .rule = std::move(reason)};
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
  pf::FileInfo copy;
  if (work.Stat(fileName, copy) || !copy.regular) return false;
  if (copy.size != data.size || copy.modifiedNs != data.modifiedNs) return false;
  const std::u16string hashName = fileName + kHashSuffix;
  std::string stored;
  if (!work.Read(hashName, stored, 64)) return stored == HashText(hash);
  uint64_t copied = 0;
  if (pf::HashFile(work.Path() + u"/" + fileName, copied) || copied != hash)
    return false;
  return !storeHash || !work.Replace(hashName, HashText(hash));
}

// A file of the data set that changed while it was read is being written.
// A write moves the file's times when it begins and may stall part way, so
// the file is read again only once its status has stayed the same this
// long: a read that looked at the times before a stalled write went on
// would take its bytes half done.
constexpr std::chrono::milliseconds kSettled{250};

void WaitUntilSettled(const std::u16string& path) {
  for (int waits = 0; waits < 8; ++waits) {
    pf::FileInfo info;
    if (pf::StatFile(path, info)) return;  // the read says why
    const auto changed = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::nanoseconds(info.changedNs)));
    const auto settled = changed + kSettled;
    if (std::chrono::system_clock::now() >= settled) return;
    std::this_thread::sleep_until(settled);
  }
}

// Copies the file `source` (named `file` in the working folder `folder`)
// with `copy`, which answers an error and sets `changed`; again, once the
// file has settled, while it changed during the copy.
template <typename Copy>
Status CopyUnchanged(const std::u16string& source, const std::u16string& file, const std::u16string& folder,
                     const bool& changed, Copy copy) {
  std::error_code ec = copy();
  for (int attempt = 1; !ec && changed && attempt < kCopyAttempts; ++attempt) {
    WaitUntilSettled(source);
    ec = copy();
  }
  if (ec) return Fail(Refused(Step::CopyFile, file, folder, ec.message()));
  if (changed)
    return Fail(Refused(Step::CopyFile, file, folder,
                        "it changed while it was copied, " + std::to_string(kCopyAttempts) + " times"));
  return {};
}

// Copies the data set into the working folder `work`, each file in one
// step: <name>.*.cnk and <name>.pwx from `sourceFolder`, then, last, the
// data file `fileName` from the bytes read.
Status CopyDataSet(const std::u16string& sourceFolder, const pf::FolderHandle& work, const std::u16string& name,
                   const std::u16string& fileName, const pf::FileSnapshot& data) {
  const std::u16string folder = work.Path();
  const pf::NameRule rules[] = {{name + u".", u".cnk", true}, {name + u".pwx", u"", false}};
  for (const pf::NameRule& rule : rules) {
    std::vector<std::u16string> files;
    if (const std::error_code ec = pf::FindFiles(sourceFolder, rule, files))
      return Fail(Refused(Step::ReadFolder, Shown(sourceFolder), {}, ec.message()));
    for (const std::u16string& file : files) {
      pf::FolderHandle::Copied copied;
      const std::u16string source = sourceFolder + file;
      Status done = CopyUnchanged(source, file, folder, copied.changed, [&] { return work.CopyIn(source, file, copied); });
      if (!done) return done;
    }
  }
  const std::string_view bytes(reinterpret_cast<const char*>(data.bytes.Data()), data.bytes.Size());
  if (const std::error_code ec = work.Replace(fileName, bytes, &data.info))
    return Fail(Refused(Step::CopyFile, fileName, folder, ec.message()));
  return {};
}

// Removes what the previous run left that belongs to an older data set:
// <name>.rt_file.*, <name>.pwxEx and the stored hash, the name taken
// literally.
Status DeleteStaleFiles(const pf::FolderHandle& work, const std::u16string& name) {
  const pf::NameRule rules[] = {
      {name + u".rt_file.", u"", true}, {name + u".pwxEx", u"", false}, {name + u".prt", kHashSuffix, false}};
  std::vector<std::u16string> entries;
  if (const std::error_code ec = work.List(entries)) return Fail(Refused(Step::ReadFolder, work.Path(), {}, ec.message()));
  for (const std::u16string& entry : entries) {
    if (std::none_of(std::begin(rules), std::end(rules), [&](const pf::NameRule& rule) { return rule.Matches(entry); }))
      continue;
    if (const std::error_code ec = work.Remove(entry)) return Fail(Refused(Step::DeleteFile, entry, work.Path(), ec.message()));
  }
  return {};
}

}  // namespace

bool WorkingCopyIsCurrent(const std::u16string& workFolder, const std::u16string& dataFile,
                          const std::u16string& fileName) {
  pf::FolderHandle work;
  pf::FileInfo data;
  uint64_t hash = 0;
  return !work.Open(workFolder, true) && !pf::StatFile(dataFile, data) && !pf::HashFile(dataFile, hash) &&
         CopyMatches(work, fileName, data, hash, false);
}

std::u16string DataSetFileName(const std::u16string& base, uint32_t code) {
  for (const auto& [known, ending] : kEndings)
    if (known == code) return base + ending;
  std::u16string text;
  for (int shift = 24; shift >= 0; shift -= 8) text.push_back(static_cast<char16_t>((code >> shift) & 0xFF));
  return base + (IsChunkCode(code) ? u'.' + text + u".cnk" : u".rt_file." + text);
}

Result<WorkingCopy> WorkingCopy::Prepare(const std::u16string& path, const platform::LockWait& wait,
                                         platform::ByteBlock* dataBytes) {
  // Nothing is created for a data file that is not there, and no other
  // file is ever read in its place.
  const pf::FileCheck data = pf::CheckRegularFile(path);
  if (data.kind != pf::FileKind::Regular) return Fail(Refused(Step::OpenData, path, {}, data.reason));
  const std::u16string full = pf::FullPath(path);
  // Linux names: only '/' separates; a backslash belongs to the name.
  const size_t sep = full.rfind(u'/');
  if (sep == std::u16string::npos)
    return Fail(Refused(Step::OpenData, path, {}, pf::SystemReason(ENOENT)));

  const std::u16string sourceFolder = full.substr(0, sep + 1);
  const std::u16string fileName = full.substr(sep + 1);
  // The working copy is always <name>.prt, copied from <name>.prt: for a
  // data file named otherwise that would be another file, or none.
  constexpr std::u16string_view kDataSuffix = u".prt";
  if (!std::u16string_view(fileName).ends_with(kDataSuffix))
    return Fail(Refused(Step::NotPrtName, path, {}, "the data file name must end in .prt"));
  if (data.size > limits::kDataFileBytes)
    return Fail(Refused(Step::TooLarge, path, {},
                           pf::GroupedDigits(data.size) + " bytes, more than the " +
                               pf::GroupedDigits(limits::kDataFileBytes) + " a data file may have"));
  const std::u16string name = fileName.substr(0, fileName.size() - kDataSuffix.size());
  const std::u16string workFolderName = sourceFolder + u"SimWork";

  // Held from before the copy is compared until the value goes: another
  // run of the same project waits rather than copying underneath this one.
  // The folder is the run's own: a link in its place is refused. A run that
  // fails removes the folder it made, also while another waits for it: the
  // waiter then finds that the path no longer names the folder it locked,
  // and makes and locks it anew, so that no two runs ever share it unlocked.
  bool made = false;
  pf::LockResult lock;
  pf::FolderHandle work;
  for (int attempt = 1;; ++attempt) {
    if (const std::error_code ec = pf::CreateFolder(workFolderName, made))
      return Fail(Refused(Step::CreateFolder, workFolderName, {}, ec.message()));
    lock = pf::LockFolder(workFolderName, wait, true);
    const bool gone = lock.status == pf::LockStatus::NoFolder;
    if (!gone && lock.status != pf::LockStatus::Locked) {
      Error error = Refused(Step::LockFolder, workFolderName, {}, lock.reason);
      error.timedOut = lock.status == pf::LockStatus::TimedOut;
      error.holderPid = lock.holder.pid;
      error.holderCommand = lock.holder.command;
      return Fail(std::move(error));
    }
    std::error_code ec = gone ? pf::ErrnoError(ENOENT) : work.Open(workFolderName, true);
    pf::FileInfo self;
    if (!ec && !(ec = work.Status(self)) && lock.lock.Locks(self.device, self.inode)) break;
    if (attempt == kLockAttempts || (ec && ec != std::errc::no_such_file_or_directory))
      return Fail(Refused(Step::CreateFolder, workFolderName, {},
                          ec ? ec.message() : "it was replaced while this run waited for it"));
  }
  // A folder this run made is its own only if no other run got to it first.
  std::vector<std::u16string> entries;
  made = made && !work.List(entries) && entries.empty();
  // Temporary files of a run that was killed.
  if (!made) work.RemoveTemporaries();

  // The data file is read whole, again when it changed while it was read.
  pf::FileSnapshot bytes;
  Status done = CopyUnchanged(full, fileName, workFolderName, bytes.changed,
                              [&] { return pf::ReadSnapshot(full, limits::kDataFileBytes, bytes); });
  const uint64_t hash = done ? pf::ContentHash::Of(bytes.bytes.Bytes()) : 0;
  if (done && (made || !CopyMatches(work, fileName, bytes.info, hash, true))) {
    done = DeleteStaleFiles(work, name);
    if (done) done = CopyDataSet(sourceFolder, work, name, fileName, bytes);
    // Stored last: a copy cut short by a kill has no hash and is taken again.
    if (done) {
      if (const std::error_code ec = work.Replace(fileName + kHashSuffix, HashText(hash)))
        done = Fail(Refused(Step::CopyFile, fileName + kHashSuffix, workFolderName, ec.message()));
    }
  }
  if (!done) {
    // A folder made for a run that cannot go on goes again.
    if (made) pf::RemoveTree(workFolderName);
    return Fail(done.Error());
  }
  if (dataBytes) *dataBytes = std::move(bytes.bytes);

  WorkingCopy copy;
  copy.base_ = workFolderName + u"/" + name;
  copy.folder_ = workFolderName;
  copy.name_ = name;
  copy.madeFolder_ = made;
  copy.dataHash_ = hash;
  copy.lock_ = std::move(lock.lock);
  return copy;
}

void WorkingCopy::Discard() && {
  // Removed while still locked: no other run is copying into it.
  if (madeFolder_) pf::RemoveTree(folder_);
  lock_ = {};
}

Result<uint32_t> ReadStoredLanguage(const std::u16string& path) {
  // A missing file is made empty, as the data manager's file services do.
  std::FILE* file = pf::OpenStream(path, pf::FileExists(path) ? "rb" : "wb+");
  if (!file) {
    // Unreadable, the file falls back to language 0; a FIFO, device,
    // folder or link in its place is refused: nothing may be read from it,
    // nor a file made there or through it.
    const std::error_code error = errno == ELOOP ? pf::LinkNotFollowed() : pf::ErrnoError(errno);
    if (error != std::errc::no_such_device_or_address && error != std::errc::is_a_directory &&
        error != std::errc::too_many_symbolic_link_levels)
      return 0u;
    Error refused;
    refused.step = Step::Read;
    refused.path = path;
    refused.code = error;
    return Fail(std::move(refused));
  }
  uint8_t bytes[4] = {};  // a shorter file leaves the missing bytes 0
  [[maybe_unused]] const size_t read = std::fread(bytes, 1, sizeof bytes, file);
  std::fclose(file);
  return pf::LoadLE32(bytes);
}

}  // namespace prt
