// Runs the prt2qml executable on data sets made by the builder and checks
// what it leaves in the output folder and what it prints.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>

#include "convert/QmlCacheGen.h"
#include "tests/support/Dataset.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

namespace fs = std::filesystem;
using namespace test;

// The project of the expected documents page.qml and template.qml.
constexpr const char* kPageProject = R"({"screens": [
    {"type": "template", "label": "T", "w": 800, "h": 480},
    {"type": "page", "text": "Start", "w": 800, "h": 480, "template": "T",
     "background": {"orientation": 2, "stops": [[0, "#ffffffff"], [1, "#ff000000"]]},
     "children": [{"type": "button", "index": 5, "text": "Start \"A\"",
                   "x": 10, "y": 20, "w": 120, "h": 40}]}]})";
const std::vector<std::string> kPageFiles = {"page16777216.qml", "page16777216.qmlc", "tmpl.qml",
                                             "tmpl.qmlc"};

// Screens of every kind, with nesting, for the comparisons that need no known
// text; several have no fill, which must still give documents Qt compiles.
constexpr const char* kMixedProject = R"({"languages": [{"fonts": [0]}], "fonts": [{"face": "Sans", "size": 12}],
  "screens": [
    {"type": "page", "text": "One", "w": 640, "h": 480,
     "children": [{"type": "button", "text": "B", "w": 10, "h": 10},
                  {"type": "container", "w": 100, "h": 100,
                   "children": [{"type": "textfield", "text": "T", "w": 5, "h": 5}]}]},
    {"type": "page", "text": "Two", "w": 640, "h": 480, "background": {"stops": [[0, "#ff336699"]]}},
    {"type": "reportpage", "text": "Report", "w": 100, "h": 200},
    {"type": "popup", "text": "Plain", "w": 400, "h": 300},
    {"type": "popup", "text": "Titled", "w": 400, "h": 300, "title": {"height": 30}},
    {"type": "template", "w": 640, "h": 480}]})";

std::string Golden(const std::string& name) { return ReadFile(fs::path(PRT_GOLDEN_DIR) / name); }

std::string Padded(std::string text) {
  text.resize((text.size() + 3) / 4 * 4, ' ');
  return text;
}

class EndToEnd : public ::testing::Test {
 protected:
  // Builds the data set in <tmp>/project and converts it into <tmp>/out.
  test::ProcessResult Convert(const std::string& json, std::vector<std::string> extra = {}) {
    const fs::path prt = dir_ / "project" / "plant.prt";
    test::WriteDataset(prt, json);
    fs::create_directories(out_);
    std::vector<std::string> args = {prt.string(), "-d", out_.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return test::Run(PRT2QML, args);
  }

  static std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : test::Files(folder)) names.push_back(name);
    return names;
  }

  // The padded plain text of an enciphered file, through qml-decipher,
  // which prints it given one argument and writes it to the second.
  std::string Decipher(const fs::path& file) {
    const fs::path plain = dir_ / (file.filename().string() + ".plain");
    const auto tool = test::Run(QML_DECIPHER, {file.string(), plain.string()});
    const auto printed = test::Run(QML_DECIPHER, {file.string()});
    EXPECT_EQ(tool.exitStatus + printed.exitStatus, 0) << tool.err << printed.err;
    EXPECT_EQ(printed.out, ReadFile(plain));
    return printed.out;
  }

  test::TempDir dir_;
  const fs::path out_ = dir_ / "out";
};

// Every screen gets its document and cache and nothing is said on standard
// error: the page's document is exact, screens of every kind compile (several
// have no fill), and a project without screens gives an empty final folder.
TEST_F(EndToEnd, EveryScreenHasItsDocumentAndCache) {
  for (const auto& [json, files] : {std::pair{kMixedProject, 12u}, {R"({"texts": ["unused"]})", 0u}, {kPageProject, 4u}}) {
    fs::remove_all(out_);
    const auto run = Convert(json);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_FALSE(fs::exists(out_ / "qmls_generating"));
    EXPECT_TRUE(fs::is_directory(out_ / "qmls") && test::Files(out_ / "qmls").size() == files) << json;
  }
  const auto files = test::Files(out_ / "qmls");
  EXPECT_EQ(Names(out_ / "qmls"), kPageFiles);
  EXPECT_EQ(files.at("page16777216.qml"), Golden("page.qml"));
  EXPECT_EQ(files.at("tmpl.qml"), Golden("template.qml"));
  EXPECT_TRUE(files.at("page16777216.qmlc").starts_with("qv4cdata") && files.at("tmpl.qmlc").starts_with("qv4cdata"));
}

// Containers c0 .. c<n>, each linking to the next `links` times; the last
// holds a button.
std::string ContainerChain(int n, int links) {
  std::string objects;
  for (int i = 0; i <= n; ++i) {
    objects += R"(, {"type": "container", "index": )" + std::to_string(i) + R"(, "label": "c)" +
               std::to_string(i) + "\"";
    const std::string link = R"({"target": "c)" + std::to_string(i + 1) + "\"}";
    std::string list = link;
    for (int k = 1; k < links; ++k) list += ", " + link;
    objects += i < n ? R"(, "links": [)" + list + "]}" : R"(, "children": [{"type": "button"}]})";
  }
  return objects;
}

