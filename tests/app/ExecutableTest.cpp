// Runs the real prt2qml the way a shell does and checks what the shell sees.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>

#include "data/image/ByteCursor.h"
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

// Arguments the command line ignores still convert, each with a warning.
TEST(Executable, OutputLandsInTheDerivedOrCollectedFolder) {
  const std::string ignored = "prt2qml: warning: '";
  const std::string twoCharacters = "' is ignored: an option counts by its first two characters, and '--' is neither -d nor -e";
  // Paths relative to the run's folder: the data set, and the folder that receives qmls.
  const struct { const char* prt; std::vector<std::string> options; const char* output; bool enciphered; std::string err; } cases[] = {
      {"data/run/a.prt", {}, "data/run", false, ""},
      {"a.prt", {"-d", "-e"}, "-e", true, ""},
      {"a.prt", {"-dir", "x", "-encrypt"}, "x", true, ""},
      {"run:2\\b\\a.prt", {}, ".", false, ""},  // one Linux name
      {"a.prt", {"-o", "out"}, ".", false,
       ignored + "-o' is ignored: the options are -d <folder> and -e\n" + ignored +
           "out' is ignored: only the argument after -d names the output folder\n"},
      {"a.prt", {"--ecnrypt", "--verbose"}, ".", false,
       ignored + "--ecnrypt" + twoCharacters + "; nothing is enciphered\n" + ignored + "--verbose" + twoCharacters + "\n"},
      {"b/a.prt", {"--dir", "-e"}, "b", true, ignored + "--dir" + twoCharacters + "; the documents go to 'b/qmls'\n"},
      {"a.prt", {"--help"}, ".", false, ignored + "--help' is ignored: it shows the help only as the first argument\n"},
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    test::WriteDataset(dir / c.prt, kOnePage);
    fs::create_directories(dir / c.output);
    std::vector<std::string> args{c.prt};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const test::ProcessResult r = RunTool(args, dir.Path());
    EXPECT_TRUE(r.exited && r.exitStatus == 0) << c.output << "\n" << r.err;
    EXPECT_EQ(r.err, c.err) << c.output;
    const fs::path page = dir / c.output / "qmls" / "page16777216.qml";
    EXPECT_TRUE(fs::exists(fs::path(page).replace_extension(".qmlc"))) << c.output;
    EXPECT_EQ(test::ReadFile(page).rfind("import ", 0) == 0, !c.enciphered) << c.output;
    EXPECT_TRUE(fs::exists((dir / c.prt).parent_path() / "SimWork" / fs::path(c.prt).filename())) << c.output;
  }
}

// A data set that does not open: one line says why, then the fixed line,
// exit 254, nothing written, no working folder left where there was none,
// and nothing else read in its place (a loadable ".prt" waits in the
// current folder). '@' stands for the run's folder.
TEST(Executable, ADataSetThatDoesNotOpenSaysWhy) {
  const auto dataset = [](const char* corrupt = nullptr) {
    return [=](const fs::path& d) {
      std::string json(kOnePage);
      if (corrupt) json.insert(json.rfind('}'), std::string(R"(, "container": {"corrupt": ")") + corrupt + "\"}");
      test::WriteDataset(d / "a.prt", json);
    };
  };
  const struct {
    std::string arg;
    std::function<void(const fs::path&)> prepare;
    std::string line;
    std::vector<std::string> options = {"-d", "out"};
  } cases[] = {
      {"nosuch.prt", [](const fs::path&) {}, "cannot open 'nosuch.prt': No such file or directory"},
      // A file named like the option is the data file, as the first argument always is.
      {"--help", [](const fs::path& d) { test::WriteFile(d / "--help", "text"); },
       "'--help': the data file name must end in .prt"},
      {"-h", [](const fs::path& d) { test::WriteFile(d / "-h", "text"); }, "'-h': the data file name must end in .prt"},
      // A final -d would write to the root: said before the data set is looked at.
      {"nosuch.prt", [](const fs::path&) {},
       "warning: the folder after -d is empty: writing to /qmls_generating and /qmls\nprt2qml: cannot open "
       "'nosuch.prt': No such file or directory", {"-d"}},
      {"notes.prt", [](const fs::path& d) { test::WriteFile(d / "notes.prt", "pumps\n"); },
       "'notes.prt' is not a runtime data set (unknown signature at offset 0)"},
      {"a.prt", dataset("wrongImageMagic"), "'a.prt': payload at offset #: the runtime image has an unknown signature"},
      {"a.prt",  // the source's time differs from the copy's
       [&](const fs::path& d) {
         dataset()(d);
         fs::last_write_time(d / "a.prt", fs::file_time_type(std::chrono::seconds(1)));
         fs::create_directories(d / "SimWork/a.prt/x");
       },
       "cannot copy 'a.prt' into '@/SimWork': Is a directory"},
      {"a.prt",  // an up-to-date copy
       [&](const fs::path& d) {
         dataset()(d);
         fs::create_directory(d / "SimWork");
         fs::copy_file(d / "a.prt", d / "SimWork/a.prt");
         fs::last_write_time(d / "SimWork/a.prt", fs::last_write_time(d / "a.prt"));
         mkfifo((d / "SimWork/a.rt_file.LANG").c_str(), 0600);
       },
       "cannot read '@/SimWork/a.rt_file.LANG': not a regular file"},
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    test::WriteDataset(dir / ".prt", kOnePage);
    fs::create_directory(dir / "out");
    c.prepare(dir.Path());
    const bool hadWorkFolder = fs::exists(dir / "SimWork");
    std::vector<std::string> args{c.arg};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const test::ProcessResult r =
        test::RunProcess({.program = PRT2QML_PATH, .args = args, .workDir = dir.Path(), .timeoutSeconds = 20});
    std::string line = c.line;
    if (const size_t at = line.find('@'); at != std::string::npos) line.replace(at, 1, dir.Path().string());
    if (const size_t at = line.find('#'); at != std::string::npos) {
      const std::string file = test::ReadFile(dir / c.arg);  // the image starts the payload
      line.replace(at, 1, Hex(file.find("Tr@NQ-RTDat")));
    }
    EXPECT_TRUE(r.exited && r.exitStatus == 254) << c.line;
    EXPECT_EQ(r.err, "prt2qml: " + line + "\nInitialize Data Manager failed!\n");
    EXPECT_EQ(r.out, "") << c.line;
    EXPECT_TRUE(fs::is_empty(dir / "out")) << c.line;
    EXPECT_EQ(fs::exists(dir / "SimWork"), hadWorkFolder) << c.line;
  }
}

