// The command lines as the shell sees them: for each companion program a
// table of help, version, unknown options, missing values and operands,
// option order, missing files and the exit status of each; help and version
// of prt2qml and prt-bench. A row changes no file of its folder, apart from
// those it names as made.
#include <gtest/gtest.h>

#include "tests/support/Dataset.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

namespace fs = std::filesystem;

struct Row {
  std::vector<std::string> args;
  int status;
  std::string out;  // what standard output starts with; empty: nothing
  std::string err;  // all of standard error
  std::map<std::string, std::string> made = {};  // path -> content ("" for a folder or any content)
};

// Raising the project version changes this line too.
const std::string kVersion = " 0.9.0\n";

std::string Golden(const char* program) {
  return test::ReadFile(fs::path(PRT_SOURCE_DIR "/tests/app/golden") / (std::string(program) + ".help"));
}
std::string Hint(const std::string& program, const std::string& error) {
  return program + ": " + error + "\nTry '" + program + " --help' for more information.\n";
}

void RunTable(const char* path, const std::vector<Row>& rows, const test::TempDir& dir) {
  const std::string program = fs::path(path).filename();
  for (const Row& row : rows) {
    std::string label = program;
    for (const std::string& arg : row.args) label += " " + arg;
    const std::set<fs::path> before = test::Tree(dir.Path());
    const test::ProcessResult r = test::RunProcess({.program = path, .args = row.args, .workDir = dir.Path(),
                                                    .argv0 = program});
    EXPECT_TRUE(r.exited && r.exitStatus == row.status) << label << ": " << r.exitStatus << "\n" << r.err;
    EXPECT_EQ(r.out.substr(0, row.out.empty() ? std::string::npos : row.out.size()), row.out) << label;
    EXPECT_EQ(r.err, row.err) << label;
    std::set<fs::path> expected = before;
    for (const auto& [name, content] : row.made) {
      expected.insert(dir / name);
      EXPECT_TRUE(content.empty() || test::ReadFile(dir / name) == content) << label << ": " << name;
    }
    EXPECT_EQ(test::Tree(dir.Path()), expected) << label;
    for (const auto& made : row.made) fs::remove_all(dir / made.first);
  }
}

std::string String(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

// The converter keeps its own command line: help and version only as the
// first argument (the rest of it is in tests/app).
TEST(CommandLine, Prt2qmlAndPrtBenchHelpAndVersion) {
  test::TempDir dir;
  RunTable(PRT2QML_PATH,
           {{{"--help"}, 0, Golden("prt2qml")},
            {{"-h", "-d", "out"}, 0, Golden("prt2qml")},
            {{"--version", "-e"}, 0, "prt2qml" + kVersion}},
           dir);
  RunTable(PRT_BENCH_PATH, {{{"--help"}, 0, Golden("prt-bench")}, {{"--version"}, 0, "prt-bench" + kVersion}}, dir);
}

TEST(CommandLine, PrtBuild) {
  test::TempDir dir;
  const char* description = R"({"name": "t", "screens": [{"type": "page", "text": "P"}],
      "languageFile": 1, "connection": [{"key": 5, "data": [1]}]})";
  test::WriteFile(dir / "d.json", description);
  const auto built = test::BuildDataset(description);
  const std::string prt = String(built.container), lang = String(*built.languageFile), conn = String(*built.connectionFile);
  test::WriteFile(dir / "bad.json", "{\"screens\": [\n  {\"type\": page}]}");
  const std::string p = "prt-build";
  RunTable(PRT_BUILD_PATH,
           {{{"--help", "d.json"}, 0, Golden("prt-build")},
            {{"--version"}, 0, "prt-build" + kVersion},
            {{"d.json", "o.prt", "--verbose"}, 2, "", Hint(p, "unknown option '--verbose'")},
            {{"d.json", "o.prt", "--lang"}, 2, "", Hint(p, "option '--lang' needs a value")},
            {{"d.json"}, 2, "", Hint(p, "missing <out.prt>")},
            {{"d.json", "o.prt", "x"}, 2, "", Hint(p, "unexpected argument 'x'")},
            {{"--image", "i.img", "d.json", "out/o.prt", "--image=j.img"}, 0, "", "",
             {{"out", ""}, {"out/o.prt", prt}, {"out/o.rt_file.LANG", lang}, {"out/o.rt_file.CONN", conn},
              {"j.img", String(built.image)}}},
            {{"--lang", "l.bin", "--conn=c.bin", "--", "d.json", "-o.prt"}, 0, "", "",
             {{"-o.prt", prt}, {"l.bin", lang}, {"c.bin", conn}}},
            {{"missing.json", "o.prt"}, 1, "", "prt-build: cannot read 'missing.json': No such file or directory\n"},
            {{".", "o.prt"}, 1, "", "prt-build: cannot read '.': not a regular file\n"},
            {{"bad.json", "o.prt"}, 1, "",
             "prt-build: bad.json:2:12: syntax error while parsing value - invalid literal; last read: '\"type\": p'\n"}},
           dir);
}

