#pragma once
// The converter's edge: its command line and environment read into a run,
// and a failed run's one error turned into its lines and exit code.
#include <optional>
#include <ostream>
#include <string>

#include "convert/ConversionRun.h"
#include "platform/Error.h"

namespace prt {

struct Invocation {
  // The exit status of a command line answered already, its lines printed:
  // the usage (-1), the help or the version (0), a refused environment (-2).
  std::optional<int> answered;
  RunOptions options;
  std::u16string dataFileAsGiven;  // the first argument, as the user wrote it
};

// Checks the argument count, answers -h, --help and --version (unless a
// file has that name: then it is the data file, as the first argument
// always is), refuses a PRT2QML_LOCK_WAIT that is not a whole number of
// seconds, and warns of every argument it ignores. The data file is the
// one the system opens for the path given (a ".." after a link in its
// folder part leads out of the link).
Invocation ReadInvocation(int argc, char* argv[]);

// Prints the lines of a run that failed with `error` and answers the exit
// code: -2 when the data set did not load, -3 when the generation failed.
int ReportFailure(const Error& error, const Invocation& invocation, std::ostream& err);

}  // namespace prt
