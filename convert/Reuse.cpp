#include "convert/Reuse.h"

#include <new>
#include <unordered_set>

#include "convert/WorkerPair.h"
#include "data/files/WorkingCopy.h"
#include "platform/ContentHash.h"
#include "platform/Process.h"
#include "platform/Text.h"

namespace prt {

namespace {

namespace pf = prt::platform;


// The record file's fields of `is`.
void Identify(RecordedFile& file, const pf::FileInfo& is) {
  file.device = is.device;
  file.inode = is.inode;
  file.modifiedNs = is.modifiedNs;
  file.changedNs = is.changedNs;
}

// Gives `staging` the recorded file `file` of `final`, checked as `was`:
// a second name, or a fresh copy where the file system refuses one.
// Answers its status there; none when it is not the very file checked.
std::optional<pf::FileInfo> TakeFile(const pf::FolderHandle& final, const pf::FolderHandle& staging,
                                     const RecordedFile& file, const pf::FileInfo& was) {
  const std::u16string entry = pf::Widen(file.name);
  if (final.Link(entry, staging, entry)) {
    // The very file checked, and nothing else, now has the second name.
    const pf::SysResult<pf::FileInfo> is = staging.Stat(entry);
    if (!is || !is->regular || is->device != was.device || is->inode != was.inode || is->size != was.size ||
        is->modifiedNs != was.modifiedNs)
      return std::nullopt;
    return *is;
  }
  const pf::SysResult<std::string> bytes = final.Read(entry, file.size);
  if (!bytes || pf::ContentHash::Of(*bytes) != file.hash || !staging.Replace(entry, *bytes)) return std::nullopt;
  const pf::SysResult<pf::FileInfo> is = staging.Stat(entry);
  return is ? std::optional(*is) : std::nullopt;
}

}  // namespace

std::optional<ReuseSource> ReuseSourceOf(const WorkingCopy& copy, bool reuse) {
  const auto language = ReadStoredLanguage(copy);
  if (!language) return std::nullopt;
  return ReuseSource{&copy.Folder(), copy.Name() + std::u16string(kRecordSuffix), copy.DataHash(), *language, reuse};
}

std::optional<ReuseRecord> ReadRecord(const ReuseSource& source, const std::string& key) {
  const pf::SysResult<std::string> text = source.work->Read(source.recordName, kMaxRecordBytes);
  const pf::SysResult<pf::FileInfo> info = text ? source.work->Stat(source.recordName) : Fail(text.Error());
  if (!info) return std::nullopt;
  auto record = ParseRecord(*text, &key);
  if (record) record->writtenNs = info->modifiedNs;
  return record;
}

void WriteRecord(const ReuseSource& source, const ReuseRecord& record) {
  // A record that cannot be replaced must not describe the old output.
  if (!source.work->Replace(source.recordName, FormatRecord(record)))
    static_cast<void>(source.work->Remove(source.recordName).HasValue());
}

std::optional<pf::FileInfo> StillRecorded(const pf::FolderHandle& folder, const RecordedFile& file,
                                          int64_t writtenNs) {
  const std::u16string name = pf::Widen(file.name);
  const pf::SysResult<pf::FileInfo> info = folder.Stat(name);
  if (!info || !info->regular || info->owner != pf::RunningUser() || info->mode != pf::FreshFileMode() ||
      info->size != file.size || info->device != file.device || info->inode != file.inode ||
      info->modifiedNs != file.modifiedNs || info->changedNs != file.changedNs)
    return std::nullopt;
  // A write in the tick the record was written in may not have moved the time.
  if (file.changedNs < writtenNs) return *info;
  const pf::SysResult<std::string> bytes = folder.Read(name, file.size);
  if (!bytes || bytes->size() != file.size || pf::ContentHash::Of(*bytes) != file.hash) return std::nullopt;
  return *info;
}

ReusableOutput::ReusableOutput(ReuseRecord record, pf::FolderHandle final)
    : record_(std::move(record)), final_(std::move(final)) {
  for (const RecordedDocument& doc : record_.documents) byName_.emplace(doc.name, &doc);
}

std::optional<RecordedDocument> ReusableOutput::Take(const std::string& name, uint64_t textSize, uint64_t textHash,
                                                     const pf::FolderHandle& staging, bool saved) const {
  const auto it = byName_.find(name);
  if (it == byName_.end() || it->second->textSize != textSize || it->second->textHash != textHash) return std::nullopt;
  RecordedDocument made = *it->second;
  std::vector<std::u16string> added;
  const auto undo = [&] {
    for (const std::u16string& entry : added) static_cast<void>(staging.Remove(entry).HasValue());
    return std::nullopt;
  };
  for (RecordedFile& file : made.files) {
    const std::optional<pf::FileInfo> was = StillRecorded(final_, file, record_.writtenNs);
    if (!was) return undo();
    const std::u16string entry = pf::Widen(file.name);
    if (saved) static_cast<void>(staging.Remove(entry).HasValue());
    added.push_back(entry);
    const std::optional<pf::FileInfo> is = TakeFile(final_, staging, file, *was);
    if (!is) return undo();
    Identify(file, *is);
  }
  made.reused = true;
  return made;
}

LastOutput ReadLastOutput(const ReuseSource& source, const pf::FolderHandle& output, const OutputPaths& paths,
                          bool encrypt) {
  LastOutput last;
  last.record = ReadRecord(source, RecordKey(paths.final, encrypt));
  const std::optional<ReuseRecord>& read = last.record;
  if (!read || read->dataHash != source.dataHash || read->language != source.language ||
      output.Exists(std::u16string(kStagingName)))
    return last;
  const pf::SysResult<pf::FolderHandle> folder = output.OpenFolder(std::u16string(kFinalName));
  const auto names = folder ? folder->List() : Fail(folder.Error());
  if (!names) return last;
  std::unordered_set<std::u16string> expected;
  for (const RecordedDocument& doc : read->documents) {
    for (const RecordedFile& file : doc.files) {
      if (!StillRecorded(*folder, file, read->writtenNs)) return last;
      expected.insert(pf::Widen(file.name));
    }
  }
  for (const std::u16string& name : *names)
    if (!expected.contains(name)) return last;
  last.current = true;
  return last;
}

void ReplayRecord(const ReuseRecord& record, const OutputPaths& paths, RunReport& report) {
  for (const RecordedDocument& doc : record.documents)
    if (!doc.notices.empty()) report.Notices(doc.notices);
  for (const RecordedDocument& doc : record.documents)
    if (!doc.rejected.empty()) report.Rejected(doc.rejected);
  report.Moved(paths.staging, paths.final);
  report.Reused(0, record.documents.size());
}

void RecordPublished(const ReuseSource& source, std::string key, std::vector<RecordedDocument> documents,
                     const pf::FolderHandle* published, bool copied, WorkerPair& pair) {
  ReuseRecord record;
  record.key = std::move(key);
  record.dataHash = source.dataHash;
  record.language = source.language;
  // On both threads: each look is a system call, and a re-run of thousands
  // of documents makes two per document.
  pair.RunOnBoth([&](int slot) {
    for (size_t i = static_cast<size_t>(slot); i < documents.size(); i += 2) {
      if (!documents[i].reused && !copied) continue;
      for (RecordedFile& file : documents[i].files) {
        try {  // a file not looked at is made afresh next time
          const auto is = published ? published->Stat(pf::Widen(file.name)) : Fail(pf::SystemError{});
          Identify(file, is ? *is : pf::FileInfo());
        } catch (const std::bad_alloc&) {
          Identify(file, pf::FileInfo());
        }
      }
    }
  });
  record.documents = std::move(documents);
  WriteRecord(source, record);
}

}  // namespace prt
