#include "app/Invocation.h"

#include <iostream>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Messages.h"
#include "cli/ProgramInfo.h"
#include "platform/FolderLock.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Text.h"

namespace prt {

namespace {

void Line(std::ostream& stream, const std::string& line) { stream << line + "\n" << std::flush; }

}  // namespace

Invocation ReadInvocation(int argc, char* argv[]) {
  Invocation invocation;
  if (!ArgumentCountValid(argc)) {
    Line(std::cerr, "Invalid parameters!");
    Line(std::cout, UsageText(argc > 0 && argv[0] ? argv[0] : ""));
    invocation.answered = -1;
    return invocation;
  }
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.push_back(platform::WidenPath(argv[i]));
  if (const Request request = RequestOf(args[0]); request != Request::Convert && !platform::EntryExists(args[0])) {
    invocation.answered =
        PrintAnswer("prt2qml", request == Request::Help ? HelpText(argv[0]) : VersionLine("prt2qml"));
    return invocation;
  }
  // A wait that is not a whole number of seconds is refused before
  // anything is done.
  const Expected<std::chrono::seconds, platform::BadLockWait> wait = platform::LockWaitFromEnvironment();
  if (!wait) {
    Line(std::cerr, "prt2qml: PRT2QML_LOCK_WAIT must be a whole number of seconds, not '" + wait.Error().text + "'");
    Line(std::cerr, "Initialize Data Manager failed!");
    invocation.answered = -2;
    return invocation;
  }
  std::vector<std::u16string> resolved = args;
  resolved[0] = platform::KernelPath(args[0]);
  const CommandLine line = ScanCommandLine(resolved);
  for (const std::string& warning : CommandLineWarnings(resolved, line)) Line(std::cerr, "prt2qml: warning: " + warning);
  invocation.options = {line.projectPath, line.outputFolder, line.encryptOptionSeen, *wait,
                        !platform::SwitchedOff("PRT2QML_REUSE")};
  invocation.options.strict = platform::SwitchedOn("PRT2QML_STRICT");
  if (std::optional<std::string> language = platform::EnvironmentValue("PRT2QML_LANGUAGE"); language && !language->empty())
    invocation.options.language = std::move(*language);
  invocation.options.replayWhole = !invocation.options.strict && !invocation.options.language;
  invocation.dataFileAsGiven = args[0];
  return invocation;
}

int ReportFailure(const Error& error, const Invocation& invocation, std::ostream& err) {
  const RunError* run = error.As<RunError>();
  if (run && run->BeforeGeneration()) {
    Line(err, "prt2qml: " + OpenErrorMessage(error, invocation.options.dataFile, invocation.dataFileAsGiven));
    Line(err, "Initialize Data Manager failed!");
    return -2;
  }
  for (const std::string& line : run ? RunFailureLines(*run) : std::vector<std::string>{"prt2qml: " + error.Reason()})
    Line(err, line);
  Line(err, "Generate QML files failed!");
  return -3;
}

}  // namespace prt
