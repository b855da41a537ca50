#pragma once
// The plain conversion the tool is compared against: one thread, every
// screen in object order (page, template, report page, popup types, each
// by index), each document written in whatever language the documents
// before it left current, saved, then each file compiled and, when asked,
// enciphered in turn. Nothing is reordered, kept or run ahead.
#include <string>

namespace prt {
class DataSet;
}

namespace prt::test {

struct ReferenceResult {
  int exitStatus = 0;  // as the shell sees the tool's: 0, or 253 for a failed run
  std::string out;     // what the tool prints on standard output
  std::string err;     // and on standard error
};

// Converts `data` into <outputFolder>/qmls (the folder must exist and hold
// no staging folder). One generator writes every document, so each starts
// in the language the one before it left, from the stored language on.
ReferenceResult ReferenceRun(const DataSet& data, const std::u16string& outputFolder, bool encrypt);

}  // namespace prt::test
