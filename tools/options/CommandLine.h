#pragma once
// The command line of the companion programs: one parser behind a table of
// options, so that every companion answers -h/--help and --version, takes
// options before or after its operands and ends a usage error alike.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Expected.h"

namespace prt::options {

// What an exit status means, the same in every companion program.
enum ExitStatus : int {
  kDone = 0,
  kRefused = 1,       // an input refused, or a file that cannot be read or written
  kUsage = 2,         // an unknown option, a missing value or operand, an extra operand
  kIncomplete = 3,    // qml-preview: the QML runtime or the stand-in module is missing
  kSomeFailed = 4,    // qml-preview: some documents failed to load
};

// An option takes a value (the last one given wins) or is a flag.
struct Option {
  std::string_view names;                  // "-o,--output"
  std::optional<std::string>* value = nullptr;
  bool* flag = nullptr;
};

struct Syntax {
  std::string_view program;
  std::string_view help;                        // the --help text
  std::vector<Option> options = {};             // besides -h, --help and --version
  std::vector<std::string_view> operands = {};  // as the usage names them: "<desc.json>"
  size_t required = 0;                     // how many of them must be given
};

// The operands in order, or the status to exit with: kDone after --help or
// --version (written to standard output), kUsage after a usage error (the
// error and a hint to --help on standard error). "--" ends the options.
Expected<std::vector<std::string>, int> Parse(const Syntax& syntax, int argc, char** argv);

// A usage error found after Parse (operands or values that do not fit
// together), written as Parse writes its own; answers kUsage.
int UsageError(std::string_view program, const std::string& what);

}  // namespace prt::options
