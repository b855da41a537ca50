// Runs the prt2qml executable on data sets made by the builder and checks
// what it leaves in the output folder and what it prints.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "generator/FileCipher.h"
#include "tests/generator/PipelineTestUtil.h"
#include "tests/support/Dataset.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

namespace fs = std::filesystem;
using testutil::ReadAll;
using testutil::WriteAll;

// A page with a vertical two-stop background, a link to a template and a
// button; the page document is known byte for byte.
constexpr const char* kPageProject = R"({
  "screens": [
    {"type": "template", "label": "T", "w": 800, "h": 480},
    {"type": "page", "text": "Start", "w": 800, "h": 480, "template": "T",
     "background": {"orientation": 2, "stops": [[0, "#ffffffff"], [1, "#ff000000"]]},
     "children": [{"type": "button", "index": 5, "text": "Start \"A\"",
                   "x": 10, "y": 20, "w": 120, "h": 40}]}
  ]
})";

constexpr const char* kPageDocument = R"(import QtQuick
import QtQuick.Controls
import Qt.labs.qmlmodels
import VantorelV5
import "qrc:/"

OrvixPage {
id: page16777216
objectName: "page16777216"
objID: 16777216
rootObjID: 16777216
controlName: "Start"
x: 0
y: 0
z: 500
width: 800
height: 480
color: "#ffffffff"
gradient: Gradient {
orientation: Qt.Vertical
GradientStop {
position: 0.00000000000000000
color: "#ffffffff"
}
GradientStop {
position: 1.00000000000000000
color: "#ff000000"
}
}
useTemplate: true

OrvixButton {
id: bttn486539269
objectName: "bttn486539269"
objID: 486539269
rootObjID: 16777216
controlName: "Start \"A\""
x: 10
y: 20
z: 500
width: 120
height: 40

}


}

)";

constexpr const char* kTemplateDocument = R"(import QtQuick
import QtQuick.Controls
import Qt.labs.qmlmodels
import VantorelV5
import "qrc:/"

OrvixTemplate {
id: tmpl637534208
objectName: "tmpl637534208"
objID: 637534208
rootObjID: 637534208
x: 0
y: 0
z: 500
width: 800
height: 480


}

)";

// Several screens of every kind, with nesting, for the comparisons that do
// not need a known text.
constexpr const char* kMixedProject = R"({
  "screens": [
    {"type": "page", "text": "One", "w": 640, "h": 480,
     "children": [{"type": "button", "text": "B", "w": 10, "h": 10},
                  {"type": "container", "w": 100, "h": 100,
                   "children": [{"type": "textfield", "text": "T", "w": 5, "h": 5}]}]},
    {"type": "page", "text": "Two", "w": 640, "h": 480, "background": {"stops": [[0, "#ff336699"]]}},
    {"type": "reportpage", "text": "Report", "w": 100, "h": 200},
    {"type": "template", "w": 640, "h": 480}
  ]
})";

constexpr const char* kNoScreens = R"({"texts": ["unused"]})";

test::ProcessResult RunTool(const char* program, std::vector<std::string> args, fs::path workDir = {}) {
  test::ProcessRequest request;
  request.program = program;
  request.args = std::move(args);
  request.workDir = std::move(workDir);
  return test::RunProcess(request);
}

struct Conversion {
  test::ProcessResult result;
  fs::path out;  // the output folder
};

class EndToEnd : public ::testing::Test {
 protected:
  // Builds the data set in <tmp>/project and converts it into <tmp>/out.
  Conversion Convert(const std::string& json, std::vector<std::string> extra = {}, bool makeOut = true) {
    const fs::path prt = dir_ / "project" / "plant.prt";
    test::WriteDataset(prt, json);
    const fs::path out = dir_ / "out";
    if (makeOut) fs::create_directories(out);
    std::vector<std::string> args = {prt.string(), "-d", out.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return {RunTool(PRT2QML, args), out};
  }

  static std::map<std::string, std::string> Files(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder))
      files[entry.path().filename().string()] = ReadAll(entry.path());
    return files;
  }

  static std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : Files(folder)) names.push_back(name);
    return names;
  }

  test::TempDir dir_;
};

