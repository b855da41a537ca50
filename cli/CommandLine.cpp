#include "cli/CommandLine.h"

#include <utility>

namespace prt {

bool ArgumentCountValid(int argc) { return argc >= 2 && argc <= 5; }

std::string UsageText(std::string_view programName) {
  std::string text = "usage: ";
  text += programName;
  text +=
      " <prt> [-d qmls_folder] [-e]\n"
      "Generate the qml files into [qmls_folder] for prt file <prt> file.\n"
      "If [qmls_folder] is not configured, it would be the sub folder \"qmls\" in prt folder.\n"
      "If [-e] is set, qml file will be encrypted, otherwise will not.";
  return text;
}

std::string HelpText(std::string_view programName) {
  return UsageText(programName) +
         "\n"
         "\n"
         "Options:\n"
         "  <prt>        the project's runtime data file; always the first argument\n"
         "  -d <folder>  the folder that receives qmls (default: the folder of <prt>)\n"
         "  -e           encipher every generated .qml file after compiling it\n"
         "  -h, --help   show this help (as the first argument, when no file has that name)\n"
         "  --version    show the version (likewise)\n"
         "Only the first two characters of an option count; other arguments are ignored, each\n"
         "with a warning on standard error.\n"
         "\n"
         "Exit codes:\n"
         "  0    every screen generated; the new qmls is on disk\n"
         "  255  wrong number of arguments\n"
         "  254  the data set cannot be loaded, or the working folder stayed locked\n"
         "  253  the generation failed, or the output folder stayed locked\n"
         "\n"
         "Environment:\n"
         "  PRT2QML_LOCK_WAIT  seconds to wait for a folder that another run holds\n"
         "                     (default 600; 0 does not wait)\n"
         "  PRT2QML_REUSE      0: compile every document afresh (default: a document\n"
         "                     unchanged since the last run keeps its published files)\n"
         "  PRT2QML_REPORT     a file that receives a JSON report of the run, whatever\n"
         "                     its outcome; one that cannot be written fails the run (253)\n"
         "  PRT2QML_STRICT     1: a document Qt rejects fails the run (253), qmls untouched\n"
         "  PRT2QML_LANGUAGE   the language the documents start in: a language id or\n"
         "                     index (id:<n>, index:<n>); the stored one is not changed;\n"
         "                     an unknown one is refused with the project's list (254)\n";
}

Request RequestOf(std::u16string_view firstArgument) {
  if (firstArgument == u"-h" || firstArgument == u"--help") return Request::Help;
  if (firstArgument == u"--version") return Request::Version;
  return Request::Convert;
}

CommandLine ScanCommandLine(const std::vector<std::u16string>& args) {
  CommandLine line;
  if (args.empty()) return line;
  bool folderText = false;  // this element follows a -d
  for (size_t i = 1; i < args.size(); ++i) {
    const std::u16string& arg = args[i];
    const bool option = arg.size() >= 2 && arg[0] == u'-';
    const bool afterFolderOption = std::exchange(folderText, false);
    if (option && arg[1] == u'd') {
      line.folderOptionSeen = true;
      if (i + 1 < args.size()) line.outputFolder += args[i + 1];
      folderText = true;
    } else if (option && arg[1] == u'e') {
      line.encryptOptionSeen = true;
    } else if (!afterFolderOption) {
      line.ignored.push_back(i);
    }
  }

  line.projectPath = args[0];
  if (line.folderOptionSeen) return line;
  // Linux names: only '/' separates; a backslash belongs to the name.
  const size_t sep = line.projectPath.rfind(u'/');
  if (sep != std::u16string::npos) {
    line.outputFolder = line.projectPath.substr(0, sep);
  } else {
    line.outputFolder = std::u16string(1, u'.');
    line.projectPath.insert(0, u"./");
  }
  return line;
}

}  // namespace prt
