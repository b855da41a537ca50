// prt-check: what a conversion of a data set would do that nobody would
// notice until the panel shows it. A program of its own, not an inspector
// option: its exit status says whether anything was found, which a build
// pipeline tests, and it needs Qt's compiler, which the inspector does not.
#include <iostream>

#include "cli/Messages.h"
#include "cli/ProgramInfo.h"
#include "data/set/OpenDataSet.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "tools/check/Check.h"
#include "tools/options/CommandLine.h"

namespace {

// Its own statuses: 1 is a finding here, so a data set that cannot be read
// is a 2, like wrong usage.
constexpr int kClean = 0, kFound = 1, kCannotCheck = 2;

constexpr const char* kHelp =
    "Usage: prt-check [options] <data file>\n"
    "Makes every screen's document of the data set as prt2qml would, in its order and\n"
    "language, without writing anything, and reports what the conversion would do silently:\n"
    "templates that overwrite each other in tmpl.qml, documents that start in another\n"
    "language than the stored one, texts and title fonts missing in a language, controls\n"
    "off their screen or of a size that shows nothing or is cut, documents Qt rejects and\n"
    "screens of the same name. One line per finding, in the converter's order:\n"
    "  <data file>: <kind> \"<name>\" (<document>): <level>: <what>, <why> [<check>]\n"
    "\n"
    "Options:\n"
    "  --json      print the findings as one JSON object instead\n"
    "  -q, --quiet print nothing; the exit status tells\n"
    "  -h, --help  show this help\n"
    "  --version   show the version\n"
    "\n"
    "Exit status:\n"
    "  0  nothing at warning level or above (notes may be printed)\n"
    "  1  a warning or an error was found\n"
    "  2  wrong usage, the data set cannot be read or the findings cannot be written\n"
    "     (the reason on standard error)\n";

}  // namespace

int main(int argc, char** argv) {
  // The heap set up as the converter's, whose time the check is held to.
  prt::platform::PrepareProcess();
  bool asJson = false, quiet = false;
  const auto operands = prt::options::Parse({.program = "prt-check",
                                             .help = kHelp,
                                             .options = {{.names = "--json", .flag = &asJson},
                                                         {.names = "-q,--quiet", .flag = &quiet}},
                                             .operands = {"<data file>"},
                                             .required = 1},
                                            argc, argv);
  if (!operands) return operands.Error();

  const std::string& operand = operands->front();
  const std::u16string dataFile = prt::platform::WidenPath(operand);
  auto opened = prt::OpenDataSetReadOnly(dataFile);
  if (!opened) {
    std::cerr << "prt-check: " << prt::OpenErrorMessage(opened.Error(), dataFile, dataFile, {}) << std::endl;
    return kCannotCheck;
  }
  const prt::check::Report report = prt::check::CheckDataSet(opened->data, {.details = asJson});
  const int status = report.Count(prt::check::Level::Warning) + report.Count(prt::check::Level::Error) > 0 ? kFound
                                                                                                          : kClean;
  if (quiet) return status;
  const std::string text = asJson ? prt::check::ReportJson(report, operand).dump(2) + "\n"
                                  : prt::check::ReportText(report, operand);
  if (prt::PrintAnswer("prt-check", text) != 0) return kCannotCheck;
  return status;
}
