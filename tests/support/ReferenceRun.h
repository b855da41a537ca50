#pragma once
// The plain conversion the tool is compared against: one thread, every
// screen in object order (page, template, report page, popup types, each
// by index), each document written in whatever language the documents
// before it left current, saved, then each file compiled and, when asked,
// enciphered in turn. Nothing is reordered, kept or run ahead.
#include <string>

namespace prt::test {

struct ReferenceResult {
  int exitStatus = 0;  // as the shell sees the tool's: 0, or 253 for a failed run
  std::string out;     // what the tool prints on standard output
  std::string err;     // and on standard error
};

// Converts the data set open in this process into <outputFolder>/qmls (the
// folder must exist and hold no staging folder). The current language is
// left where the last document left it.
ReferenceResult ReferenceRun(const std::u16string& outputFolder, bool encrypt);

}  // namespace prt::test
