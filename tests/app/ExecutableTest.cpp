// Runs the real prt2qml the way a shell does and checks what the shell sees.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "tests/support/Dataset.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

namespace fs = std::filesystem;

const char kUsageTail[] =
    " <prt> [-d qmls_folder] [-e]\n"
    "Generate the qml files into [qmls_folder] for prt file <prt> file.\n"
    "If [qmls_folder] is not configured, it would be the sub folder \"qmls\" in prt folder.\n"
    "If [-e] is set, qml file will be encrypted, otherwise will not.\n";

constexpr std::string_view kOnePage = R"({"screens": [{"type": "page", "text": "Start", "w": 800, "h": 480,
    "children": [{"type": "button", "text": "OK", "x": 10, "y": 20, "w": 120, "h": 40}]}]})";

test::ProcessResult RunTool(const std::vector<std::string>& args, const fs::path& workDir,
                            std::optional<std::string> argv0 = {}) {
  return test::RunProcess({.program = PRT2QML_PATH, .args = args, .workDir = workDir, .argv0 = std::move(argv0)});
}

TEST(Executable, WrongArgumentCountPrintsUsageAndExits255) {
  test::TempDir dir;
  const struct { std::vector<std::string> args; std::optional<std::string> argv0; } cases[] = {
      {{}, std::nullopt}, {{}, "odd name/\xc3\xa4"}, {{"a.prt", "-d", "x", "-d", "y"}, std::nullopt}};
  for (const auto& c : cases) {
    const test::ProcessResult r = RunTool(c.args, dir.Path(), c.argv0);
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.exitStatus, 255) << c.args.size();
    EXPECT_EQ(r.err, "Invalid parameters!\n") << c.args.size();
    EXPECT_EQ(r.out, "usage: " + c.argv0.value_or(PRT2QML_PATH) + kUsageTail) << c.args.size();
  }
  EXPECT_TRUE(fs::is_empty(dir.Path()));
}

TEST(Executable, OutputLandsInTheDerivedOrCollectedFolder) {
  // Paths relative to the run's folder: the data set, and the folder that receives qmls.
  const struct { const char* prt; std::vector<std::string> options; const char* output; bool enciphered; } cases[] = {
      {"a.prt", {}, ".", false},
      {"data/run/a.prt", {}, "data/run", false},
      {"a.prt", {"-d", "-e"}, "-e", true},
      {"a.prt", {"-d", "-d", "y"}, "-dy", false},
      {"a.prt", {"-dir", "x", "-encrypt"}, "x", true},
      {"a.prt", {"-x", "y", "z"}, ".", false},
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    test::WriteDataset(dir / c.prt, kOnePage);
    fs::create_directories(dir / c.output);
    std::vector<std::string> args{c.prt};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const test::ProcessResult r = RunTool(args, dir.Path());
    EXPECT_TRUE(r.exited && r.exitStatus == 0 && r.err.empty()) << c.output << "\n" << r.err;
    const fs::path page = dir / c.output / "qmls" / "page16777216.qml";
    EXPECT_TRUE(fs::exists(fs::path(page).replace_extension(".qmlc"))) << c.output;
    EXPECT_EQ(test::ReadFile(page).rfind("import ", 0) == 0, !c.enciphered) << c.output;
    EXPECT_TRUE(fs::exists((dir / c.prt).parent_path() / "SimWork" / "a.prt")) << c.output;
  }
}

TEST(Executable, UnloadableDataSetExits254AndWritesNoOutput) {
  for (const char* corrupt : {"", "badMagic", "pointerValueOutOfRange", "wrongImageMagic", "duplicatePointerPosition",
                              "unorderedPointerPositions"}) {
    test::TempDir dir;
    if (*corrupt != '\0') {  // "": no data file at all
      std::string json(kOnePage);
      json.insert(json.rfind('}'), std::string(R"(, "container": {"corrupt": ")") + corrupt + "\"}");
      test::WriteDataset(dir / "a.prt", json);
    }
    fs::create_directory(dir / "out");
    const test::ProcessResult r = RunTool({"a.prt", "-d", "out"}, dir.Path());
    EXPECT_TRUE(r.exited && r.exitStatus == 254) << corrupt;
    EXPECT_EQ(r.err, "Initialize Data Manager failed!\n") << corrupt;
    EXPECT_EQ(r.out, "") << corrupt;
    EXPECT_TRUE(fs::is_empty(dir / "out")) << corrupt;
  }
}

// A FIFO as the data file, as its working copy or as the stored language
// file: the load fails at once and nothing is converted.
TEST(Executable, AFifoInPlaceOfAFileFailsTheLoadAtOnce) {
  for (const char* fifo : {"a.prt", "SimWork/a.prt", "SimWork/a.rt_file.LANG"}) {
    test::TempDir dir;
    test::WriteDataset(dir / "a.prt", kOnePage);
    fs::create_directory(dir / "out");
    // A first run leaves a working copy that is up to date.
    ASSERT_EQ(RunTool({"a.prt", "-d", "out"}, dir.Path()).exitStatus, 0);
    fs::remove(dir / fifo);
    ASSERT_EQ(::mkfifo((dir / fifo).c_str(), 0600), 0);
    const test::ProcessResult r =
        test::RunProcess({.program = PRT2QML_PATH, .args = {"a.prt", "-d", "out"}, .workDir = dir.Path(),
                          .timeoutSeconds = 20});
    EXPECT_TRUE(r.exited && r.exitStatus == 254) << fifo;
    EXPECT_EQ(r.err, "Initialize Data Manager failed!\n") << fifo;
    EXPECT_TRUE(fs::is_fifo(dir / fifo)) << fifo;
    EXPECT_TRUE(fs::exists(dir / "out" / "qmls" / "page16777216.qml")) << fifo;  // the earlier output stays
  }
}

}  // namespace
}  // namespace prt