// A screen whose tree cannot be built stops the run before anything is
// written: one line names the screen and the reason, the staging folder stays
// empty and the final folder untouched.
TEST_F(EndToEnd, ScreenThatCannotBeLoadedFailsTheRunBeforeAnyFile) {
  const std::string fine = R"({"type": "page", "text": "fine", "w": 1, "h": 1})";
  const std::string linksC0 = R"(, {"type": "page", "links": [{"target": "c0"}]})";
  // 14 levels of two links: 49,152 controls for each of two pages. Checked on two
  // threads, each tree may be built on another one, and only their sum passes the
  // budget.
  std::string doubling;
  for (int page = 0; page < 2; ++page) doubling += linksC0;
  const struct { const char* what; std::string objects, message; } cases[] = {
      {"cycle",
       R"(, {"type": "page", "children": [{"type": "container", "label": "C", "links": [{"target": "C"}]}]})",
       "prt2qml: screen page16777217: ctnr369098752 contains itself\n"},
      {"nesting", linksC0 + ContainerChain(300, 1),
       "prt2qml: screen page16777217: the controls nest deeper than 256 levels\n"},
      // Each page alone stays below the run's budget; the second one passes it.
      {"doubling", doubling + ContainerChain(14, 2), "prt2qml: screen page16777218: the control trees exceed "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(out_);
    fs::create_directories(out_ / "qmls");
    WriteFile(out_ / "qmls" / "earlier.qml", "earlier");
    const auto run = Convert(R"({"screens": [)" + fine + c.objects + "]}");
    EXPECT_EQ(run.exitStatus, 253);
    EXPECT_EQ(run.err.rfind(c.message, 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;  // the reason, then the run's line
    EXPECT_NE(run.err.find("Generate QML files failed!\n"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_empty(out_ / "qmls_generating"));
    EXPECT_EQ(Names(out_ / "qmls"), std::vector<std::string>{"earlier.qml"});
  }
  // The doubling links never made the trees: some 66,000 controls were built at most.
  struct rusage children;
  ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &children), 0);
  EXPECT_LT(children.ru_maxrss, 200 * 1024) << "KiB";
}

// Documents are written largest first, but of the templates sharing
// tmpl.qml the last one's text still stands, whichever is larger; the cache
// is compiled from that text, and enciphered it is enciphered once, so it
// still deciphers to that text.
TEST_F(EndToEnd, LastTemplateStandsWhateverTheSizes) {
  const std::string buttons = R"(, "children": [{"type": "button"}, {"type": "button"}, {"type": "button"}])";
  const struct { const char* what; std::string first, last; } cases[] = {
      {"last larger", "", buttons},
      {"first larger", buttons, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(out_);
    const std::string json = R"({"screens": [{"type": "template", "w": 1, "h": 1)" + c.first +
                             R"(}, {"type": "page", "w": 3, "h": 3}, {"type": "template", "w": 2, "h": 2)" +
                             c.last + "}]}";
    const auto run = Convert(json);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const std::string text = ReadFile(out_ / "qmls" / "tmpl.qml");
    EXPECT_NE(text.find("id: tmpl637534209\n"), std::string::npos) << text;
    EXPECT_NE(text.find("width: 2\n"), std::string::npos) << text;
    // The same text compiled under the same name (the run's, as the run
    // forms it) gives the same cache.
    const fs::path again = out_.string() + "/qmls_generating//tmpl.qml";
    fs::create_directories(out_ / "qmls_generating");
    WriteFile(again, text);
    ASSERT_TRUE(QmlCacheGen::MiniQmlCacheGen(again.u16string()));
    EXPECT_EQ(ReadFile(out_ / "qmls" / "tmpl.qmlc"), ReadFile(again.string() + "c"));
    ASSERT_EQ(Convert(json, {"-e"}).exitStatus, 0);
    EXPECT_EQ(Decipher(out_ / "qmls" / "tmpl.qml"), Padded(text));
  }
}

// A popup whose background has no colours writes a gradient with an empty
// stop list, which the QML compiler rejects: the run reports it, leaves no
// cache for that document and still succeeds.
TEST_F(EndToEnd, DocumentThatDoesNotCompileHasNoCacheButRunSucceeds) {
  const auto run = Convert(R"({"screens": [{"type": "page", "text": "P", "w": 10, "h": 10},
      {"type": "popup", "text": "Pop", "w": 300, "h": 200, "background": {"stops": []}}]})");
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  const std::string name = "pops1191182336.qml";
  const std::string text = ReadFile(out_ / "qmls" / name);
  const size_t stops = text.find("\nstops: \n}");
  ASSERT_NE(stops, std::string::npos) << text;
  const auto line = std::count(text.begin(), text.begin() + stops + 1, '\n') + 2;
  const std::string at = out_.string() + "/qmls_generating//" + name + ":" + std::to_string(line) + ":";
  EXPECT_NE(run.err.find("Error compiling qml file: " + at), std::string::npos) << "line " << line << "\n" << run.err;
  EXPECT_EQ(Names(out_ / "qmls"), (std::vector<std::string>{"page16777216.qml", "page16777216.qmlc", name}));
}

}  // namespace
}  // namespace prt
