// prt-inspect as the shell sees it: its report and description of builder
// projects, and the round trip inspect -> build -> convert.
#include <gtest/gtest.h>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

const fs::path kGolden = fs::path(PRT_SOURCE_DIR) / "tests/tools/golden/inspect";

// Builds `desc` (a path or the description itself) into dir/<prt>.
void Build(const test::TempDir& dir, const std::string& desc, const std::string& prt, bool isText = false) {
  std::string path = desc;
  if (isText) {
    path = prt + ".json";
    fs::create_directories((dir / path).parent_path());
    test::WriteFile(dir / path, desc);
  }
  const test::ProcessResult r = test::Run(PRT_BUILD, {path, prt}, dir.Path());
  ASSERT_EQ(r.exitStatus, 0) << desc << ": " << r.err;
}

// prt-inspect only reads: on a folder nobody may write to it gives its full
// report, in the language an earlier run stored in SimWork when that run's
// working copy is the data file's, and creates nothing.
TEST(PrtInspectTool, ReportsReadingTheDataSetInPlace) {
  test::TempDir dir;
  fs::permissions(dir.Path(), fs::perms(0755));
  for (const std::string folder : {"plain", "stored", "stale", "cycle", "lists"}) {
    const bool own = folder == "cycle" || folder == "lists";
    Build(dir, (kGolden / (own ? folder + ".json" : "kinds.json")).string(), "ro/" + folder + "/p.prt");
    const fs::path work = dir / "ro" / folder / "SimWork";
    if (folder == "lists") fs::create_directory(work), fs::rename(work / "../p.rt_file.CONN", work / "p.rt_file.CONN");
    if (folder != "stored" && folder != "stale") continue;
    fs::create_directory(work);
    fs::copy_file(work / "../p.prt", work / "p.prt");
    if (folder == "stored") fs::last_write_time(work / "p.prt", fs::last_write_time(work / "../p.prt"));
    test::WriteFile(work / "p.rt_file.LANG", std::string("\1\0\0\0", 4));
  }
  const std::string kinds = ReadFile(kGolden / "kinds.txt");
  const std::set<fs::path> before = test::Tree(dir.Path());
  test::ReadOnlyFolder readOnly(dir / "ro");
  const struct { const char* folder; bool json; const char* golden; std::string languageLine; } cases[] = {
      // Every screen kind, a template link, hidden and moved-out controls,
      // vector shapes (one without an element), an unknown type, an absent
      // link and a link to no object.
      {"plain", false, "kinds.txt", "languages: 2, current 0 (id 1033)\n"},
      {"plain", true, "kinds.inspect.json", ""},
      // A container that holds itself: the tree up to the fault and the
      // converter's own verdict.
      {"cycle", false, "cycle.txt", ""},
      // Language 1 gives the same trees.
      {"stored", false, nullptr, "languages: 2, current 1 (id 1031, stored in 'SimWork/p.rt_file.LANG')\n"},
      {"stale", false, "kinds.txt", "languages: 2, current 0 (id 1033)\n"},
      // Lists of every kind, a damaged count, defaults, settings and the
      // connection records a run stored.
      {"lists", false, "lists.txt", ""},
  };
  for (const auto& c : cases) {
    const test::ProcessResult r =
        test::RunProcess({.program = PRT_INSPECT, .args = c.json ? std::vector<std::string>{"p.prt", "--json"}
                                                                 : std::vector<std::string>{"p.prt"},
                          .workDir = dir / "ro" / c.folder, .user = readOnly.user});
    EXPECT_TRUE(r.exited && r.exitStatus == 0) << c.folder << ": " << r.err;
    EXPECT_EQ(r.err, "") << c.folder;
    EXPECT_NE(r.out.find(c.languageLine), std::string::npos) << c.folder;
    if (c.golden) {
      EXPECT_EQ(r.out, ReadFile(kGolden / c.golden)) << c.folder;
    } else {
      EXPECT_TRUE(r.out.ends_with(kinds.substr(kinds.rfind("converter: ")))) << c.folder;
    }
  }
  EXPECT_EQ(test::Tree(dir.Path()), before);
}

// inspect -> build -> convert gives the documents (and the converter's
// lines) of the original, byte for byte.
TEST(PrtInspectTool, RoundTripGivesTheSameDocuments) {
  std::vector<std::string> descriptions = {
      ReadFile(fs::path(PRT_SOURCE_DIR) / "examples/plant/plant.json"),
      ReadFile(kGolden / "kinds.json"),
      ReadFile(kGolden / "cycle.json"),
  };
  for (int seed = 1; seed <= 20; ++seed) {
    descriptions.push_back(R"({"synthetic": {"pages": 3, "templates": 1, "reportPages": 1, "popups": 3,
        "controls": 60, "maxDepth": 3, "languages": )" + std::to_string(seed % 3 + 1) +
                           R"(, "seed": )" + std::to_string(seed) + "}}");
  }
  for (size_t i = 0; i < descriptions.size(); ++i) {
    SCOPED_TRACE("description " + std::to_string(i));
    test::TempDir dir;
    Build(dir, descriptions[i], "a/x.prt", true);
    const test::ProcessResult inspected = test::Run(PRT_INSPECT, {"a/x.prt", "--json"}, dir.Path());
    ASSERT_EQ(inspected.exitStatus, 0) << inspected.err;
    Build(dir, inspected.out, "b/x.prt", true);
    const test::ProcessResult a = test::Run(PRT2QML_PATH, {"a/x.prt"}, dir.Path());
    const test::ProcessResult b = test::Run(PRT2QML_PATH, {"b/x.prt"}, dir.Path());
    EXPECT_EQ(a.exitStatus, b.exitStatus);
    EXPECT_EQ(a.err, b.err);
    const auto original = test::Files(dir / "a/qmls");
    EXPECT_EQ(original, test::Files(dir / "b/qmls"));
    // The cycle fails in both; every other project has documents.
    EXPECT_EQ(original.empty(), a.exitStatus != 0);
  }
}

}  // namespace
}  // namespace prt
