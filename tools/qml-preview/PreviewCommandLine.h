#pragma once
// qml-preview's command line: what to draw, where to, and how much to say.
#include <string>

#include "platform/Expected.h"

namespace prt::preview {

struct Request {
  std::u16string qmlsFolder;
  std::u16string picturesFolder;  // default: <qmls folder>-preview
  bool quiet = false;             // no progress line per document
};

// The request, or the exit status after --help, --version or a usage error
// (already written).
Expected<Request, int> ParseCommandLine(int argc, char** argv);

}  // namespace prt::preview
