#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include "platform/Text.h"

namespace prt {
namespace {

TEST(ScanCommandLine, DerivesFolderPathSwitchesAndIgnoredArguments) {
  const struct {
    std::vector<std::u16string> args;
    std::u16string path, folder;
    bool folderSeen, encrypt;
    std::vector<size_t> ignored = {};
  } cases[] = {
      {{u"a.prt"}, u"./a.prt", u".", false, false},
      {{u""}, u"./", u".", false, false},
      {{u"C:\\proj\\a.prt"}, u"./C:\\proj\\a.prt", u".", false, false},  // one Linux name
      {{u"x\\y/a\\b.prt"}, u"x\\y/a\\b.prt", u"x\\y", false, false},
      {{u"data/run/a.prt"}, u"data/run/a.prt", u"data/run", false, false},
      {{u"/a.prt"}, u"/a.prt", u"", false, false},
      {{u"a.prt", u"-d", u"out", u"-e"}, u"a.prt", u"out", true, true},
      {{u"a.prt", u"-d", u"-e"}, u"a.prt", u"-e", true, true},
      {{u"a.prt", u"-d"}, u"a.prt", u"", true, false},
      {{u"a.prt", u"-d", u"-d", u"y"}, u"a.prt", u"-dy", true, false},
      {{u"a.prt", u"-dir", u"x", u"-encrypt"}, u"a.prt", u"x", true, true},
      {{u"a.prt", u"-", u"e", u"-E", u"od", u"xe"}, u"./a.prt", u".", false, false, {1, 2, 3, 4, 5}},  // options need their dash
      {{u"a.prt", u"-d", u"-x", u"--e", u""}, u"a.prt", u"-x", true, false, {3, 4}},
      {{u"-d", u"-e"}, u"./-d", u".", false, true},
      {{u"sub/-e", u"-e"}, u"sub/-e", u"sub", false, true},
  };
  for (const auto& c : cases) {
    const CommandLine line = ScanCommandLine(c.args);
    const std::string label = platform::Narrow(c.args[0]) + " (" + std::to_string(c.args.size()) + " args)";
    EXPECT_EQ(line.projectPath, c.path) << label;
    EXPECT_EQ(line.outputFolder, c.folder) << label;
    EXPECT_EQ(line.folderOptionSeen, c.folderSeen) << label;
    EXPECT_EQ(line.encryptOptionSeen, c.encrypt) << label;
    EXPECT_EQ(line.ignored, c.ignored) << label;
  }
}

}  // namespace
}  // namespace prt