TEST_F(EndToEnd, PageDocumentIsExactAndEveryFileHasItsCache) {
  const Conversion run = Convert(kPageProject);
  ASSERT_TRUE(run.result.exited);
  EXPECT_EQ(run.result.exitStatus, 0) << run.result.err;
  EXPECT_EQ(run.result.err, "");
  const std::string staging = run.out.string() + "/qmls_generating/";
  const std::string final = run.out.string() + "/qmls/";
  EXPECT_NE(run.result.out.find("Move " + staging + " to " + final + "\n"), std::string::npos)
      << run.result.out;
  EXPECT_FALSE(fs::exists(run.out / "qmls_generating"));

  const auto files = Files(run.out / "qmls");
  EXPECT_EQ(Names(run.out / "qmls"), (std::vector<std::string>{"page16777216.qml", "page16777216.qmlc",
                                                               "tmpl.qml", "tmpl.qmlc"}));
  EXPECT_EQ(files.at("page16777216.qml"), kPageDocument);
  EXPECT_EQ(files.at("tmpl.qml"), kTemplateDocument);
  EXPECT_EQ(files.at("page16777216.qmlc").substr(0, 8), "qv4cdata");
  EXPECT_EQ(files.at("tmpl.qmlc").substr(0, 8), "qv4cdata");
}

TEST_F(EndToEnd, ExistingFinalFolderIsReplacedWhole) {
  fs::create_directories(dir_ / "out" / "qmls" / "nested");
  WriteAll(dir_ / "out" / "qmls" / "foreign.txt", "x");
  WriteAll(dir_ / "out" / "qmls" / "page16777216.qml", "old");
  const Conversion run = Convert(kPageProject);
  EXPECT_EQ(run.result.exitStatus, 0) << run.result.err;
  EXPECT_EQ(Names(run.out / "qmls"), (std::vector<std::string>{"page16777216.qml", "page16777216.qmlc",
                                                               "tmpl.qml", "tmpl.qmlc"}));
  EXPECT_EQ(ReadAll(run.out / "qmls" / "page16777216.qml"), kPageDocument);
}

TEST_F(EndToEnd, LeftoverStagingFolderIsEmptiedWithRemoveLines) {
  const fs::path staging = dir_ / "out" / "qmls_generating";
  fs::create_directories(staging / "old");
  WriteAll(staging / "old" / "x", "x");
  WriteAll(staging / "page99.qml", "stale");
  const Conversion run = Convert(kPageProject);
  EXPECT_EQ(run.result.exitStatus, 0) << run.result.err;
  const std::string prefix = run.out.string() + "/qmls_generating/";
  EXPECT_NE(run.result.out.find("Remove: \"" + prefix + "old\"\n"), std::string::npos) << run.result.out;
  EXPECT_NE(run.result.out.find("Remove: \"" + prefix + "page99.qml\"\n"), std::string::npos)
      << run.result.out;
  EXPECT_FALSE(fs::exists(staging));
  EXPECT_FALSE(fs::exists(run.out / "qmls" / "page99.qml"));
  EXPECT_FALSE(fs::exists(run.out / "qmls" / "old"));
}

TEST_F(EndToEnd, ProjectWithoutScreensGivesEmptyFinalFolder) {
  const Conversion run = Convert(kNoScreens);
  EXPECT_EQ(run.result.exitStatus, 0) << run.result.err;
  EXPECT_TRUE(fs::is_directory(run.out / "qmls"));
  EXPECT_TRUE(Names(run.out / "qmls").empty());
  EXPECT_FALSE(fs::exists(run.out / "qmls_generating"));
}

TEST_F(EndToEnd, MissingOutputFolderFailsWithMessage) {
  const Conversion run = Convert(kPageProject, {}, false);
  ASSERT_TRUE(run.result.exited);
  EXPECT_EQ(run.result.exitStatus, 253);
  EXPECT_NE(run.result.err.find("GenerateQmlFiles aborted: "), std::string::npos) << run.result.err;
  EXPECT_NE(run.result.err.find("Generate QML files failed!\n"), std::string::npos) << run.result.err;
  EXPECT_NE(run.result.err.find("qmls_generating"), std::string::npos) << run.result.err;
  EXPECT_FALSE(fs::exists(run.out));
}

