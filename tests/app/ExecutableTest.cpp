// Runs the real prt2qml the way a shell does and checks what the shell sees.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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

void WriteFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

test::ProcessResult RunTool(const std::vector<std::string>& args, const fs::path& workDir,
                        std::optional<std::string> argv0 = {}) {
  test::ProcessRequest request;
  request.program = PRT2QML_PATH;
  request.args = args;
  request.workDir = workDir;
  request.argv0 = std::move(argv0);
  return test::RunProcess(request);
}

TEST(Executable, WrongArgumentCountPrintsUsageAndExits255) {
  test::TempDir dir;
  const std::vector<std::vector<std::string>> lines = {
      {},
      {"a.prt", "-d", "x", "-d", "y"},
      {"a.prt", "b", "c", "d", "e", "f"},
  };
  for (const auto& args : lines) {
    const test::ProcessResult r = RunTool(args, dir.Path());
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.exitStatus, 255) << args.size();
    EXPECT_EQ(r.err, "Invalid parameters!\n") << args.size();
    EXPECT_EQ(r.out, std::string("usage: ") + PRT2QML_PATH + kUsageTail) << args.size();
  }
  EXPECT_TRUE(fs::is_empty(dir.Path()));
}

TEST(Executable, UsageNamesTheProgramExactlyAsInvoked) {
  test::TempDir dir;
  const test::ProcessResult r = RunTool({}, dir.Path(), "odd name/\xc3\xa4");
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitStatus, 255);
  EXPECT_EQ(r.out, std::string("usage: odd name/\xc3\xa4") + kUsageTail);
}

TEST(Executable, AcceptedCommandLinesReachTheDataManager) {
  test::TempDir dir;
  const std::vector<std::vector<std::string>> lines = {
      {"a.prt"},
      {"a.prt", "-d", "-e"},
      {"a.prt", "-d", "-d", "y"},
      {"a.prt", "-d"},
      {"a.prt", "-x", "y", "z"},
  };
  for (const auto& args : lines) {
    const test::ProcessResult r = RunTool(args, dir.Path());
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.exitStatus, 254) << args.size();
    EXPECT_EQ(r.err, "Initialize Data Manager failed!\n") << args.size();
    EXPECT_EQ(r.out, "") << args.size();
  }
}

TEST(Executable, BareFileNameWorksBesideTheCurrentFolder) {
  test::TempDir dir;
  WriteFile(dir / "a.prt", "not a container");
  const test::ProcessResult r = RunTool({"a.prt"}, dir.Path());
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitStatus, 254);
  EXPECT_EQ(r.err, "Initialize Data Manager failed!\n");
  std::ifstream copy(dir / "SimWork" / "a.prt");
  EXPECT_TRUE(copy.is_open());
}

TEST(Executable, ProjectPathWithFoldersGetsItsWorkingCopyThere) {
  test::TempDir dir;
  fs::create_directories(dir / "data" / "run");
  WriteFile(dir / "data" / "run" / "a.prt", "not a container");
  const test::ProcessResult r = RunTool({"data/run/a.prt", "-d", "out"}, dir.Path());
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitStatus, 254);
  EXPECT_TRUE(fs::exists(dir / "data" / "run" / "SimWork" / "a.prt"));
  EXPECT_FALSE(fs::exists(dir / "SimWork"));
  EXPECT_FALSE(fs::exists(dir / "out"));
}

constexpr std::string_view kOnePage = R"({
  "screens": [{"type": "page", "text": "Start", "x": 0, "y": 0, "w": 800, "h": 480,
               "background": "#ffffffff",
               "children": [{"type": "button", "text": "OK", "x": 10, "y": 20, "w": 120, "h": 40}]}]
})";
constexpr const char* kPageFile = "qmls/page16777216.qml";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Executable, OutputLandsInTheDerivedOrCollectedFolder) {
  struct Case {
    const char* prt;  // relative to the run's folder
    std::vector<std::string> options;
    const char* output;  // folder that receives qmls, relative to the run's folder
    bool enciphered;
  } cases[] = {
      {"a.prt", {}, ".", false},
      {"data/run/a.prt", {}, "data/run", false},
      {"a.prt", {"-d", "out", "-e"}, "out", true},
      {"a.prt", {"-d", "-e"}, "-e", true},
      {"a.prt", {"-d", "-d", "y"}, "-dy", false},
      {"a.prt", {"-dir", "x", "-encrypt"}, "x", true},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    test::WriteDataset(dir / c.prt, kOnePage);
    fs::create_directories(dir / c.output);
    std::vector<std::string> args{c.prt};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const test::ProcessResult r = RunTool(args, dir.Path());
    ASSERT_TRUE(r.exited) << c.prt;
    EXPECT_EQ(r.exitStatus, 0) << c.output << "\n" << r.err;
    EXPECT_EQ(r.err, "") << c.output;

    const fs::path page = dir / c.output / kPageFile;
    ASSERT_TRUE(fs::exists(page)) << c.output;
    EXPECT_TRUE(fs::exists(fs::path(page).replace_extension(".qmlc"))) << c.output;
    EXPECT_EQ(ReadFile(page).rfind("import ", 0) == 0, !c.enciphered) << c.output;
    EXPECT_TRUE(fs::exists(fs::path(dir / c.prt).parent_path() / "SimWork" / "a.prt")) << c.output;
  }
}

TEST(Executable, CorruptDataSetExits254AndWritesNoOutput) {
  for (const char* corrupt : {"badMagic", "badByteOrderMark", "truncatedPayload", "pointerPositionOutOfRange",
                              "pointerValueOutOfRange", "wrongImageMagic", "positionListOutOfRange",
                              "truncatedHeader", "truncatedSection"}) {
    test::TempDir dir;
    std::string json(kOnePage);
    json.insert(json.rfind('}'), std::string(R"(, "container": {"corrupt": ")") + corrupt + "\"}");
    test::WriteDataset(dir / "a.prt", json);
    const test::ProcessResult r = RunTool({"a.prt", "-d", "out"}, dir.Path());
    ASSERT_TRUE(r.exited) << corrupt;
    EXPECT_EQ(r.exitStatus, 254) << corrupt;
    EXPECT_EQ(r.err, "Initialize Data Manager failed!\n") << corrupt;
    EXPECT_EQ(r.out, "") << corrupt;
    EXPECT_FALSE(fs::exists(dir / "out")) << corrupt;
  }
}

}  // namespace
}  // namespace prt
