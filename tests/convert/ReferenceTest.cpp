// The tool against the plain serial conversion on random projects: every
// output byte, what it prints and its exit status. The projects vary what
// carries state from one document to the next (languages, the stored
// language, fonts that fail in some languages, missing texts, templates).
//
//   reference_tests [--seeds=N] [--first-seed=K] [gtest flags]
// runs seeds K .. K+N-1 (default 1 .. 240), spread over the shards.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <iostream>
#include <random>
#include <string>

#include "data/set/OpenDataSet.h"
#include "cipher/FileCipher.h"
#include "convert/Reuse.h"
#include "tests/support/Dataset.h"
#include "tests/support/LineReport.h"
#include "tests/support/Process.h"
#include "tests/support/ReferenceRun.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

namespace fs = std::filesystem;
using test::SortedLines;

uint32_t gFirstSeed = 1;
uint32_t gSeeds = 240;
constexpr uint32_t kShards = 6;

enum class Stored { None, First, Last, Between, OutOfRange };

struct Variation {
  std::string json;
  uint32_t languages = 1;
  Stored stored = Stored::None;
  bool encrypt = false;
  std::optional<uint32_t> chosen;  // PRT2QML_LANGUAGE=index:<chosen>, which the reference starts in
};

Variation VariationOf(uint32_t seed) {
  std::mt19937 rng(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  Variation v;
  v.languages = static_cast<uint32_t>(pick(1, 4));
  v.stored = static_cast<Stored>(pick(0, 4));
  v.encrypt = pick(0, 1) == 1;
  v.json = R"({"synthetic": {"varied": true, "seed": )" + std::to_string(seed) +
           R"(, "languages": )" + std::to_string(v.languages) + R"(, "pages": )" + std::to_string(pick(0, 5)) +
           R"(, "templates": )" + std::to_string(pick(0, 2)) + R"(, "reportPages": )" +
           std::to_string(pick(0, 2)) + R"(, "popups": )" + std::to_string(pick(0, 6)) + R"(, "controls": )" +
           std::to_string(pick(0, 50)) + R"(, "maxDepth": )" + std::to_string(pick(0, 2)) + "}}";
  if (const int chosen = pick(0, 3 * static_cast<int>(v.languages)); chosen < static_cast<int>(v.languages))
    v.chosen = static_cast<uint32_t>(chosen);
  return v;
}

// The language file's four bytes; nullopt: no file.
std::optional<uint32_t> StoredIndex(const Variation& v) {
  switch (v.stored) {
    case Stored::None: return std::nullopt;
    case Stored::First: return 0;
    case Stored::Last: return v.languages - 1;
    case Stored::Between: return v.languages / 2;
    case Stored::OutOfRange: return v.languages;
  }
  return std::nullopt;
}

// The tool's file against the reference's. An enciphered file carries its
// own random key: the tool's text is enciphered again under the
// reference's key before the bytes are compared.
std::string Mismatch(const std::string& name, const std::string& tool, const std::string& reference,
                     bool enciphered) {
  std::string mine = tool;
  if (enciphered && name.ends_with(".qml")) {
    const auto plain = DecipherContent(tool);
    if (!plain || reference.size() < 8) return name + ": not an enciphered file";
    CipherKey key;
    std::copy_n(reference.begin(), key.size(), key.begin());
    EncipherContent(*plain, key, mine);
  }
  if (mine == reference) return {};
  const size_t at = std::mismatch(mine.begin(), mine.end(), reference.begin(), reference.end()).first - mine.begin();
  std::string why = name + " differs from byte " + std::to_string(at);
  if (!enciphered && name.ends_with(".qml")) {
    const size_t line = mine.rfind('\n', at) == std::string::npos ? 0 : mine.rfind('\n', at) + 1;
    why += ": \"" + mine.substr(line, mine.find('\n', at) - line) + "\" where the reference has \"" +
           reference.substr(line, reference.find('\n', at) - line) + "\"";
  }
  return why;
}

// Every file of the folder `tool` against those of `reference`, with its
// mode and owner; empty when they agree.
std::string FileDifferences(const fs::path& toolFolder, const fs::path& referenceFolder, bool enciphered) {
  std::string why;
  const auto tool = test::Files(toolFolder);
  const auto reference = test::Files(referenceFolder);
  for (const auto& [name, bytes] : reference) {
    const auto it = tool.find(name);
    const std::string differs = it == tool.end() ? name + " is missing" : Mismatch(name, it->second, bytes, enciphered);
    if (!differs.empty()) why += differs + "\n";
    struct stat a {}, b {};
    if (it != tool.end() && (stat((toolFolder / name).c_str(), &a) || stat((referenceFolder / name).c_str(), &b) ||
                             a.st_mode != b.st_mode || a.st_uid != b.st_uid)) why += name + ": mode or owner differs\n";
  }
  for (const auto& [name, bytes] : tool)
    if (!reference.contains(name)) why += name + " is not the reference's\n";
  return why;
}

// Converts the project with the tool and with the reference; empty when
// every file and line agrees, else what differs.
std::string Compare(const Variation& v) {
  test::TempDir dir;
  const fs::path prt = dir / "project" / "plant.prt";
  test::WriteDataset(prt, v.json);
  const std::u16string dataFile = platform::FromPath(prt);
  // The working folder and its language file exist once the data set has
  // been opened; the stored language goes there.
  if (!OpenDataSet(dataFile)) return "the data set does not open";
  const fs::path languageFile = dir / "project" / "SimWork" / "plant.rt_file.LANG";
  fs::remove(languageFile);
  if (const auto index = StoredIndex(v)) {
    const uint32_t i = *index;
    test::WriteFile(languageFile, std::string{char(i), char(i >> 8), char(i >> 16), char(i >> 24)});
  }

  fs::create_directories(dir / "reference");
  fs::create_directories(dir / "tool");
  test::ReferenceResult expected;
  {
    // Released before the tool runs: the data set holds the working folder.
    auto opened = OpenDataSet(dataFile);
    if (!opened) return "the data set does not open";
    if (v.chosen) opened->SetStoredLanguage(*v.chosen);
    expected = test::ReferenceRun(*opened, dir.Wide("reference"), v.encrypt);
  }
  std::vector<std::string> args = {prt.string(), "-d", (dir / "tool").string()};
  if (v.encrypt) args.push_back("-e");
  const auto stored = [&] { return fs::exists(languageFile) ? test::ReadFile(languageFile) : "none"; };
  const std::string storedBefore = stored();
  test::ProcessRequest request{.program = PRT2QML, .args = args};
  if (v.chosen) request.env = {"PRT2QML_LANGUAGE=index:" + std::to_string(*v.chosen)};
  const test::ProcessResult run = test::RunProcess(request);

  std::string why = stored() == storedBefore ? "" : "the language file changed\n";
  const std::string from = (dir / "reference").string();
  for (size_t at; (at = expected.out.find(from)) != std::string::npos;)
    expected.out.replace(at, from.size(), (dir / "tool").string());
  if (run.exitStatus != expected.exitStatus)
    why += "exit " + std::to_string(run.exitStatus) + ", reference " + std::to_string(expected.exitStatus) + "\n";
  if (SortedLines(run.out) != SortedLines(expected.out)) why += "standard output:\n" + run.out + "reference:\n" + expected.out;
  if (SortedLines(run.err) != SortedLines(expected.err)) why += "standard error:\n" + run.err + "reference:\n" + expected.err;
  return why + FileDifferences(dir / "tool" / "qmls", dir / "reference" / "qmls", v.encrypt);
}

class ReferenceComparison : public ::testing::TestWithParam<uint32_t> {};

TEST_P(ReferenceComparison, ToolWritesWhatTheSerialRunWrites) {
  std::vector<uint32_t> failed;
  for (uint32_t seed = gFirstSeed + GetParam(); seed < gFirstSeed + gSeeds; seed += kShards) {
    const Variation v = VariationOf(seed);
    const std::string why = Compare(v);
    if (why.empty()) continue;
    failed.push_back(seed);
    if (failed.size() <= 3)
      ADD_FAILURE() << "seed " << seed << " (" << v.json << ", stored language " << static_cast<int>(v.stored)
                    << (v.encrypt ? ", -e" : "") << (v.chosen ? ", chosen " + std::to_string(*v.chosen) : "")
                    << "):\n" << why;
  }
  std::string seeds;
  for (uint32_t seed : failed) seeds += " " + std::to_string(seed);
  EXPECT_TRUE(failed.empty()) << failed.size() << " seeds differ:" << seeds;
}

// The bundled example: a popup after one that leaves the second language
// current is written in that language.
TEST(ReferenceComparison, ExampleProject) {
  for (const bool encrypt : {false, true}) {
    for (const std::optional<uint32_t> chosen : {std::optional<uint32_t>(), std::optional<uint32_t>(1)}) {
      Variation v{test::ReadFile(PRT_EXAMPLE), 2, Stored::None, encrypt, chosen};
      EXPECT_EQ(Compare(v), "") << (encrypt ? "with -e" : "plain") << (chosen ? ", language 1 chosen" : "");
    }
  }
}

// A run after a run: whatever changed in between, qmls, standard output and
// standard error are a full run's, and the last line tells what was reused.
TEST(Reuse, ReRunPublishesWhatAFullRunPublishes) {
  const std::string example = test::ReadFile(PRT_EXAMPLE);
  const char* kVaried = R"({"synthetic": {"varied": true, "seed": 1, "languages": 3, "pages": 4, "popups": 3,
                                           "controls": 40, "maxDepth": 1}})";
  auto edited = [&](const std::string& from, const std::string& to) {
    std::string json = example;
    json.replace(json.find(from), from.size(), to);
    return json;
  };
  const std::string trendsPage = R"({"type": "page", "text": ["Trends", "Trends"])";
  std::string withoutReport = example;
  const size_t report = example.find(R"({"type": "reportpage")");
  withoutReport.erase(report, example.find(R"({"type": "popup")") - report);
  // The record with `edit` made to it, its checksum made anew (anyone who can
  // write SimWork can).
  auto forge = [](std::function<void(ReuseRecord&, const fs::path& victim)> edit) {
    return [=](const fs::path& project, const fs::path&) {
      const fs::path file = project / "SimWork" / "plant.qmls.record";
      auto record = ParseRecord(test::ReadFile(file));
      ASSERT_TRUE(record);
      edit(*record, project.parent_path() / "victim");
      test::WriteFile(file, FormatRecord(*record));
    };
  };
  // A file outside the project named by the record, with what stat tells of
  // it, by its path with its bytes (it was rewritten) and by '..' with others
  // (it was removed).
  const auto outside = forge([](ReuseRecord& record, const fs::path& victim) {
    test::WriteFile(victim, "victim");
    fs::last_write_time(victim, fs::file_time_type::clock::now() - std::chrono::hours(1));
    struct stat st {};
    stat(victim.c_str(), &st);
    RecordedFile file{victim.string(), 6, platform::ContentHash::Of("victim"), st.st_dev, st.st_ino,
                      st.st_mtim.tv_sec * 1'000'000'000 + st.st_mtim.tv_nsec,
                      st.st_ctim.tv_sec * 1'000'000'000 + st.st_ctim.tv_nsec};
    record.documents[0].files.back() = file;
    file.name = "../../victim", file.hash = 1;
    record.documents[2].files.back() = file;
  });
  auto damage = [](const char* file, size_t keep, std::string tail = {}) {
    return [=](const fs::path& project, const fs::path& qmls) {
      const fs::path path = (std::string(file).ends_with(".record") ? project / "SimWork" : qmls) / file;
      std::string bytes = test::ReadFile(path);
      bytes.resize(std::min(keep, bytes.size()));
      fs::remove(path);
      if (keep > 0) test::WriteFile(path, bytes + tail);
    };
  };
  const struct {
    const char* name;
    std::string json;  // of the second run
    bool encrypt[2];
    std::optional<char> language;  // stored for the second run
    std::function<void(const fs::path& project, const fs::path& qmls)> between;
    std::string env;    // of the second run
    const char* reused;  // its last line; empty: none
    const char* first = nullptr;  // the first run's project, when not the example
    bool root = false;  // `between` needs root
  } cases[] = {
      {"nothing changed", example, {false, false}, {}, {}, "", "0 documents compiled, 7 reused"},
      {"nothing changed, a font lookup fails", kVaried, {false, false}, {}, {}, "", "0 documents compiled, 18 reused", kVaried},
      {"nothing changed, -e", example, {true, true}, {}, {}, "", "0 documents compiled, 7 reused"},
      {"one screen changed", edited("Tank level", "Tank level!"), {false, false}, {}, {}, "", "1 document compiled, 6 reused"},
      {"one screen added", edited(trendsPage, R"({"type": "page", "w": 8, "h": 8}, )" + trendsPage), {true, true}, {}, {}, "", "3 documents compiled, 5 reused"},
      {"one screen removed", withoutReport, {false, false}, {}, {}, "", "0 documents compiled, 6 reused"},
      {"language switched", example, {false, false}, 1, {}, "", "3 documents compiled, 4 reused"},
      // A plain run never takes over whole what a run in a chosen language published.
      {"a run in a chosen language between", example, {false, false}, {}, [](const fs::path& project, const fs::path&) {
         const test::ProcessRequest chosen{.program = PRT2QML, .args = {(project / "plant.prt").string()},
                                           .env = {"PRT2QML_LANGUAGE=index:1"}};
         ASSERT_EQ(test::RunProcess(chosen).exitStatus, 0);
       }, "", "3 documents compiled, 4 reused"},
      {".qmlc truncated", example, {false, false}, {}, damage("page16777216.qmlc", 100), "", "1 document compiled, 6 reused"},
      {".qmlc replaced", example, {true, true}, {}, damage("tmpl.qmlc", 20, std::string(2100, 'x')), "", "1 document compiled, 6 reused"},
      {".qml edited", example, {false, false}, {}, damage("page16777217.qml", 900, "}\n"), "", "1 document compiled, 6 reused"},
      {"modes changed (000, 0666), a .qml edited in place, its time set back", example, {true, true}, {},
       [](const fs::path&, const fs::path& qmls) {
         fs::permissions(qmls / "page16777216.qml", fs::perms::none);
         fs::permissions(qmls / "tmpl.qmlc", fs::perms(0666));
         const auto time = fs::last_write_time(qmls / "page16777217.qml");
         std::fstream(qmls / "page16777217.qml", std::ios::in | std::ios::out | std::ios::binary).write("//", 2);
         fs::last_write_time(qmls / "page16777217.qml", time);
       }, "", "3 documents compiled, 4 reused"},
      {"a byte-identical copy of another user", example, {false, false}, {}, [](const fs::path&, const fs::path& qmls) {
         fs::copy_file(qmls / "page16777218.qml", qmls / "copy");
         EXPECT_EQ(lchown((qmls / "copy").c_str(), 65534, 65534), 0);
         fs::rename(qmls / "copy", qmls / "page16777218.qml");
       }, "", "1 document compiled, 6 reused", nullptr, true},
      {"a record naming a file outside by '..' and by its path", example, {false, false}, {}, outside, "", ""},
      {"a record listing a document without files", example, {false, false}, {},
       forge([](ReuseRecord& record, const fs::path&) { record.documents[1].files.clear(); }), "", ""},
      {"record deleted", example, {false, false}, {}, damage("plant.qmls.record", 0), "", ""},
      {"record damaged", example, {false, false}, {}, damage("plant.qmls.record", 300, "x"), "", ""},
      {"-e switched on", example, {false, true}, {}, {}, "", ""},
      {"-e switched off", example, {true, false}, {}, {}, "", ""},
      {"links refused", example, {false, false}, {}, {}, "PRT2QML_TEST_FAULT=link,2,EPERM", "0 documents compiled, 7 reused"},
      // The new names moved the old files' status change times: all are made anew.
      {"killed between linking and publishing", example, {true, true}, {}, damage("page16777216.qmlc", 100),
       "PRT2QML_TEST_FAULT=sync,1,EIO,qmls_generating", ""},
      {"a file added to qmls", example, {false, false}, {}, damage("extra.qml", 1, "x"), "", "0 documents compiled, 7 reused"},
      {"reuse switched off", example, {false, false}, {}, {}, "PRT2QML_REUSE=0", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Where the system refuses, the row is skipped with the reason.
    if (c.root && geteuid() != 0 && std::cout << "skipped \"" << c.name << "\": making a file of another user needs root\n")
      continue;
    test::TempDir dir;
    auto project = [&](const std::string& folder, const std::string& json, std::optional<char> language) {
      test::WriteDataset(dir / folder / "plant.prt", json);
      ASSERT_TRUE(OpenDataSet(dir.Wide(folder + "/plant.prt")));
      if (language) test::WriteFile(dir / folder / "SimWork" / "plant.rt_file.LANG", std::string{*language, 0, 0, 0});
    };
    auto convert = [&](const std::string& folder, bool encrypt, const std::string& env = "") {
      test::ProcessRequest request{.program = PRT2QML, .args = {(dir / folder / "plant.prt").string()}};
      if (encrypt) request.args.push_back("-e");
      if (!env.empty()) request.env = {env};
      return test::RunProcess(request);
    };
    project("full", c.json, c.language);
    const test::ProcessResult full = convert("full", c.encrypt[1]);
    ASSERT_EQ(full.exitStatus, 0) << full.err;

    project("rerun", c.first ? c.first : example, {});
    ASSERT_EQ(convert("rerun", c.encrypt[0]).exitStatus, 0);
    project("rerun", c.json, c.language);
    if (c.between) c.between(dir / "rerun", dir / "rerun" / "qmls");
    const auto first = test::Files(dir / "rerun" / "qmls");
    const auto notTheProjects = test::Files(dir.Path());
    test::ProcessResult again = convert("rerun", c.encrypt[1], c.env);
    if (c.env.find("sync") != std::string::npos) {
      // Documents already linked into the staging folder: the old files
      // stay as they were, and the next run finds them as they were.
      EXPECT_EQ(again.exitStatus, 253);
      EXPECT_TRUE(test::Files(dir / "rerun" / "qmls") == first);
      again = convert("rerun", c.encrypt[1]);
      // What the failed run left in the staging folder goes first.
      for (size_t at; (at = again.out.find("Remove: ")) != std::string::npos;)
        again.out.erase(at, again.out.find('\n', at) + 1 - at);
    }
    EXPECT_EQ(again.exitStatus, 0);
    EXPECT_TRUE(test::Files(dir.Path()) == notTheProjects);
    EXPECT_EQ(FileDifferences(dir / "rerun" / "qmls", dir / "full" / "qmls", c.encrypt[1]), "");
    const std::string fullFolder = (dir / "full").string();
    std::string expectedOut = full.out;
    for (size_t at; (at = expectedOut.find(fullFolder)) != std::string::npos;)
      expectedOut.replace(at, fullFolder.size(), (dir / "rerun").string());
    EXPECT_EQ(SortedLines(again.out), SortedLines(expectedOut));
    const std::string last = *c.reused ? "prt2qml: " + std::string(c.reused) + " from the last run\n" : "";
    EXPECT_EQ(again.err, full.err + last);
  }
}

INSTANTIATE_TEST_SUITE_P(Shards, ReferenceComparison, ::testing::Range<uint32_t>(0, kShards));

}  // namespace
}  // namespace prt

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.starts_with("--seeds=")) prt::gSeeds = static_cast<uint32_t>(std::stoul(arg.substr(8)));
    else if (arg.starts_with("--first-seed=")) prt::gFirstSeed = static_cast<uint32_t>(std::stoul(arg.substr(13)));
    else {
      std::cerr << "reference_tests: unknown argument " << arg << "\n";
      return 2;
    }
  }
  return RUN_ALL_TESTS();
}
