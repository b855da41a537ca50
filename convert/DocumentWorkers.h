#pragma once
// The documents of a run on two threads. Each thread takes the next file
// to make, largest first, writes the text of its screens (each in the
// language it starts in), saves it, compiles it and, when asked, enciphers
// it. A document's text depends only on its screen and its start
// language, so it is the same whichever thread writes it, whenever.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "convert/TreeCheck.h"
#include "data/set/DataSet.h"
#include "platform/FileStatus.h"
#include "qml/QmlGenerator.h"

namespace prt {

// What stopped the documents, with the lines that say so.
struct DocumentFailure {
  enum class Stage : uint8_t { None, Write, Cache };  // writing or saving a text; compiling or enciphering
  Stage stage = Stage::None;
  std::vector<std::string> lines;  // standard error, in order
};

// The UTF-8 form of one document, in a buffer kept from document to document.
class DocumentBytes {
 public:
  // Surrogate units, paired or lone, come out as U+FFFD.
  std::string_view Encode(std::u16string_view text);

 private:
  std::vector<char> buffer_;
};

class DocumentWorkers {
 public:
  DocumentWorkers(const DataSet& data, bool encrypt);

  // The screens in object order. Screens that share a file (every template
  // writes tmpl.qml) are written one after the other by one thread, in
  // that order, so the last one's text stands, and the file is compiled
  // once, after the last.
  void Plan(std::vector<Screen> screens);
  // Works until no file is left or one failed; called once on each of the
  // two threads, `slot` 0 or 1 (the run profile's worker).
  void Work(int slot);
  // After both Work calls: the failure that stopped them, the earlier stage
  // first; Stage::None when every file was made.
  const DocumentFailure& Failure() const { return failure_; }
  // After both Work calls: the console text the documents left (a failed
  // font lookup's line), for standard output.
  const std::string& Notices() const { return notices_; }

 private:
  struct File {
    std::vector<size_t> screens;  // into screens_, in object order
    uint64_t size = 0;            // controls of all its trees
  };

  bool Write(const File& file, QmlGenerator& generator, ControlBudget& budget, DocumentBytes& bytes, int slot);
  bool Compile(const std::u16string& path, std::string& content, int slot);
  bool Fail(DocumentFailure::Stage stage, std::vector<std::string> lines);
  // Takes `bytes` from what the run may still write; false when they pass it.
  bool Reserve(uint64_t bytes);
  std::string OverBudgetLine(const IControl& screen) const;

  const DataSet& data_;
  const bool encrypt_;
  const uint64_t byteLimit_;
  std::atomic<uint64_t> bytesLeft_;
  std::vector<Screen> screens_;
  std::vector<File> files_;  // largest first
  std::atomic<size_t> next_ = 0;
  std::atomic<bool> stopped_ = false;
  std::mutex mutex_;  // guards failure_ and notices_
  DocumentFailure failure_;
  std::string notices_;
};

// Writes `text` as UTF-8 without a byte order mark; every surrogate unit,
// paired or lone, is written as U+FFFD.
FileStatus SaveQmlFile(const std::u16string& path, std::u16string_view text);

}  // namespace prt
