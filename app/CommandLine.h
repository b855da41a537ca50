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
};

// True for one to four arguments after the program name (argc 2 to 5).
bool ArgumentCountValid(int argc);

// "usage: " + program name + the option summary, without a line end.
std::string UsageText(std::string_view programName);

// `args` are the elements after the program name; args[0] is the project
// path, the rest are options. Only their first two characters count, and
// the element after a -d is appended to the folder and still scanned.
CommandLine ScanCommandLine(const std::vector<std::u16string>& args);

}  // namespace prt