// Permission bits do not stop root, so the folder is made immutable, which
// does; without that attribute the case cannot be set up here.
TEST_F(EndToEnd, UnwritableOutputFolderFailsWithMessage) {
  const fs::path out = dir_ / "out";
  fs::create_directories(out);
  const std::string quoted = "'" + out.string() + "'";
  if (std::system(("chattr +i " + quoted + " 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "chattr +i is not available for " << out;
  const Conversion run = Convert(kPageProject);
  std::system(("chattr -i " + quoted).c_str());
  ASSERT_TRUE(run.result.exited);
  EXPECT_EQ(run.result.exitStatus, 253);
  EXPECT_NE(run.result.err.find("GenerateQmlFiles aborted: "), std::string::npos) << run.result.err;
  EXPECT_NE(run.result.err.find("Generate QML files failed!\n"), std::string::npos) << run.result.err;
  EXPECT_TRUE(fs::is_empty(out));
}

// A container that links to itself cannot be loaded: the run stops before
// writing anything, the staging folder stays empty, the final folder untouched.
TEST_F(EndToEnd, ScreenThatCannotBeLoadedFailsTheRunBeforeAnyFile) {
  fs::create_directories(dir_ / "out" / "qmls");
  WriteAll(dir_ / "out" / "qmls" / "earlier.qml", "earlier");
  const Conversion run = Convert(R"({"screens": [
      {"type": "page", "text": "fine", "w": 1, "h": 1},
      {"type": "page", "w": 1, "h": 1,
       "children": [{"type": "container", "label": "C", "w": 1, "h": 1, "links": [{"target": "C"}]}]}]})");
  ASSERT_TRUE(run.result.exited);
  EXPECT_EQ(run.result.exitStatus, 253);
  EXPECT_NE(run.result.err.find("Generate QML files failed!\n"), std::string::npos) << run.result.err;
  EXPECT_TRUE(fs::is_directory(run.out / "qmls_generating"));
  EXPECT_TRUE(Names(run.out / "qmls_generating").empty());
  EXPECT_EQ(Names(run.out / "qmls"), std::vector<std::string>{"earlier.qml"});
}

TEST_F(EndToEnd, OfSeveralTemplatesOnlyTheLastStays) {
  const Conversion run = Convert(R"({"screens": [{"type": "template", "w": 1, "h": 1},
                                           {"type": "template", "w": 2, "h": 2},
                                           {"type": "template", "w": 3, "h": 3}]})");
  EXPECT_EQ(run.result.exitStatus, 0) << run.result.err;
  EXPECT_EQ(Names(run.out / "qmls"), (std::vector<std::string>{"tmpl.qml", "tmpl.qmlc"}));
  const std::string text = ReadAll(run.out / "qmls" / "tmpl.qml");
  EXPECT_NE(text.find("id: tmpl637534210\n"), std::string::npos) << text;
  EXPECT_NE(text.find("width: 3\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("tmpl637534208"), std::string::npos) << text;
}

// The shared file is enciphered once, so it still deciphers to the last text.
TEST_F(EndToEnd, OfSeveralEncipheredTemplatesTheLastDeciphers) {
  const char* project = R"({"screens": [{"type": "template", "w": 1, "h": 1},
                                        {"type": "template", "w": 2, "h": 2}]})";
  const Conversion plain = Convert(project);
  ASSERT_EQ(plain.result.exitStatus, 0) << plain.result.err;
  std::string padded = ReadAll(plain.out / "qmls" / "tmpl.qml");
  padded.resize((padded.size() + 3) / 4 * 4, ' ');
  const Conversion enciphered = Convert(project, {"-e"});
  ASSERT_EQ(enciphered.result.exitStatus, 0) << enciphered.result.err;
  const fs::path deciphered = dir_ / "tmpl.plain";
  const auto tool = RunTool(QML_DECIPHER, {(enciphered.out / "qmls" / "tmpl.qml").string(), deciphered.string()});
  ASSERT_EQ(tool.exitStatus, 0) << tool.err;
  EXPECT_EQ(ReadAll(deciphered), padded);
}

