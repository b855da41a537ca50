#pragma once
// The pure stage of a document: from a screen and the language it starts
// in to the document's text, with no file touched. A document's text
// depends only on those two, so it is the same whichever thread writes it,
// whenever.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "controls/IControlGroup.h"
#include "convert/RunError.h"
#include "convert/TreeCheck.h"
#include "data/set/DataSet.h"
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
// Both live in the writer until its next document.
struct DocumentText {
  std::string_view bytes;
  std::optional<std::u16string_view> units;
};

// Writes documents one after the other on one thread, keeping its buffers.
class DocumentWriter {
 public:
  explicit DocumentWriter(const DataSet& data);

  // The text of `screen`'s document, its tree built for it and released
  // after: at most `byteLimit` bytes (a Stage::Budget error past them),
  // `slot` the worker whose profile the time goes to. Fails in Stage::Trees
  // for a tree that cannot be built and in Stage::Text for a document its
  // controls could not write.
  Expected<DocumentText, RunError> Write(const Screen& screen, uint64_t byteLimit, int slot);
  // The console text the last document's controls left (failed font
  // lookups); taken by the caller.
  std::string& Notices() { return generator_.notices; }
  // The error of a budget passed by the document of `screen`.
  RunError OverBudget(const Screen& screen) const;

 private:
  const DataSet& data_;
  QmlGenerator generator_;
  ControlBudget budget_;  // the trees fitted the budget when they were measured
  DocumentBytes bytes_;
};

}  // namespace prt
