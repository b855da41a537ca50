#pragma once
// Reusing the published files on a re-run. A record in the working folder
// says what each file of qmls was made from and which file it is; a
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

#include "convert/RunReport.h"
#include "platform/FileSystem.h"

namespace prt {

class WorkingCopy;

// What the output is made from besides the documents' texts, and where its
// record lives.
struct ReuseSource {
  std::u16string workFolder;  // SimWork
  std::u16string recordName;  // <name>.qmls.record
  uint64_t dataHash = 0;      // of the data file's bytes
  uint32_t language = 0;      // the language file's value, as read
  bool reuse = true;          // false: everything is made afresh; the record is still written
};

// The source of a prepared working copy; nullopt when its language file
// cannot be read (the load then says why).
std::optional<ReuseSource> ReuseSourceOf(const WorkingCopy& copy, bool reuse);

// One published file and which file it is.
struct RecordedFile {
  std::string name;
  uint64_t size = 0;
  uint64_t hash = 0;  // platform::ContentHash
  uint64_t device = 0;
  uint64_t inode = 0;  // 0: unknown, never taken again
  int64_t modifiedNs = 0;
  int64_t changedNs = 0;  // status change: a write, chmod, link or unlink moves it
};

struct RecordedDocument {
  std::string name;  // the .qml file's
  uint64_t textSize = 0;
  uint64_t textHash = 0;             // of the UTF-8 text, before enciphering
  std::vector<RecordedFile> files;   // the .qml, then the .qmlc unless rejected
  std::string notices;               // what writing it left for standard output
  std::string rejected;              // the compiler's line, when it rejected it
  size_t order = 0;                  // its first screen's place in object order
  bool reused = false;               // its files were taken from the last run
};

struct ReuseRecord {
  std::string key;  // converter, Qt, -e and the final folder
  uint64_t dataHash = 0;
  uint32_t language = 0;
  std::vector<RecordedDocument> documents;  // in object order
  int64_t writtenNs = 0;  // the record file's modification time
};

// What the files of a run into `final` depend on besides their texts.
std::string RecordKey(const std::u16string& final, bool encrypt);

std::string FormatRecord(const ReuseRecord& record);
// nullopt for anything that is not a whole record, or, given `key`, not one
// made for it. A record is data, never a path: it is refused unless every
// document has a name a run writes (<type code><reference>.qml, tmpl.qml),
// once, with the files a run writes for it (the .qml, then the .qmlc
// unless the compiler rejected it).
std::optional<ReuseRecord> ParseRecord(std::string_view text, const std::string* key = nullptr);

// The record of `source` when it is whole and was made for `key`.
std::optional<ReuseRecord> ReadRecord(const ReuseSource& source, const std::string& key);
// Replaces the record; a record that cannot be written only costs the next
// run its reuse.
void WriteRecord(const ReuseSource& source, const ReuseRecord& record);

// Whether `file` in `folder` is still the recorded one, as a full run of
// this process would make it: a regular file (a link is not followed) of
// this user with the mode of a fresh file, and the very file recorded with
// its recorded size and times; the status change time moves with any
// write, also one that sets the modification time back, and with a chmod.
// A file changed in the record's last clock tick is read as well. `info`
// gets its status.
bool StillRecorded(const platform::FolderHandle& folder, const RecordedFile& file, int64_t writtenNs,
                   platform::FileInfo& info);

// The published files of the last run and what they were made from.
class ReusableOutput {
 public:
  ReusableOutput(ReuseRecord record, platform::FolderHandle final);

  // Gives the staging folder the recorded files of the document `name`
  // when its new text (`textSize` bytes hashing to `textHash`) is the
  // recorded one and the files are still those recorded: a second name
  // each, or a fresh copy where the file system refuses one. Fills `made` and
  // answers true then; otherwise leaves no name of its own in staging.
  // `saved`: an earlier text of the file (another template) is in staging.
  bool Take(const std::string& name, uint64_t textSize, uint64_t textHash, const platform::FolderHandle& staging,
            bool saved, RecordedDocument& made) const;

 private:
  ReuseRecord record_;
  platform::FolderHandle final_;
  std::unordered_map<std::string_view, const RecordedDocument*> byName_;
};

// Whether qmls in `outputFolder` is exactly what the record of `source`
// says, the record fits the data file, its language and `encrypt`, and no
// staging folder waits: then a run would make the very same files. The
// record goes to `record` whenever it was made for this output, current or
// not, so that the run need not read it again.
bool OutputIsCurrent(const ReuseSource& source, const std::u16string& outputFolder, bool encrypt,
                     std::optional<ReuseRecord>& record);
// What a run that made them would tell, for documents all reused.
void ReplayRecord(const ReuseRecord& record, const std::u16string& outputFolder, RunReport& report);

}  // namespace prt
