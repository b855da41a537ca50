// prt-inspect: what a runtime data set holds, as a report or as the
// prt-build description that rebuilds it.
#include <iostream>
#include <string>
#include <vector>

#include "cli/Messages.h"
#include "cli/ProgramInfo.h"
#include "data/load/OpenDataSet.h"
#include "platform/FolderLock.h"
#include "platform/Text.h"
#include "tools/inspect/Inspect.h"

namespace {

constexpr const char* kUsage =
    "Usage: prt-inspect <data file> [--json]\n"
    "Opens the data set through its working copy in SimWork beside the data file, as prt2qml\n"
    "does, and prints the project's name, languages with their fonts, text and object counts\n"
    "and per screen its control tree: type code and object reference, object text in the\n"
    "current language, geometry, hidden flags and what the converter would skip and why.\n"
    "--json prints the prt-build description instead, from which prt-build rebuilds a data\n"
    "set giving the same documents.\n"
    "--help shows this text, --version the version. Exits with 0 when the report is written,\n"
    "1 when the data set cannot be opened (the reason on standard error) or the arguments\n"
    "are wrong.\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> positional;
  bool asJson = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") return prt::PrintAnswer("prt-inspect", kUsage);
    if (arg == "--version") return prt::PrintAnswer("prt-inspect", prt::VersionLine("prt-inspect"));
    if (arg == "--json") {
      asJson = true;
    } else if (arg.starts_with("--")) {
      std::cerr << "prt-inspect: unknown option " << arg << "\n" << kUsage;
      return 1;
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 1) {
    std::cerr << kUsage;
    return 1;
  }

  const std::u16string dataFile = prt::platform::WidenPath(positional[0]);
  const std::chrono::seconds bound = prt::platform::LockWaitFromEnvironment();
  prt::platform::LockWait wait;
  wait.bound = bound;
  wait.onWait = [](const std::u16string& folder, const prt::platform::LockHolder& holder) {
    std::cerr << "prt-inspect: " << prt::WaitingMessage(folder, holder) << std::endl;
  };
  const auto opened = prt::OpenDataSet(dataFile, wait);
  if (!opened) {
    std::cerr << "prt-inspect: " << prt::OpenErrorMessage(opened.Error(), dataFile, dataFile, bound) << std::endl;
    return 1;
  }
  const std::string text =
      asJson ? prt::inspect::JsonText(prt::inspect::DescribeJson(*opened->data))
             : prt::inspect::DescribeText(*opened->data);
  const int status = prt::PrintAnswer("prt-inspect", text);
  prt::CloseDataSet();
  return status;
}
