// prt-check as a build pipeline runs it: one small project per kind of
// finding, a clean one, and the machine form of a finding read back.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/Dataset.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

namespace fs = std::filesystem;

// A page of 800x480 holding `children` (JSON), after `before` screens.
std::string Page(const std::string& children, const std::string& before = "", const std::string& top = "") {
  return R"({)" + top + R"("screens": [)" + before +
         R"({"type": "page", "text": "Main", "w": 800, "h": 480, "children": [)" + children + "]}]}";
}
const std::string kTwoLanguages = R"("languages": [{"id": 1033, "fonts": [0]}, {"id": 1031, "fonts": [0]}],
    "fonts": [{"face": "Sans", "size": 12}],)";
const std::string kTitledPopup = R"({"type": "popup", "text": "Login", "w": 300, "h": 200,
    "title": {"textId": 0, "font": [0, 0], "height": 30}},)";

struct Row {
  const char* name;
  std::string description;
  int status;
  std::vector<std::string> lines;  // every line printed, but the totals
};

// One row per check. The documents come in the converter's order: pages,
// templates, report pages, popups.
const Row kRows[] = {
    {"clean", Page(R"({"type": "button", "text": "Start", "x": 10, "y": 10, "w": 100, "h": 40})"), 0, {}},
    {"shared-template",
     // Nothing of the lost one is looked at: its document never reaches qmls.
     R"({"screens": [{"type": "template", "label": "frame", "text": "frame", "w": 800, "h": 480, "children": [
         {"type": "button", "text": "Away", "x": 900, "y": 0, "w": 10, "h": 10}]},
       {"type": "template", "text": "SERVICE MODE", "w": 800, "h": 480},
       {"type": "page", "text": "Main", "w": 800, "h": 480, "template": "frame"}]})",
     1,
     {R"(template "frame" (tmpl.qml): warning: written to tmpl.qml, which template "SERVICE MODE" (tmpl.qml), )"
      R"(the last of the 2 templates, overwrites, its document is lost and the 1 page over it is shown over )"
      R"("SERVICE MODE" [shared-template])"}},
    {"language-switch",
     R"({)" + kTwoLanguages + R"("screens": [)" + kTitledPopup + R"({"type": "popup", "text": "Confirm", "w": 300, "h": 200}]})",
     1,
     {R"(popup "Login" (pops1191182336.qml): warning: its title's font array leaves language 1031 (index 1) current )"
      R"(instead of the stored 1033 (index 0), its own controls and the 1 document after it (pops1191182337.qml) are )"
      R"(written in that language [language-switch])",
      R"(popup "Confirm" (pops1191182337.qml): note: starts in language 1031 (index 1), not the stored 1033 (index 0): )"
      R"(popup "Login" (pops1191182336.qml) before it left that language current, its texts come out in that language )"
      R"([language-switch])"}},
    {"missing-text",
     Page(R"({"type": "ellipse", "text": ["Lamp", null], "x": 10, "y": 10, "w": 40, "h": 40})", "",
          R"("languages": [{"id": 1033}, {"id": 1031}],)"),
     1,
     {R"(page "Main" (page16777216.qml): warning: ellipse crcl671088640 "Lamp" has no text in language 1031 (index 1), )"
      R"(a document written in it names the control "40#0" and the panel shows no text [missing-text])"}},
    {"font-lookup", R"({"screens": [)" + kTitledPopup.substr(0, kTitledPopup.size() - 1) + "]}", 1,
     {R"(popup "Login" (pops1191182336.qml): warning: its title's font 0 (style 0) has no face in language 1 (index 0), )"
      R"(the converter leaves the title's fontArray out and prints "GetCurrentLanguageFontInfo failed!" [font-lookup])"}},
    {"off-screen", Page(R"({"type": "button", "text": "Away", "x": 900, "y": 10, "w": 100, "h": 40})"), 1,
     {R"(page "Main" (page16777216.qml): warning: button bttn486539264 "Away" at 900,10 100x40 lies outside its )"
      R"(800x480 screen, it cannot be seen or touched [off-screen])"}},
    // Inside a container: the container's place counts.
    {"partly-off-screen",
     Page(R"({"type": "container", "text": "Box", "x": 10, "y": 10, "w": 100, "h": 100, "children": [
            {"type": "button", "text": "Edge", "x": -60, "y": 0, "w": 100, "h": 40}]})"),
     1,
     {R"(page "Main" (page16777216.qml): warning: button bttn486539264 "Edge" at -50,10 100x40 reaches past the )"
      R"(edge of its 800x480 screen, the part outside is cut off [partly-off-screen])"}},
    {"size", Page(R"({"type": "button", "text": "Flat", "x": 10, "y": 10, "w": 0, "h": 40})"), 1,
     {R"(page "Main" (page16777216.qml): warning: button bttn486539264 "Flat" is 0x40, a zero or negative size )"
      R"(shows nothing [size])"}},
    {"clamped-size", Page(R"({"type": "trendview", "text": "Trend", "x": 0, "y": 0, "w": 800, "h": 1100})"), 1,
     {R"(page "Main" (page16777216.qml): warning: trendview trdv469762048 "Trend" is 800x1100, the converter writes )"
      R"(it as 800x1024, the most the runtime's trend view shows [clamped-size])",
      R"(page "Main" (page16777216.qml): warning: trendview trdv469762048 "Trend" at 0,0 800x1024 reaches past the )"
      R"(edge of its 800x480 screen, the part outside is cut off [partly-off-screen])"}},
    // A document is named by the reference its record holds, as the converter names it.
    {"qt-rejects",
     R"({"screens": [{"type": "popup", "text": "Bad", "ownReference": 1191182400, "w": 300, "h": 200, "background": {}}]})",
     1, {R"(popup "71#64" (pops1191182400.qml): error: Qt rejects the document: pops1191182400.qml:29:1: )"}},
    {"duplicate-name", Page("", R"({"type": "page", "text": "Main", "w": 800, "h": 480},)"), 1,
     {R"(page "Main" (page16777217.qml): warning: its name is also that of page "Main" (page16777216.qml), whoever )"
      R"(picks a screen by its name gets either [duplicate-name])"}},
};

TEST(PrtCheckTool, OneProjectPerFinding) {
  test::TempDir dir;
  for (const Row& row : kRows) {
    const fs::path prt = dir / row.name / "p.prt";
    test::WriteDataset(prt, row.description);
    const auto before = test::Tree(prt.parent_path());  // it only reads: no SimWork, no output
    for (const bool quiet : {false, true}) {
      const test::ProcessResult r =
          test::Run(PRT_CHECK, quiet ? std::vector<std::string>{"-q", "p.prt"} : std::vector<std::string>{"p.prt"},
                    prt.parent_path());
      EXPECT_EQ(r.exitStatus, row.status) << row.name << ": " << r.err;
      EXPECT_EQ(r.err, "") << row.name;
      EXPECT_EQ(test::Tree(prt.parent_path()), before) << row.name;
      if (quiet || row.lines.empty()) {
        EXPECT_EQ(r.out, "") << row.name;
        continue;
      }
      std::istringstream printed(r.out);
      std::string line;
      for (const std::string& expected : row.lines) {
        ASSERT_TRUE(std::getline(printed, line)) << row.name;
        EXPECT_TRUE(line.starts_with("p.prt: " + expected)) << row.name << ":\n" << line;
      }
      ASSERT_TRUE(std::getline(printed, line)) << row.name;
      EXPECT_TRUE(line.starts_with("p.prt: ")) << line;
      EXPECT_FALSE(std::getline(printed, line)) << row.name << ": more findings than expected: " << line;
    }
  }
  // The machine form: Qt's message with the document's own name and line.
  const test::ProcessResult r = test::Run(PRT_CHECK, {"p.prt", "--json"}, dir / "qt-rejects");
  EXPECT_EQ(r.exitStatus, 1);
  const auto report = nlohmann::json::parse(r.out);
  ASSERT_EQ(report["findings"].size(), 1u);
  const auto& finding = report["findings"][0];
  EXPECT_EQ(finding["level"], "error");
  EXPECT_EQ(finding["check"], "qt-rejects");
  EXPECT_EQ(finding["screen"]["file"], "pops1191182400.qml");
  EXPECT_EQ(finding["screen"]["name"], "71#64");
  EXPECT_EQ(report["errors"], 1);
  EXPECT_EQ(report["warnings"], 0);
  EXPECT_TRUE(r.out.find(R"("line": "p.prt: popup \"71#64\" (pops1191182400.qml): error: Qt rejects the document: )"
                         R"(pops1191182400.qml:29:1: )") != std::string::npos)
      << r.out;
  EXPECT_TRUE(std::string(finding["details"]["message"]).find(": Expected token") != std::string::npos ||
              std::string(finding["details"]["message"]).find(": Unexpected token") != std::string::npos)
      << finding;

  // A data set that cannot be read is no finding.
  const test::ProcessResult missing = test::Run(PRT_CHECK, {"none.prt"}, dir.Path());
  EXPECT_EQ(missing.exitStatus, 2);
  EXPECT_TRUE(missing.err.starts_with("prt-check: ")) << missing.err;
  EXPECT_EQ(missing.out, "");
}

}  // namespace
}  // namespace prt
