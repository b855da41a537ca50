#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "generator/FileCipher.h"
#include "tests/generator/PipelineTestUtil.h"

namespace prt {
namespace {

using testutil::ReadAll;
using testutil::ScratchDir;
using testutil::Wide;
using testutil::WriteAll;

int RunShell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

TEST(DecipherTool, WritesPlainTextWithPaddingToFileAndStdout) {
  ScratchDir dir;
  const std::string text = "import QtQuick\n\xC3\xA4\xEF\xBF\xBD\n";  // 21 bytes
  WriteAll(dir / "p.qml", text);
  ASSERT_TRUE(Encrypt(Wide(dir / "p.qml")));
  ASSERT_NE(ReadAll(dir / "p.qml"), text);

  ASSERT_EQ(RunShell(std::string(QML_DECIPHER) + " " + Quote(dir / "p.qml") + " " + Quote(dir / "out.qml")), 0);
  EXPECT_EQ(ReadAll(dir / "out.qml"), text + "   ");

  ASSERT_EQ(RunShell(std::string(QML_DECIPHER) + " " + Quote(dir / "p.qml") + " > " + Quote(dir / "stdout.txt")), 0);
  EXPECT_EQ(ReadAll(dir / "stdout.txt"), text + "   ");
}

TEST(DecipherTool, RejectsBadInputAndUsage) {
  ScratchDir dir;
  WriteAll(dir / "short.qml", "1234567");
  WriteAll(dir / "odd.qml", "123456789");
  WriteAll(dir / "empty.qml", "");
  const std::string tool = QML_DECIPHER;
  const std::string quiet = " 2>/dev/null";
  for (const char* name : {"short.qml", "odd.qml", "empty.qml", "absent.qml"}) {
    EXPECT_EQ(RunShell(tool + " " + Quote(dir / name) + " " + Quote(dir / "o") + quiet), 2) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "o"));
  EXPECT_EQ(RunShell(tool + quiet), 1);
  EXPECT_EQ(RunShell(tool + " a b c" + quiet), 1);
}

}  // namespace
}  // namespace prt
