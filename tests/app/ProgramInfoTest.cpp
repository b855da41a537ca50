// --help and --version of every program, as the shell sees them.
#include <gtest/gtest.h>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

namespace fs = std::filesystem;

// Raising the project version changes this line too.
constexpr char kVersion[] = "0.9.0";

std::string Golden(const char* name) { return test::ReadFile(fs::path(PRT_SOURCE_DIR "/tests/app/golden") / name); }

TEST(ProgramInfo, HelpAndVersionOnStandardOutput) {
  const struct { const char* program; std::vector<std::string> help, version; const char* golden; } cases[] = {
      {PRT2QML_PATH, {"--help"}, {"--version", "-e"}, "prt2qml.help"},
      {PRT2QML_PATH, {"-h", "-d", "out"}, {"--version"}, "prt2qml.help"},
      {PRT_BUILD_PATH, {"--help"}, {"d.json", "--version"}, "prt-build.help"},
      {PRT_INSPECT_PATH, {"--help"}, {"a.prt", "--version"}, "prt-inspect.help"},
      {QML_DECIPHER_PATH, {"-h"}, {"--version"}, "qml-decipher.help"},
      {PRT_BENCH_PATH, {"--help"}, {"--version"}, "prt-bench.help"},
#ifdef QML_PREVIEW_PATH
      {QML_PREVIEW_PATH, {"--help"}, {"--version"}, "qml-preview.help"},
#endif
  };
  test::TempDir dir;
  for (const auto& c : cases) {
    const std::string name = fs::path(c.program).filename().string();
    const std::pair<std::vector<std::string>, std::string> runs[] = {{c.help, Golden(c.golden)},
                                                                      {c.version, name + " " + kVersion + "\n"}};
    for (const auto& [args, out] : runs) {
      const test::ProcessResult r =
          test::RunProcess({.program = c.program, .args = args, .workDir = dir.Path(), .argv0 = name});
      const std::string label = name + " " + args[0];
      EXPECT_TRUE(r.exited && r.exitStatus == 0) << label << ": " << r.exitStatus;
      EXPECT_EQ(r.out, out) << label;
      EXPECT_EQ(r.err, "") << label;
    }
  }
  EXPECT_TRUE(fs::is_empty(dir.Path()));
}

// A file named like the option is the input, as the first argument always is.
TEST(ProgramInfo, AFileOfThatNameIsTheInput) {
  const struct { const char* program; const char* arg; int status; const char* err; } cases[] = {
      {PRT2QML_PATH, "--help", 254, "'--help': the data file name must end in .prt\nInitialize Data Manager failed!\n"},
      {PRT2QML_PATH, "-h", 254, "'-h': the data file name must end in .prt\nInitialize Data Manager failed!\n"},
      {QML_DECIPHER_PATH, "--version", 2, "qml-decipher: --version is not an enciphered file (size 4)\n"},
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    test::WriteFile(dir / c.arg, "text");
    const test::ProcessResult r = test::RunProcess({.program = c.program, .args = {c.arg}, .workDir = dir.Path()});
    EXPECT_TRUE(r.exited && r.exitStatus == c.status) << c.arg << ": " << r.exitStatus;
    EXPECT_EQ(r.out, "") << c.arg;
    EXPECT_TRUE(r.err.ends_with(c.err)) << c.arg << ": " << r.err;
  }
}

}  // namespace
}  // namespace prt
