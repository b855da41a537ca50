#pragma once
// The I/O stage of a document: its files in the staging folder, taken over
// from the last run, or saved, compiled and, when asked, enciphered. Every
// file is named inside the staging folder held.
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "convert/DocumentText.h"
#include "convert/Reuse.h"
#include "convert/RunError.h"
#include "convert/RunReport.h"
#include "convert/TreeCheck.h"
#include "platform/Folders.h"

namespace prt {

// The run's report shared by the two workers, one event at a time.
class SharedReport {
 public:
  explicit SharedReport(RunReport& report) : report_(report) {}
  void Notices(std::string_view text) {
    std::lock_guard lock(mutex_);
    report_.Notices(text);
  }
  void Rejected(std::string_view message) {
    std::lock_guard lock(mutex_);
    report_.Rejected(message);
  }
  void Made(std::span<const Screen* const> screens, const RecordedDocument& document) {
    std::lock_guard lock(mutex_);
    report_.Made(screens, document);
  }

 private:
  RunReport& report_;
  std::mutex mutex_;
};

class DocumentFiles {
 public:
  // With `old`, a document whose text and files it still holds is taken
  // from there instead of being compiled (both outlive this).
  DocumentFiles(const platform::FolderHandle& staging, bool encrypt, const ReusableOutput* old, SharedReport& report)
      : staging_(staging), encrypt_(encrypt), old_(old), report_(report) {}

  // Saves a text of the file that a later screen's text replaces (every
  // template writes tmpl.qml). Fails in Stage::Save.
  Expected<void, RunError> SaveEarlier(const Screen& screen, std::string_view bytes) const;
  // The files of `screen`'s document from its last text: `made` (the
  // notices and order) completed with what it is made from and which files
  // it has. `shared`: earlier texts of the file were saved. `sealed` is the
  // worker's buffer for enciphered files. Fails in Stage::Save, Compile or
  // Encipher.
  Expected<RecordedDocument, RunError> Make(const Screen& screen, const DocumentText& text, bool shared,
                                            RecordedDocument made, std::string& sealed, int slot) const;

 private:
  Expected<platform::FileInfo, RunError> Save(const Screen& screen, std::string_view bytes) const;
  // Compiles the text into the cache beside it, and enciphers the document
  // when asked; `saved` is the plain document's status, when saved.
  Expected<void, RunError> Compile(const Screen& screen, const DocumentText& text, RecordedDocument& made,
                                   platform::FileInfo saved, std::string& sealed, int slot) const;

  const platform::FolderHandle& staging_;
  const bool encrypt_;
  const ReusableOutput* old_;
  SharedReport& report_;
};

}  // namespace prt
