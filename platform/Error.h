#pragma once
// Why something could not be done: the one error type every library above
// the system calls returns, inside Expected. The primitives of platform/
// answer with the system's std::error_code, which the caller puts here with
// the step and the file. Only the programs' edges turn an Error into
// words (cli/Messages).
#include <cstdint>
#include <string>
#include <system_error>

#include "platform/Expected.h"

namespace prt {

struct Error {
  // The step that failed; each has its own line at the edge.
  enum class Step : uint8_t {
    // The data file and its working copy.
    OpenData,      // the data file `path` cannot be opened
    NotPrtName,    // the data file `path` is not named <name>.prt
    TooLarge,      // the data file `path` is larger than the limit
    CreateFolder,  // the working folder `path` cannot be made
    LockFolder,    // the working folder `path` cannot be locked (`timedOut`, `holder`)
    ReadFolder,    // the folder `path` cannot be listed
    DeleteFile,    // the file `path` in the working folder `other` cannot be deleted
    CopyFile,      // the file `path` cannot be copied into the working folder `other`
    // Loading.
    Read,          // the file `path` cannot be read
    Container,     // the data file `path` breaks `rule` at `part`, `offset`
    // A run.
    Tree,          // the control tree of `subject` breaks `rule`
    Document,      // `subject`'s document could not be written; its controls said why, if they did
    Documents,     // `subject`'s document passes the run's byte budget (`rule`)
    OutOfMemory,   // memory ran out (while `subject`, when known)
    Write,         // the file `path` cannot be written (`action`: "save" a document, "cache" one)
    Encipher,      // the document `path` cannot be enciphered: empty (`rule` "empty"), or not read or written
    Staging,       // the staging folder: `action` on `path` failed
    Publish,       // the final folder: `action` on `path` (and `other`) failed
    Workers,       // the second thread could not start
  };
  // Where a data file's container broke a rule.
  enum class Part : uint8_t {
    None,
    Signature,  // not a container at all
    Head,       // the fixed head or a section head
    Section,    // the body of section `section`
    Payload,    // the payload (also the image inside it)
  };

  Step step = Step::Read;
  std::u16string path;
  std::u16string other;
  std::error_code code;  // the system's reason, when it gave one
  std::string rule;      // otherwise the rule broken, or the reason in words
  std::string subject;   // what the run was at ("page16777218")
  std::string action;    // what was tried on `path` ("cannot rename")
  Part part = Part::None;
  uint32_t section = 0;
  uint64_t offset = 0;
  bool reading = false;   // Write, Encipher: the failed step read `path` rather than wrote it
  bool truncated = false;  // Encipher: a write stopped part way; the file of the wrong length was removed
  int removeFailure = -1;  // Encipher: the error value of that removal when it failed, else -1
  bool timedOut = false;  // LockFolder: another process held it for the whole wait
  int holderPid = 0;      // LockFolder: who held it, 0 when unknown
  std::string holderCommand;

  // The system's text when it gave a reason, else the rule.
  std::string Reason() const { return code ? code.message() : rule; }
};

template <typename T>
using Result = Expected<T, Error>;
// Done, or why not.
using Status = Expected<void, Error>;

inline Unexpected<Error> Fail(Error error) { return Unexpected<Error>{std::move(error)}; }

}  // namespace prt
