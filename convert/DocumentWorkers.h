#pragma once
// The documents of a run on two threads. Each thread takes the next file
// to make, largest first, writes the text of its screens (each in the
// language it starts in), saves it, compiles it and, when asked, enciphers
// it. A document's text depends only on its screen and its start
// language, so it is the same whichever thread writes it, whenever.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/Reuse.h"
#include "convert/RunReport.h"
#include "convert/TreeCheck.h"
#include "data/set/DataSet.h"
#include "platform/Error.h"
#include "qml/QmlGenerator.h"

namespace prt {

// The UTF-8 form of one document, in a buffer kept from document to document.
class DocumentBytes {
 public:
  // Surrogate units, paired or lone, come out as U+FFFD.
  std::string_view Encode(std::u16string_view text);
  // Whether the last text encoded had a surrogate replaced.
  bool Replaced() const { return replaced_; }

 private:
  std::vector<char> buffer_;
  bool replaced_ = false;
};

// A document's UTF-8 bytes, and the units they decode to when those are the
// units written (zero-terminated): the compiler then reads them in place.
struct DocumentText {
  std::string_view bytes;
  std::optional<std::u16string_view> units;
};

class DocumentWorkers {
 public:
  // Notices and rejected documents go to `report` as they come, one at a time.
  DocumentWorkers(const DataSet& data, bool encrypt, RunReport& report);
  // From now on a document whose text and files `old` still holds is taken
  // from there into `staging` instead of being compiled (both outlive the
  // workers).
  void Reuse(const ReusableOutput* old, const platform::FolderHandle* staging);

  // The screens in object order. Screens that share a file (every template
  // writes tmpl.qml) are written one after the other by one thread, in
  // that order, so the last one's text stands, and the file is compiled
  // once, after the last.
  void Plan(std::vector<Screen> screens);
  // Works until no file is left or one failed; called once on each of the
  // two threads, `slot` 0 or 1 (the run profile's worker).
  void Work(int slot);
  // After both Work calls: why they stopped, when they did. A text that
  // could not be written or saved wins over a file that could not be
  // compiled or enciphered meanwhile, as writing comes first in a plain run.
  Status Result() const;
  // After a run without failure: every document, what it was made from and
  // which files it has, in object order. Taken once.
  std::vector<RecordedDocument> TakeDocuments();
  size_t ReusedCount() const { return reused_; }
  size_t DocumentCount() const { return files_.size(); }

 private:
  struct File {
    std::vector<size_t> screens;  // into screens_, in object order
    uint64_t size = 0;            // controls of all its trees
    RecordedDocument made;
  };

  // Writes the text of every screen of `file`; the last one's goes to
  // `text`, not yet saved.
  Status Write(File& file, QmlGenerator& generator, ControlBudget& budget, DocumentBytes& bytes,
               DocumentText& text, int slot);
  // Saves `text` as the file's document and compiles it from memory, or
  // compiles it and saves it enciphered, unless the published one can stay.
  Status Make(File& file, const DocumentText& text, int slot);
  // `saved` is the document's file as saved; enciphering saves it anew.
  Status Compile(const std::u16string& path, const DocumentText& text, RecordedDocument& made,
                 platform::FileInfo& saved, int slot);
  // Tells the report; in strict mode a rejected document stops the run.
  Status Made(const File& file);
  // Saves a text; a Step::Write error with the action "save".
  static Status Save(const std::u16string& path, std::string_view text, platform::FileInfo* made = nullptr);
  // Keeps `error` when it is the first, or a write failure after a compile one.
  void Stop(Error error);
  // Takes `bytes` from what the run may still write; false when they pass it.
  bool Reserve(uint64_t bytes);

  const DataSet& data_;
  const bool encrypt_;
  RunReport& report_;
  const uint64_t byteLimit_;
  std::atomic<uint64_t> bytesLeft_;
  const bool strict_;  // PRT2QML_STRICT=1: a rejected document fails the run
  std::vector<Screen> screens_;
  std::vector<File> files_;  // largest first
  std::atomic<size_t> next_ = 0;
  std::atomic<bool> stopped_ = false;
  const ReusableOutput* old_ = nullptr;
  const platform::FolderHandle* staging_ = nullptr;
  std::atomic<size_t> reused_ = 0;
  std::array<std::string, 2> sealed_;  // each worker's enciphered file, its storage kept
  std::mutex mutex_;  // guards failure_ and the report
  std::optional<Error> failure_;
};

}  // namespace prt
