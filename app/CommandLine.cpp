#include "app/CommandLine.h"

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

CommandLine ScanCommandLine(const std::vector<std::u16string>& args) {
  CommandLine line;
  if (args.empty()) return line;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::u16string& arg = args[i];
    if (arg.size() < 2 || arg[0] != u'-') continue;
    if (arg[1] == u'd') {
      line.folderOptionSeen = true;
      if (i + 1 < args.size()) line.outputFolder += args[i + 1];
    } else if (arg[1] == u'e') {
      line.encryptOptionSeen = true;
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
