#pragma once
// Why a conversion run failed: the stage it was in, the screen or document
// it was at, and the error of the layer below that stopped it.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/Error.h"

namespace prt {

struct RunError {
  enum class Stage : uint8_t {
    WorkingCopy,  // preparing the working copy (cause: WorkingCopyError)
    Load,         // loading the data set (cause: SystemError, ContainerError, OutOfMemory)
    LockOutput,   // locking the output folder (cause: LockError)
    Staging,      // preparing the staging folder (cause: SystemError)
    Trees,        // building the control trees (cause: TreeError, OutOfMemory)
    Text,         // writing a screen's document; its controls said why, if they did
    Budget,       // the documents passed the run's byte budget (cause: DocumentBudget)
    Save,         // saving a document (cause: SystemError)
    Compile,      // compiling a document into its cache (cause: SystemError)
    Encipher,     // enciphering a document (cause: CipherError)
    Write,        // the staging folder cannot be written: held open, or flushed to the disk (cause: SystemError)
    Workers,      // starting the second thread (cause: SystemError)
    Publish,      // putting the staging folder in place (cause: SystemError)
    Strict,       // PRT2QML_STRICT=1 and a document was rejected (cause: StrictRejection)
  };
  Stage stage = Stage::Text;
  std::string screen;        // the screen's type code and reference ("page16777218")
  std::u16string document;   // the document's path, when the screen is not known
  std::optional<Error> cause;

  // Memory that ran out is told with what the run was at.
  bool OutOfMemory() const { return cause && cause->Is<prt::OutOfMemory>(); }
  // Compiling and enciphering come after a document's text is written and
  // saved; of two failures on two threads, one while writing is the one a
  // run on one thread would have met first.
  bool AfterWriting() const { return stage == Stage::Compile || stage == Stage::Encipher; }
  // A failure before anything was generated: the data set did not load.
  bool BeforeGeneration() const { return stage == Stage::WorkingCopy || stage == Stage::Load; }
  std::string Reason() const { return cause ? cause->Reason() : "the document could not be written"; }
};

// Ends a run in `stage` for `cause`, at `screen` when one is known.
inline Unexpected<RunError> StageFailed(RunError::Stage stage, Error cause, std::string screen = {}) {
  return Fail(RunError{.stage = stage, .screen = std::move(screen), .cause = std::move(cause)});
}

// The documents of a run passed their byte budget.
struct DocumentBudget {
  uint64_t limit = 0;
  uint64_t imageBytes = 0;
  std::string Reason() const;
};

// PRT2QML_STRICT=1 fails a run for a document the compiler rejected.
struct StrictRejection {
  std::string document;  // its file name
  std::string Reason() const {
    return "Qt rejects its document " + document + ", and PRT2QML_STRICT=1 fails the run for it";
  }
};

// PRT2QML_LANGUAGE names no language of the project; the message lists them.
struct LanguageRefused {
  std::string message;
  std::string Reason() const { return message; }
};

}  // namespace prt