TEST(CommandLine, PrtInspect) {
  test::TempDir dir;
  for (const auto& [file, container] : {std::pair{"p.prt", ""}, {"pos.prt", R"("corrupt": "pointerPositionOutOfRange")"},
                                         {"magic.prt", R"("corrupt": "badMagic")"}})
    test::WriteDataset(dir / file, std::string(R"({"name": "p", "screens": [{"type": "page"}], "container": {)") +
                                       container + "}}");
  const std::string p = "prt-inspect";
  RunTable(PRT_INSPECT_PATH,
           {{{"-h"}, 0, Golden("prt-inspect")},
            {{"p.prt", "--version"}, 0, "prt-inspect" + kVersion},
            {{"p.prt", "--jsn"}, 2, "", Hint(p, "unknown option '--jsn'")},
            {{}, 2, "", Hint(p, "missing <data file>")},
            {{"p.prt", "q.prt"}, 2, "", Hint(p, "unexpected argument 'q.prt'")},
            {{"--json", "p.prt"}, 0, "{\n  \"name\": \"p\""},
            {{"p.prt"}, 0, "data set: p\n"},
            {{"nosuch.prt"}, 1, "", "prt-inspect: cannot open 'nosuch.prt': No such file or directory\n"},
            {{"pos.prt"}, 1, "",
             "prt-inspect: 'pos.prt': section 2000 at offset 0x4a8: pointer position 0x8d6 is not past the field "
             "before it, which ends at 0x8d8\n"},
            {{"magic.prt"}, 1, "", "prt-inspect: 'magic.prt' is not a runtime data set (unknown signature at offset 0)\n"}},
           dir);
}

TEST(CommandLine, QmlDecipher) {
  test::TempDir dir;
  test::WriteFile(dir / "odd.qml", "123456789");
  test::WriteFile(dir / "--version", "");
  const std::string p = "qml-decipher";
  RunTable(QML_DECIPHER_PATH,
           {{{"--help"}, 0, Golden("qml-decipher")},
            {{"odd.qml", "--version"}, 0, "qml-decipher" + kVersion},
            {{"-x", "odd.qml"}, 2, "", Hint(p, "unknown option '-x'")},
            {{}, 2, "", Hint(p, "missing <enciphered.qml>")},
            {{"odd.qml", "o", "p"}, 2, "", Hint(p, "unexpected argument 'p'")},
            {{"--", "--version"}, 1, "", "qml-decipher: --version is not an enciphered file (size 0)\n"},
            {{"odd.qml", "o"}, 1, "", "qml-decipher: odd.qml is not an enciphered file (size 9)\n"},
            {{"absent.qml"}, 1, "", "qml-decipher: cannot open 'absent.qml': No such file or directory\n"}},
           dir);
}

#ifdef QML_PREVIEW_PATH
TEST(CommandLine, QmlPreview) {
  test::TempDir dir;
  test::WriteDataset(dir / "p.prt", R"({"screens": [{"type": "page", "w": 40, "h": 30}]})");
  ASSERT_EQ(test::Run(PRT2QML_PATH, {"p.prt"}, dir.Path()).exitStatus, 0);
  const auto drawn = test::Run(QML_PREVIEW_PATH, {"-q", "qmls"}, dir.Path());
  if (drawn.exitStatus == 3) GTEST_SKIP() << "QML runtime modules missing: " << drawn.err;
  fs::remove_all(dir / "qmls-preview");
  const std::string p = "qml-preview";
  std::map<std::string, std::string> pictures = {{"pics", ""}, {"pics/.qml-preview", ""}, {"pics/index.html", ""},
                                                 {"pics/.qml-preview-record", ""},
                                                 {"pics/index.png", ""}, {"pics/page16777216.png", ""},
                                                 {"pics/thumbs", ""}, {"pics/thumbs/page16777216.png", ""},
                                                 {"pics/pages", ""}, {"pics/pages/page16777216.html", ""}};
  const std::string nowhere = "qml-preview: cannot read the folder 'nowhere': No such file or directory\n";
  RunTable(QML_PREVIEW_PATH,
           {{{"--help", "-o", "x"}, 0, Golden("qml-preview")},
            {{"-q"}, 2, "", Hint(p, "missing <qmls folder>")},
            {{"qmls", "x"}, 2, "", Hint(p, "unexpected argument 'x'")},
            {{"--diff", "qmls"}, 2, "", Hint(p, "missing <new qmls folder>")},
            {{"--diff", "qmls", "qmls", "--prt", "p.prt"}, 2, "", Hint(p, "--prt does not go with --diff")},
            {{"qmls", "-j", "0"}, 2, "", Hint(p, "--jobs takes a number from 1 to 256, not '0'")},
            {{"qmls", "--jobs=2x"}, 2, "", Hint(p, "--jobs takes a number from 1 to 256, not '2x'")},
            {{"-o", "pics", "qmls", "-q", "-j", "1"}, 0, "", "", pictures},
            {{"qmls", "--output=pics", "--jobs=2", "--quiet", "--prt", "p.prt"}, 0, "", "", pictures},
            {{"--diff", "-q", "qmls", "qmls"}, 0, "", "",
             {{"qmls-diff", ""}, {"qmls-diff/.qml-preview", ""}, {"qmls-diff/index.html", ""}}},
            {{"qmls", "--prt", "no.prt"}, 1, "", "qml-preview: cannot open 'no.prt': No such file or directory\n"},
            {{"nowhere"}, 1, "", nowhere},
            {{"--diff", "qmls", "nowhere"}, 2, "", nowhere}},
           dir);
}
#endif

}  // namespace
}  // namespace prt