// A name's bytes are used as given: a folder whose name is not UTF-8 is not
// confused with the one its replacement characters would name.
TEST(Executable, FolderNamesThatAreNotUtf8AreUsedAsGiven) {
  test::TempDir dir;
  const std::string given = "p\xff", lookalike = "p\xef\xbf\xbd";  // U+FFFD
  test::WriteDataset(dir / given / "a.prt", kOnePage);
  test::WriteDataset(dir / lookalike / "a.prt", kOnePage);
  fs::create_directory(dir / (given + "out"));
  fs::create_directory(dir / (lookalike + "out"));
  const test::ProcessResult r = RunTool({given + "/a.prt", "-d", given + "out"}, dir.Path());
  EXPECT_TRUE(r.exited && r.exitStatus == 0) << r.err;
  EXPECT_TRUE(fs::exists(dir / (given + "out") / "qmls" / "page16777216.qml"));
  EXPECT_TRUE(fs::exists(dir / given / "SimWork" / "a.prt"));
  EXPECT_TRUE(fs::is_empty(dir / (lookalike + "out")));
  EXPECT_FALSE(fs::exists(dir / lookalike / "SimWork"));
}

// Another process holds the working or the output folder: the run waits,
// says once who holds it, and gives up after PRT2QML_LOCK_WAIT seconds; or
// it runs once the folder is released.
TEST(Executable, ALockedFolderMakesTheRunWaitThenGiveUp) {
  const struct { const char* locked; std::chrono::milliseconds hold; const char* wait; int status; const char* last; } cases[] = {
      {"SimWork", std::chrono::minutes(1), "1", 254, "Initialize Data Manager failed!\n"},
      {"out", std::chrono::minutes(1), "1", 253, "Generate QML files failed!\n"},
      {"out", std::chrono::milliseconds(1500), "60", 0, nullptr},
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    test::WriteDataset(dir / "a.prt", kOnePage);
    fs::create_directory(dir / "out");
    fs::create_directory(dir / "SimWork");
    const std::string folder = std::string(c.locked) == "out" ? "out" : (dir / "SimWork").string();
    test::ChildFolderLock child(dir / c.locked, c.hold);
    ASSERT_TRUE(child.Holding());
    std::string holder = "process " + std::to_string(child.Pid());
    holder += " (" + test::ReadFile("/proc/" + std::to_string(child.Pid()) + "/comm");
    holder.back() = ')';  // comm ends in a line end
    const test::ProcessResult r = test::RunProcess(
        {.program = PRT2QML_PATH, .args = {"a.prt", "-d", "out"}, .workDir = dir.Path(),
         .env = {std::string("PRT2QML_LOCK_WAIT=") + c.wait}});
    EXPECT_TRUE(r.exited && r.exitStatus == c.status) << c.locked << "\n" << r.err;
    std::string err = "prt2qml: waiting for '" + folder + "', locked by " + holder + "\n";
    if (c.last) err += "prt2qml: '" + folder + "' is locked by " + holder + "; gave up after 1 s\n" + c.last;
    EXPECT_EQ(r.err, err) << c.locked;
    EXPECT_EQ(fs::exists(dir / "out" / "qmls" / "page16777216.qml"), c.status == 0) << c.locked;
  }
}

}  // namespace
}  // namespace prt
