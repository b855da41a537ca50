#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include "platform/Text.h"

namespace prt {
namespace {

TEST(ArgumentCountValid, OneToFourArgumentsAfterTheProgramName) {
  for (int argc = 0; argc <= 7; ++argc) EXPECT_EQ(ArgumentCountValid(argc), argc >= 2 && argc <= 5) << argc;
}

TEST(UsageText, NamesTheProgramAsInvoked) {
  EXPECT_EQ(UsageText("./bin/prt2qml"),
            "usage: ./bin/prt2qml <prt> [-d qmls_folder] [-e]\n"
            "Generate the qml files into [qmls_folder] for prt file <prt> file.\n"
            "If [qmls_folder] is not configured, it would be the sub folder \"qmls\" in prt folder.\n"
            "If [-e] is set, qml file will be encrypted, otherwise will not.");
}

TEST(ScanCommandLine, DerivesFolderPathAndSwitches) {
  struct Case {
    std::vector<std::u16string> args;
    std::u16string path;
    std::u16string folder;
    bool folderSeen;
    bool encrypt;
  } cases[] = {
      {{u"a.prt"}, u"./a.prt", u".", false, false},
      {{u""}, u"./", u".", false, false},
      {{u"C:\\proj\\a.prt"}, u"C:\\proj\\a.prt", u"C:\\proj", false, false},
      {{u"data/run/a.prt"}, u"data/run/a.prt", u"data/run", false, false},
      {{u"data\\run/a.prt"}, u"data\\run/a.prt", u"data\\run", false, false},
      {{u"/a.prt"}, u"/a.prt", u"", false, false},
      {{u"a.prt", u"-d", u"out", u"-e"}, u"a.prt", u"out", true, true},
      {{u"a.prt", u"-d", u"-e"}, u"a.prt", u"-e", true, true},
      {{u"a.prt", u"-d"}, u"a.prt", u"", true, false},
      {{u"a.prt", u"-d", u"-d", u"y"}, u"a.prt", u"-dy", true, false},
      {{u"a.prt", u"-dir", u"x", u"-encrypt"}, u"a.prt", u"x", true, true},
      {{u"a.prt", u"-x", u"y", u"z"}, u"./a.prt", u".", false, false},
      {{u"a.prt", u"-", u"e", u"d"}, u"./a.prt", u".", false, false},
      {{u"a.prt", u"-E", u"-D", u"x"}, u"./a.prt", u".", false, false},
      {{u"-d", u"-e"}, u"./-d", u".", false, true},
      {{u"sub/-e", u"-e"}, u"sub/-e", u"sub", false, true},
  };
  for (const Case& c : cases) {
    const CommandLine line = ScanCommandLine(c.args);
    const std::string label = platform::Narrow(c.args[0]) + " (" + std::to_string(c.args.size()) + " args)";
    EXPECT_EQ(line.projectPath, c.path) << label;
    EXPECT_EQ(line.outputFolder, c.folder) << label;
    EXPECT_EQ(line.folderOptionSeen, c.folderSeen) << label;
    EXPECT_EQ(line.encryptOptionSeen, c.encrypt) << label;
  }
}

}  // namespace
}  // namespace prt