TEST_F(EndToEnd, CharacterOutsideBmpBecomesTwoReplacementCharacters) {
  const Conversion run = Convert(R"({"screens": [{"type": "page", "text": "a\ud83d\ude00b", "w": 1, "h": 1}]})");
  EXPECT_EQ(run.result.exitStatus, 0) << run.result.err;
  const std::string text = ReadAll(run.out / "qmls" / "page16777216.qml");
  EXPECT_NE(text.find("controlName: \"a\xEF\xBF\xBD\xEF\xBF\xBD" "b\"\n"), std::string::npos) << text;
  EXPECT_NE(text.substr(0, 3), "\xEF\xBB\xBF");
}

TEST_F(EndToEnd, ConvertingTwiceGivesIdenticalBytes) {
  const Conversion first = Convert(kMixedProject);
  ASSERT_EQ(first.result.exitStatus, 0) << first.result.err;
  const auto before = Files(first.out / "qmls");
  ASSERT_EQ(before.size(), 8u);
  const Conversion second = Convert(kMixedProject);
  ASSERT_EQ(second.result.exitStatus, 0) << second.result.err;
  EXPECT_EQ(Files(second.out / "qmls"), before);
}

TEST_F(EndToEnd, EncipheredRunDeciphersToThePlainRun) {
  const Conversion plain = Convert(kMixedProject);
  ASSERT_EQ(plain.result.exitStatus, 0) << plain.result.err;
  const auto plainFiles = Files(plain.out / "qmls");
  const Conversion enciphered = Convert(kMixedProject, {"-e"});
  ASSERT_EQ(enciphered.result.exitStatus, 0) << enciphered.result.err;
  const auto files = Files(enciphered.out / "qmls");
  ASSERT_EQ(Names(enciphered.out / "qmls").size(), plainFiles.size());
  int documents = 0;
  for (const auto& [name, bytes] : plainFiles) {
    if (name.ends_with(".qmlc")) {
      EXPECT_EQ(files.at(name), bytes) << name;  // caches are made from the plain text
      continue;
    }
    ++documents;
    EXPECT_NE(files.at(name), bytes) << name;
    const fs::path deciphered = dir_ / (name + ".plain");
    const auto tool = RunTool(QML_DECIPHER, {(enciphered.out / "qmls" / name).string(), deciphered.string()});
    ASSERT_EQ(tool.exitStatus, 0) << tool.err;
    std::string padded = bytes;
    padded.resize((bytes.size() + 3) / 4 * 4, ' ');
    EXPECT_EQ(ReadAll(deciphered), padded) << name;
  }
  EXPECT_EQ(documents, 4);
}

// A popup whose background has no colours writes a gradient with an empty
// stop list, which the QML compiler rejects: the run reports it, leaves no
// cache for that document and still succeeds.
TEST_F(EndToEnd, DocumentThatDoesNotCompileHasNoCacheButRunSucceeds) {
  const Conversion run = Convert(R"({"screens": [
      {"type": "page", "text": "P", "w": 10, "h": 10},
      {"type": "popup", "text": "Pop", "w": 300, "h": 200, "background": {"stops": []}}]})");
  EXPECT_EQ(run.result.exitStatus, 0) << run.result.err;
  const std::string name = "pops1191182336.qml";
  const std::string path = run.out.string() + "/qmls_generating//" + name;
  const std::string text = ReadAll(run.out / "qmls" / name);
  const size_t stops = text.find("\nstops: \n}");
  ASSERT_NE(stops, std::string::npos) << text;
  const int line = static_cast<int>(std::count(text.begin(), text.begin() + stops + 1, '\n')) + 1;
  EXPECT_NE(run.result.err.find("Error compiling qml file: " + path + ":" + std::to_string(line + 1) + ":"),
            std::string::npos)
      << "line " << line << "\n" << run.result.err;
  EXPECT_EQ(Names(run.out / "qmls"),
            (std::vector<std::string>{"page16777216.qml", "page16777216.qmlc", name}));
}

TEST_F(EndToEnd, BareFileNameWritesIntoCurrentFolder) {
  const fs::path project = dir_ / "here";
  test::WriteDataset(project / "a.prt", kPageProject);
  const auto result = RunTool(PRT2QML, {"a.prt"}, project);
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(ReadAll(project / "qmls" / "page16777216.qml"), kPageDocument);
  EXPECT_NE(result.out.find("Move ./qmls_generating/ to ./qmls/\n"), std::string::npos) << result.out;
}

}  // namespace
}  // namespace prt
