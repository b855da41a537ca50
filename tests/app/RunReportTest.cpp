// The run report against the run it describes: exit status, standard error,
// the data file's hash, each document's files as they are on disk.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "Version.h"
#include "platform/FileSystem.h"
#include "tests/support/Dataset.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

namespace fs = std::filesystem;

std::string Project(const char* popup = "") {
  return std::string(R"({"screens": [{"type": "page", "text": "Start", "w": 800, "h": 480, "children": [
      {"type": "button", "text": "OK", "x": 10, "y": 20, "w": 120, "h": 40}]},
      {"type": "popup", "text": "Ask", "ownReference": 1191182400, "w": 300, "h": 200)") + popup + "}]}";
}

TEST(RunReport, TellsWhatTheRunDid) {
  const std::string good = Project(), bad = Project(R"(, "background": {})");
  const std::string unloadable = good.substr(0, good.size() - 1) + R"(, "container": {"corrupt": "wrongImageMagic"}})";
  const struct {
    const char* name;
    std::string first, json;  // a run before the one reported (empty: none), its data set
    std::vector<std::string> env;
    int exit;
    std::array<int, 3> totals;  // compiled, reused, rejected
    std::string errHas;
  } rows[] = {
      {"full", "", good, {}, 0, {2, 0, 0}, ""},
      {"rerun", good, good, {}, 0, {0, 2, 0}, "0 documents compiled, 2 reused"},
      {"rejected", "", bad, {}, 0, {1, 0, 1}, "Error compiling qml file: "},
      {"strict", good, bad, {"PRT2QML_STRICT=1"}, 253, {0, 1, 1}, "Qt rejects its document pops1191182400.qml"},
      {"unloadable", "", unloadable, {}, 254, {0, 0, 0}, "Initialize Data Manager failed!"},
      {"language", "", good, {"PRT2QML_LANGUAGE=9"}, 254, {0, 0, 0}, "the project's languages (index: id): 0: "},
      {"unwritable", "", good, {"PRT2QML_REPORT=nosuch/r.json"}, 253, {}, "cannot write the run report"},
  };
  test::TempDir dir;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const fs::path d = dir / row.name;
    fs::create_directories(d / "out");
    const auto run = [&](const std::string& json, std::vector<std::string> env) {
      test::WriteDataset(d / "a.prt", json);
      env.push_back("PRT2QML_REPORT=r.json");  // a row's own comes first and wins
      return test::RunProcess({.program = PRT2QML_PATH, .args = {"a.prt", "-d", "out"}, .workDir = d, .env = env});
    };
    if (!row.first.empty()) {
      ASSERT_EQ(run(row.first, {}).exitStatus, 0);
    }
    const auto before = test::Files(d / "out" / "qmls");
    const test::ProcessResult r = run(row.json, row.env);
    EXPECT_EQ(r.exitStatus, row.exit) << r.err;
    EXPECT_NE(r.err.find(row.errHas), std::string::npos) << r.err;
    // Only the report is missing then: the run published.
    if (!fs::exists(d / "r.json")) {
      EXPECT_EQ(row.name, std::string("unwritable"));
      EXPECT_TRUE(fs::exists(d / "out" / "qmls" / "page16777216.qmlc"));
      continue;
    }
    if (r.exitStatus != 0) {
      EXPECT_TRUE(test::Files(d / "out" / "qmls") == before);
    }
    const auto report = nlohmann::json::parse(test::ReadFile(d / "r.json"));
    EXPECT_EQ(report["converter"]["version"], kVersion);
    EXPECT_EQ(report["dataFile"], "a.prt");
    uint64_t hash = 0;
    ASSERT_FALSE(platform::HashFile(d.u16string() + u"/a.prt", hash));
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    EXPECT_EQ(report["dataHash"], hex);
    EXPECT_EQ(report["outputFolder"], "out");
    EXPECT_EQ(report["encrypt"], false);
    EXPECT_EQ(report["exitStatus"], r.exitStatus);
    std::string err;
    for (const auto& line : report["standardError"]) err += line.get<std::string>() + "\n";
    EXPECT_EQ(err, r.err);
    const auto& totals = report["totals"];
    EXPECT_EQ((std::array<int, 3>{totals["compiled"], totals["reused"], totals["rejected"]}), row.totals);
    ASSERT_EQ(report["documents"].size(), totals["documents"].get<size_t>());
    for (const auto& doc : report["documents"]) {
      const std::string outcome = doc["outcome"];
      const auto& screen = doc["screens"][0];
      EXPECT_EQ(screen["kind"].get<std::string>() + " " + screen["name"].get<std::string>(),
                doc["file"] == "page16777216.qml" ? "page Start" : "popup Ask");
      EXPECT_EQ(screen["startLanguage"]["index"], 0);
      if (outcome == "rejected") {
        EXPECT_NE(r.err.find(doc["message"].get<std::string>() + "\n"), std::string::npos);
      }
      EXPECT_EQ(doc["files"].size(), outcome == "rejected" ? 1u : 2u);
      if (r.exitStatus != 0) continue;
      for (const auto& file : doc["files"])
        EXPECT_EQ(fs::file_size(d / "out" / "qmls" / file["name"].get<std::string>()), file["size"]);
    }
    EXPECT_GT(report["wallSeconds"], 0.0);
  }
}

}  // namespace
}  // namespace prt
