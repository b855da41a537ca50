// prt-inspect: what a runtime data set holds, as a report or as the
// prt-build description that rebuilds it. It only reads: the data file in
// place, and the language and connection records a converter run stored
// beside it.
#include <iostream>
#include <optional>
#include <string>

#include "cli/Messages.h"
#include "cli/ProgramInfo.h"
#include "data/manager/CPRDataManager.h"
#include "data/set/OpenDataSet.h"
#include "platform/Text.h"
#include "tools/options/CommandLine.h"
#include "tools/inspect/Inspect.h"

namespace {

constexpr const char* kHelp =
    "Usage: prt-inspect [options] <data file>\n"
    "Reads the data set in place and writes nothing (no SimWork folder, no lock). Prints the\n"
    "project's name, its languages with their fonts and the one a converter run would use\n"
    "(stored in SimWork beside the data file by an earlier run, if any), text and object\n"
    "counts and per screen its control tree: type code and object reference, object text in\n"
    "that language, geometry, hidden flags and what the converter would skip and why, the\n"
    "converter's verdict, then the resource and text lists (kind, entries, default; at most\n"
    "100 each), the settings, and the records (key, length) of the connection file an\n"
    "earlier run stored in SimWork, which is only read.\n"
    "\n"
    "Options:\n"
    "  --json      print the prt-build description instead, from which prt-build rebuilds\n"
    "              a data set giving the same documents\n"
    "  -h, --help  show this help\n"
    "  --version   show the version\n"
    "\n"
    "Exit status:\n"
    "  0  the report is written\n"
    "  1  the data set cannot be read (the reason on standard error)\n"
    "  2  wrong usage (the reason on standard error)\n";

// Where the current language comes from, for the report's language line.
std::string LanguageSource(const prt::ReadOnlyDataSet& opened) {
  if (!opened.storedLanguage) return {};
  const std::string file = "'" + prt::platform::NarrowPath(opened.languageFile) + "'";
  if (*opened.storedLanguage == opened.data.StoredLanguage()) return "stored in " + file;
  return file + " stores " + std::to_string(*opened.storedLanguage) + ", which the project lacks";
}

}  // namespace

int main(int argc, char** argv) {
  bool asJson = false;
  const auto operands = prt::options::Parse({.program = "prt-inspect",
                                         .help = kHelp,
                                         .options = {{.names = "--json", .flag = &asJson}},
                                         .operands = {"<data file>"},
                                         .required = 1},
                                        argc, argv);
  if (!operands) return operands.Error();

  const std::u16string dataFile = prt::platform::WidenPath(operands->front());
  auto opened = prt::OpenDataSetReadOnly(dataFile);
  if (!opened) {
    std::cerr << "prt-inspect: " << prt::OpenErrorMessage(opened.Error(), dataFile, dataFile) << std::endl;
    return prt::options::kRefused;
  }
  const std::string languageSource = LanguageSource(*opened);
  // Adopted read-only, the manager stores nothing: it only reads the
  // connection file, when there.
  prt::CPRDataManager dm;
  dm.AdoptReadOnly(std::move(opened->data), opened->connectionFile);
  const std::string text = asJson ? prt::inspect::JsonText(prt::inspect::DescribeJson(dm))
                                  : prt::inspect::DescribeText(dm, languageSource);
  return prt::PrintAnswer("prt-inspect", text);
}
