#pragma once
// The command line of prt2qml: count check, usage text and option scan.
#include <string>
#include <string_view>
#include <vector>

namespace prt {

struct CommandLine {
  std::u16string projectPath;   // "./" prefixed when it names no folder
  std::u16string outputFolder;  // from -d, else the project path's folder
  bool folderOptionSeen = false;
  bool encryptOptionSeen = false;
  // Arguments after the data file that are neither an option nor the
  // folder after a -d (their positions in the scanned list).
  std::vector<size_t> ignored;
};

// True for one to four arguments after the program name (argc 2 to 5).
bool ArgumentCountValid(int argc);

// "usage: " + program name + the option summary, without a line end.
std::string UsageText(std::string_view programName);

// The usage text, then the options, exit codes and environment; ends in a
// line end.
std::string HelpText(std::string_view programName);

// What the first argument asks for. -h, --help and --version ask for the
// help or the version only when no file has that name (the caller checks);
// anything else is the data file.
enum class Request { Convert, Help, Version };
Request RequestOf(std::u16string_view firstArgument);

// `args` are the elements after the program name; args[0] is the project
// path, the rest are options. Only their first two characters count, and
// the element after a -d is appended to the folder and still scanned.
CommandLine ScanCommandLine(const std::vector<std::u16string>& args);

}  // namespace prt
