#pragma once
// The driver's lines about the data file, the working folder and the
// folder locks, without the "prt2qml: " prefix or a line end.
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "app/CommandLine.h"
#include "data/files/CPRFileNameGenerator.h"
#include "data/load/OpenDataSet.h"
#include "platform/FolderLock.h"

namespace prt {

// One warning per argument the command line ignores, and one for an empty
// folder text after -d; `args` as ScanCommandLine was given them.
std::vector<std::string> CommandLineWarnings(const std::vector<std::u16string>& args, const CommandLine& line);

// "process 4711 (prt2qml)", "process 4711" or "another process".
std::string HolderText(const platform::LockHolder& holder);

std::string WaitingMessage(std::u16string_view folder, const platform::LockHolder& holder);

// A lock that timed out or could not be taken; `what` names the folder's
// role ("working folder", "output folder").
std::string LockFailureMessage(std::string_view what, std::u16string_view folder, platform::LockStatus status,
                               const std::string& reason, const platform::LockHolder& holder,
                               std::chrono::seconds bound);

// `dataFileAsGiven` is shown for the data file instead of the path the
// working copy was asked for.
std::string ProjectPathMessage(const ProjectPathError& error, std::u16string_view requestedPath,
                               std::u16string_view dataFileAsGiven, std::chrono::seconds bound);

// Why the data set did not open. `requestedPath` is the path the data set
// was opened with, `dataFileAsGiven` the data file as the user wrote it,
// shown in its place.
std::string OpenErrorMessage(const OpenError& error, std::u16string_view requestedPath,
                             std::u16string_view dataFileAsGiven, std::chrono::seconds bound);

}  // namespace prt
