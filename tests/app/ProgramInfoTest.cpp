// --help and --version of prt2qml and prt-bench, as the shell sees them (the
// companions' are in tests/tools/cli).
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
      {PRT_BENCH_PATH, {"--help"}, {"--version"}, "prt-bench.help"},
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

}  // namespace
}  // namespace prt
