#pragma once
// qml-preview's command line: what to draw or compare, where to, with what,
// on how many workers, and how much to say.
#include <string>
#include <vector>

#include "platform/Expected.h"

namespace prt::preview {

struct Request {
  std::vector<std::u16string> folders;  // the qmls folder, or the old and the new with --diff
  std::u16string output;                // default: <qmls folder>-preview, <new folder>-diff
  bool outputNamed = false;             // -o given: a link there is followed, as for any operand
  std::u16string dataFile;              // --prt; empty without
  int workers = 0;                      // -j; 0: one per core
  bool diff = false;
  bool full = false;   // redraw every document, whatever the last run recorded
  bool quiet = false;  // only failures
};

// The request, or the exit status after --help, --version or a usage error
// (already written).
Expected<Request, int> ParseCommandLine(int argc, char** argv);

}  // namespace prt::preview
