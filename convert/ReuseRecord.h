#pragma once
// The record of what a run published, as text: which file of qmls each
// document has, what it was made from and which file it is. A record is
// data, never a path: every name in it is checked to be one a run writes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace prt {

// A record larger than this is no record of ours.
inline constexpr size_t kMaxRecordBytes = 256u << 20;

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
  uint64_t textHash = 0;            // of the UTF-8 text, before enciphering
  std::vector<RecordedFile> files;  // the .qml, then the .qmlc unless rejected
  std::string notices;              // what writing it left for standard output
  std::string rejected;             // the compiler's line, when it rejected it
  size_t order = 0;                 // its first screen's place in object order
  bool reused = false;              // its files were taken from the last run
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
// made for it. A record is refused unless every document has a name a run
// writes (<type code><reference>.qml, tmpl.qml), once, with the files a run
// writes for it (the .qml, then the .qmlc unless the compiler rejected it).
std::optional<ReuseRecord> ParseRecord(std::string_view text, const std::string* key = nullptr);

}  // namespace prt
