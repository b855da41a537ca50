#pragma once
// Reusing the published files on a re-run. The record in the working
// folder says what each file of qmls was made from and which file it is; a
// document whose new text is the recorded one, and whose files are still
// the recorded ones, gets those files as second names in the staging
// folder instead of being compiled again. The old files are never written:
// the run only adds names to them, and the publish only removes names.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "convert/OutputFolders.h"
#include "convert/ReuseRecord.h"
#include "convert/RunReport.h"
#include "platform/Folders.h"

namespace prt {

class WorkingCopy;
class WorkerPair;

// What the output is made from besides the documents' texts, and where its
// record lives.
struct ReuseSource {
  const platform::FolderHandle* work = nullptr;  // SimWork, held by the run
  std::u16string recordName;                     // <name>.qmls.record
  uint64_t dataHash = 0;                         // of the data file's bytes
  uint32_t language = 0;                         // the language file's value, as read
  bool reuse = true;  // false: everything is made afresh; the record is still written
};

// The source of a prepared working copy; nullopt when its language file
// cannot be read (the load then says why).
std::optional<ReuseSource> ReuseSourceOf(const WorkingCopy& copy, bool reuse);

// The record of `source` when it is whole and was made for `key`.
std::optional<ReuseRecord> ReadRecord(const ReuseSource& source, const std::string& key);
// Replaces the record; a record that cannot be written only costs the next
// run its reuse.
void WriteRecord(const ReuseSource& source, const ReuseRecord& record);

// The status of `file` in `folder` while it is still the recorded one, as a
// full run of this process would make it: a regular file (a link is not
// followed) of this user with the mode of a fresh file, and the very file
// recorded with its recorded size and times; the status change time moves
// with any write, also one that sets the modification time back, and with
// a chmod. A file changed in the record's last clock tick is read as well.
std::optional<platform::FileInfo> StillRecorded(const platform::FolderHandle& folder, const RecordedFile& file,
                                                int64_t writtenNs);

// The published files of the last run and what they were made from.
class ReusableOutput {
 public:
  ReusableOutput(ReuseRecord record, platform::FolderHandle final);

  // Gives the staging folder the recorded files of the document `name`
  // when its new text (`textSize` bytes hashing to `textHash`) is the
  // recorded one and the files are still those recorded: a second name
  // each, or a fresh copy where the file system refuses one; answers the
  // document as taken. Otherwise leaves no name of its own in staging.
  // `saved`: an earlier text of the file (another template) is in staging.
  std::optional<RecordedDocument> Take(const std::string& name, uint64_t textSize, uint64_t textHash,
                                       const platform::FolderHandle& staging, bool saved) const;

 private:
  ReuseRecord record_;
  platform::FolderHandle final_;
  std::unordered_map<std::string_view, const RecordedDocument*> byName_;
};

// What the last run left in the output folder.
struct LastOutput {
  // The record, whenever it was made for this output, current or not.
  std::optional<ReuseRecord> record;
  // Whether qmls is exactly what the record says, the record fits the data
  // file, its language and -e, and no staging folder waits: then a run
  // would make the very same files.
  bool current = false;
};
LastOutput ReadLastOutput(const ReuseSource& source, const platform::FolderHandle& output, const OutputPaths& paths,
                          bool encrypt);
// What a run that made them would tell, for documents all reused.
void ReplayRecord(const ReuseRecord& record, const OutputPaths& paths, RunReport& report);

// Writes the record of what the run published: each document with the
// files it has in `published`, the new qmls held (null: unknown). A file
// this run wrote keeps the status it was written with; a reused one got a
// second name and lost its first, which moved its status change time, and
// after a copy every file is new: those are looked at again, on both
// threads of `pair`.
void RecordPublished(const ReuseSource& source, std::string key, std::vector<RecordedDocument> documents,
                     const platform::FolderHandle* published, bool copied, WorkerPair& pair);

}  // namespace prt
