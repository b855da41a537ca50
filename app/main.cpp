// prt2qml: converts a project's runtime data set into QML documents.
#include <chrono>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Messages.h"
#include "cli/ProgramInfo.h"
#include "app/RunStart.h"
#include "convert/RunRecord.h"
#include "data/files/WorkingCopy.h"
#include "platform/FileSystem.h"
#include "platform/FolderLock.h"
#include "platform/Text.h"

namespace {

int Convert(int argc, char* argv[]) {
  if (!prt::ArgumentCountValid(argc)) {
    std::cerr << "Invalid parameters!" << std::endl;
    std::cout << prt::UsageText(argc > 0 && argv[0] ? argv[0] : "") << std::endl;
    return -1;
  }
  // -h, --help and --version answer unless a file has that name: then it is
  // the data file, as the first argument always is.
  if (const prt::Request request = prt::RequestOf(prt::platform::WidenPath(argv[1]));
      request != prt::Request::Convert && !prt::platform::EntryExists(prt::platform::WidenPath(argv[1]))) {
    return prt::PrintAnswer("prt2qml", request == prt::Request::Help
                                           ? prt::HelpText(argv[0])
                                           : prt::VersionLine("prt2qml"));
  }

  // A wait that is not a whole number of seconds is refused before
  // anything is done.
  std::string waitText;
  const std::optional<std::chrono::seconds> waitBound = prt::platform::LockWaitFromEnvironment(waitText);
  if (!waitBound) {
    std::cerr << "prt2qml: PRT2QML_LOCK_WAIT must be a whole number of seconds, not '" << waitText << "'"
              << std::endl;
    std::cerr << "Initialize Data Manager failed!" << std::endl;
    return -2;
  }

  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.push_back(prt::platform::WidenPath(argv[i]));
  // The data file is the one the system opens for the path given (a ".."
  // after a link in its folder part leads out of the link); the working
  // folder and the default output folder lie beside it.
  std::vector<std::u16string> resolved = args;
  resolved[0] = prt::platform::KernelPath(args[0]);
  const prt::CommandLine line = prt::ScanCommandLine(resolved);
  if (prt::RunRecord* record = prt::ActiveRunRecord()) record->Started(args[0], line.outputFolder, line.encryptOptionSeen);
  for (const std::string& warning : prt::CommandLineWarnings(resolved, line))
    std::cerr << "prt2qml: warning: " << warning << std::endl;

  // One run per working folder, then per output folder, always in this
  // order; a second run waits for the first.
  const std::chrono::seconds bound = *waitBound;
  prt::platform::LockWait wait;
  wait.bound = bound;
  wait.onWait = [](const std::u16string& folder, const prt::platform::LockHolder& holder) {
    std::cerr << "prt2qml: " << prt::WaitingMessage(folder, holder) << std::endl;
  };

  auto loadFailed = [&](const prt::Error* error) {
    if (error)
      std::cerr << "prt2qml: " << prt::OpenErrorMessage(*error, line.projectPath, args[0], bound) << std::endl;
    else
      std::cerr << "prt2qml: out of memory loading '" << argv[1] << "'" << std::endl;
    std::cerr << "Initialize Data Manager failed!" << std::endl;
    return -2;
  };
  std::optional<prt::WorkingCopy> copy;
  prt::platform::ByteBlock bytes;  // the data file's, read once
  try {
    auto prepared = prt::WorkingCopy::Prepare(line.projectPath, wait, &bytes);
    if (!prepared) return loadFailed(&prepared.Error());
    copy.emplace(std::move(*prepared));
    if (prt::RunRecord* record = prt::ActiveRunRecord(); record && bytes.Size() > 0) record->DataRead(bytes.Bytes());
  } catch (const std::bad_alloc&) {
    return loadFailed(nullptr);
  }
  return prt::RunStart(std::move(*copy), std::move(bytes), line.encryptOptionSeen, line.outputFolder, wait, loadFailed);
}

}  // namespace

int main(int argc, char* argv[]) {
  prt::platform::PrepareProcess();
  // Whatever the outcome, a pipeline that asked for a report gets one.
  const std::unique_ptr<prt::RunRecord> record = prt::RunRecord::FromEnvironment();
  prt::SetRunRecord(record.get());
  const int code = Convert(argc, argv);
  return record ? record->Finish(code) : code;
}
