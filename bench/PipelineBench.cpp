// prt-bench: measures a whole conversion of a large synthetic project and
// the compile floor it is judged against. Each measured run is a fresh
// process (the data services load once per process), started as
// `prt-bench --once <prt> <out> <encrypt>`; the parent reports medians.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/ProgramInfo.h"
#include "data/set/OpenDataSet.h"
#include "cipher/FileCipher.h"
#include "convert/ConversionRun.h"
#include "convert/QmlCacheGen.h"
#include "convert/RunReport.h"
#include "convert/RunProfile.h"
#include "qml/QmlGenerator.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "tools/builder/JsonBuilder.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

using Clock = std::chrono::steady_clock;

// ---- the synthetic project -------------------------------------------------

struct ProjectShape {
  int screens = 400;
  unsigned seed = 20240607;
  // Screens whose text gets `tag` appended: an edited project.
  std::vector<int> edited;
  std::string tag;
};

struct ProjectStats {
  int screens = 0;
  int controls = 0;
};

// Leaf controls in rough proportion to what operator panels carry.
const std::vector<std::pair<const char*, int>> kLeafMix = {
    {"button", 22}, {"textfield", 20}, {"iofield", 18}, {"rectangle", 8}, {"graphic", 7},
    {"switch", 5},  {"bar", 4},        {"ellipse", 4},  {"datetime", 3},  {"symbolicio", 3},
    {"polyline", 2}, {"alarmindicator", 2}, {"graphicio", 2}};

json Leaf(std::mt19937& rng, std::discrete_distribution<int>& pick, int& counter) {
  std::uniform_int_distribution<int> pos(0, 760), size(10, 200);
  const char* type = kLeafMix[static_cast<size_t>(pick(rng))].first;
  ++counter;
  return {{"type", type},
          {"text", std::string(type) + " " + std::to_string(counter)},
          {"x", pos(rng)}, {"y", pos(rng) % 460}, {"w", size(rng)}, {"h", size(rng) % 80 + 10}};
}

// Screen sizes: most screens hold a few dozen controls, a few hold
// hundreds (overview screens), as a log-normal spread gives.
int ScreenControlCount(std::mt19937& rng) {
  std::lognormal_distribution<double> spread(3.9, 0.8);
  return std::clamp(static_cast<int>(spread(rng)), 3, 900);
}

json MakeProject(const ProjectShape& shape, ProjectStats& stats) {
  std::mt19937 rng(shape.seed);
  std::vector<double> weights;
  for (const auto& [name, weight] : kLeafMix) weights.push_back(weight);
  std::discrete_distribution<int> pick(weights.begin(), weights.end());
  json screens = json::array();
  int counter = 0;
  for (int s = 0; s < shape.screens; ++s) {
    // In 20 screens: 17 pages, 2 popups, 1 report page; one template in
    // all, since every template is written to the same file.
    const int kind = s == 0 ? 19 : s % 20 == 19 ? 0 : s % 20;
    json screen;
    if (kind < 16) {
      screen = {{"type", "page"}, {"text", "Page " + std::to_string(s)}, {"w", 800}, {"h", 480},
                {"background", {{"orientation", 2}, {"stops", {{0, "#ffe0e0e0"}, {1, "#ff808080"}}}}}};
    } else if (kind < 18) {
      screen = {{"type", "popup"}, {"text", "Popup " + std::to_string(s)}, {"w", 400}, {"h", 300},
                {"borderWidth", 2}, {"background", {{"stops", {{0, "#ffffffff"}}}}}};
    } else if (kind < 19) {
      screen = {{"type", "reportpage"}, {"text", "Report " + std::to_string(s)}, {"w", 595}, {"h", 842}};
    } else {
      screen = {{"type", "template"}, {"w", 800}, {"h", 480}};
    }
    if (screen.contains("text") && std::find(shape.edited.begin(), shape.edited.end(), s) != shape.edited.end())
      screen["text"] = screen["text"].get<std::string>() + shape.tag;
    json children = json::array();
    const int n = ScreenControlCount(rng);
    for (int c = 0; c < n;) {
      // Every tenth slot a container with a handful of controls inside.
      if (c % 10 == 9 && n - c > 4) {
        json inner = json::array();
        for (int k = 0; k < 4; ++k) inner.push_back(Leaf(rng, pick, counter));
        ++counter;
        children.push_back({{"type", "container"}, {"x", 10}, {"y", 10}, {"w", 300}, {"h", 200},
                            {"children", inner}});
        c += 5;
      } else {
        children.push_back(Leaf(rng, pick, counter));
        ++c;
      }
    }
    screen["children"] = children;
    screens.push_back(screen);
    ++stats.screens;
  }
  stats.controls = counter;
  return {{"languages", {{{"id", 1033}, {"fonts", {0}}}}},
          {"fonts", {{{"face", "Sans"}, {"size", 12}}}},
          {"screens", screens}};
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// ---- one measured run (child process) --------------------------------------

// Two threads take the next document, largest first, from a shared
// counter: about the best split there can be, with nothing else around the
// compiler.
double CompileFloor(std::vector<std::pair<size_t, std::u16string>> sized) {
  std::sort(sized.begin(), sized.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<std::u16string> documents;
  for (auto& entry : sized) documents.push_back(std::move(entry.second));
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i = next++; i < documents.size(); i = next++) static_cast<void>(prt::QmlCacheGen::MiniQmlCacheGen(documents[i]).HasValue());
  };
  const auto start = Clock::now();
  std::thread other(work);
  work();
  other.join();
  return prt::SecondsSince(start);
}

// A figure of /proc/self/status in MiB: VmRSS the resident set now, VmHWM
// its peak since the start or the last ResetPeak.
double StatusMiB(std::string_view field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with(field) && line.size() > field.size() && line[field.size()] == ':')
      return std::atof(line.c_str() + field.size() + 1) / 1024.0;
  return 0;
}

// Lets VmHWM measure from now on.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// The run's lines are not part of what is measured.
class QuietReport final : public prt::RunReport {
  void Waiting(const std::u16string&, const prt::platform::LockHolder&) override {}
  void Removed(const std::u16string&) override {}
  void NotRemoved(const prt::platform::SystemError&) override {}
  void NotWalked(const prt::platform::SystemError&) override {}
  void Notices(std::string_view) override {}
  void Rejected(std::string_view) override {}
  void Detour(const prt::platform::SystemError&) override {}
  void LeftBehind(const prt::platform::SystemError&) override {}
  void Moved(const std::u16string&, const std::u16string&) override {}
  void Copied(const std::u16string&, const std::u16string&) override {}
  void Reused(size_t, size_t) override {}
};

int RunOnce(const std::string& prt, const std::string& out, bool encrypt) {
  prt::platform::PrepareProcess();  // as the tool's main does
  const double startMiB = StatusMiB("VmRSS");
  // The run loads the data set itself; what follows the load is measured
  // from the moment it is done.
  prt::RunProfile profile;
  double load = 0, loadedMiB = 0, loadPeakMiB = 0;
  rusage before{};
  const auto loadStart = Clock::now();
  auto runStart = loadStart;
  profile.afterLoad = [&] {
    load = prt::SecondsSince(loadStart);
    loadedMiB = StatusMiB("VmRSS");
    loadPeakMiB = StatusMiB("VmHWM");
    ResetPeak();
    getrusage(RUSAGE_SELF, &before);
    runStart = Clock::now();
  };
  prt::SetRunProfile(&profile);
  QuietReport report;
  prt::ConversionRun run({.dataFile = prt::platform::WidenPath(prt), .outputFolder = prt::platform::Widen(out),
                          .encrypt = encrypt, .reuse = false},
                         report);
  const prt::Status ok = run.Run();
  const double total = prt::SecondsSince(runStart);
  const double runPeakMiB = StatusMiB("VmHWM");
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  prt::SetRunProfile(nullptr);
  if (!ok) {
    std::cerr << "prt-bench: the run failed: " << ok.Error().Reason() << "\n";
    return 3;
  }

  // The floor compiles plain copies of the same documents. Each pass has
  // copies of its own: a second pass over the same files would replace the
  // first pass's caches, and those freed inodes slow the next run's file
  // creation (see bench/README.md).
  std::vector<std::pair<size_t, std::u16string>> passes[2];
  for (const auto& entry : fs::directory_iterator(fs::path(out) / "qmls")) {
    if (entry.path().extension() != ".qml") continue;
    std::string text = prt::ReadFileContent(prt::platform::FromPath(entry.path()));
    if (encrypt) text = prt::DecipherContent(text).value_or(std::string());
    for (int pass = 0; pass < 2; ++pass) {
      const fs::path dir = fs::path(out) / ("floor" + std::to_string(pass + 1));
      fs::create_directories(dir);
      const fs::path copy = dir / entry.path().filename();
      std::ofstream(copy, std::ios::binary) << text;
      passes[pass].emplace_back(text.size(), prt::platform::FromPath(copy));
    }
  }
  // The better of two passes: other load on the machine only ever slows a
  // pass down.
  const double floor = std::min(CompileFloor(passes[0]), CompileFloor(passes[1]));

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto& w = profile.workers;
  // Both workers start on the files when the trees are checked; the
  // imbalance is how far apart they finish, against the span from the start.
  const double stageEnd = std::max(w[0].endSeconds, w[1].endSeconds);
  const double span = stageEnd - std::min(w[0].startSeconds, w[1].startSeconds);
  auto both = [&](double prt::WorkerProfile::*figure) { return w[0].*figure + w[1].*figure; };
  std::cout << std::setprecision(9);
  std::map<std::string, double> figures = {
      {"load", load},
      {"collect", profile.collectSeconds},
      {"generate", both(&prt::WorkerProfile::generateSeconds)},
      {"save", both(&prt::WorkerProfile::saveSeconds)},
      {"release", both(&prt::WorkerProfile::releaseSeconds)},
      {"rebuild", both(&prt::WorkerProfile::rebuildSeconds)},
      {"files", profile.filesSeconds},
      {"compile0", w[0].compileSeconds},
      {"compile1", w[1].compileSeconds},
      {"encrypt", w[0].encryptSeconds + w[1].encryptSeconds},
      {"worker0", w[0].endSeconds - w[0].startSeconds},
      {"worker1", w[1].endSeconds - w[1].startSeconds},
      {"files0", w[0].files},
      {"files1", w[1].files},
      {"load0", w[0].load},
      {"load1", w[1].load},
      {"imbalance", span > 0 ? std::abs(w[0].endSeconds - w[1].endSeconds) / span : 0},
      {"move", profile.moveSeconds},
      {"total", total},
      {"floor", floor},
      {"ratio", floor > 0 ? total / floor : 0},
      {"textshare", total > 0 ? (both(&prt::WorkerProfile::generateSeconds) + both(&prt::WorkerProfile::saveSeconds)) / (2 * total) : 0},
      {"startMiB", startMiB},
      {"loadedMiB", loadedMiB},
      {"loadPeakMiB", loadPeakMiB},
      {"runPeakMiB", runPeakMiB},
      {"peakMiB", usage.ru_maxrss / 1024.0},
      {"faults", static_cast<double>(after.ru_minflt - before.ru_minflt)},
  };
  for (const auto& [key, value] : figures) std::cout << "BENCH " << key << " " << value << "\n";
  return 0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The compile-only process: every .qml of `folder`, compiled as the floor
// compiles them. Beside the tool's whole process it prices what a process
// of its own costs both (start, loading Qt, exit).
int CompileOnly(const std::string& folder) {
  std::vector<std::pair<size_t, std::u16string>> sized;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().extension() == ".qml") sized.emplace_back(entry.file_size(), prt::platform::FromPath(entry.path()));
  CompileFloor(std::move(sized));
  return 0;
}

// ---- the parent ------------------------------------------------------------

// Wall seconds of one program run to its end, its output discarded; a
// negative value when it did not run or failed. `env` is added to the
// environment.
double TimeProcess(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  for (char** e = environ; *e; ++e) envp.push_back(*e);
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto start = Clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return prt::SecondsSince(start);
}

// The tool as a whole process against a compile-only process over the same
// documents, alternated run by run; medians of both, and of their ratios.
// With more than one build of the tool (--against), the builds take turns
// within each run, so their ratios are formed under the same conditions.
struct WholeProcess {
  double tool = 0, compile = 0, ratio = 0;
};
std::optional<std::vector<WholeProcess>> MeasureWholeProcess(const std::vector<std::string>& tools,
                                                             const std::string& self, const fs::path& prt,
                                                             const fs::path& work, int runs, bool encrypt) {
  std::vector<std::vector<double>> toolTimes(tools.size()), compiles(tools.size()), ratios(tools.size());
  // Each build has a project folder of its own, as a user's project has:
  // builds that store another form of the working copy's hash would
  // otherwise copy the data set afresh on every run. One run each, not
  // timed, makes the working copies.
  std::vector<fs::path> projects;
  for (size_t k = 0; k < tools.size(); ++k) {
    const fs::path folder = work / ("project" + std::to_string(k));
    fs::create_directories(folder);
    fs::copy_file(prt, folder / prt.filename(), fs::copy_options::overwrite_existing);
    projects.push_back(folder / prt.filename());
    fs::create_directories(folder / "warm");
    if (TimeProcess({tools[k], projects[k].string(), "-d", (folder / "warm").string()}) < 0) return std::nullopt;
  }
  for (int r = 0; r < runs; ++r) {
    // Each run starts with the next build: the first of a round runs slower,
    // by some 2 % at 400 screens.
    for (size_t i = 0; i < tools.size(); ++i) {
      const size_t k = (i + static_cast<size_t>(r)) % tools.size();
      const std::string tag = std::to_string(r + 1) + "-" + std::to_string(k);
      const fs::path out = work / ("process" + tag);
      fs::create_directories(out);
      prt::platform::FlushFileSystems();
      std::vector<std::string> args = {tools[k], projects[k].string(), "-d", out.string()};
      if (encrypt) args.push_back("-e");
      const double t = TimeProcess(args);
      // Plain copies of the documents it wrote, in a folder of their own.
      const fs::path copies = work / ("compile" + tag);
      fs::create_directories(copies);
      for (const auto& entry : fs::directory_iterator(out / "qmls")) {
        if (entry.path().extension() != ".qml") continue;
        std::string text = prt::ReadFileContent(prt::platform::FromPath(entry.path()));
        if (encrypt) text = prt::DecipherContent(text).value_or(std::string());
        std::ofstream(copies / entry.path().filename(), std::ios::binary) << text;
      }
      prt::platform::FlushFileSystems();
      const double c = TimeProcess({self, "--compile", copies.string()});
      if (t < 0 || c <= 0) return std::nullopt;
      toolTimes[k].push_back(t);
      compiles[k].push_back(c);
      ratios[k].push_back(t / c);
    }
  }
  std::vector<WholeProcess> figures;
  for (size_t k = 0; k < tools.size(); ++k)
    figures.push_back({Median(toolTimes[k]), Median(compiles[k]), Median(ratios[k])});
  return figures;
}

std::map<std::string, double> RunChild(const std::string& self, const fs::path& prt, const fs::path& out,
                                       bool encrypt) {
  fs::create_directories(out);
  const std::string command = "'" + self + "' --once '" + prt.string() + "' '" + out.string() + "' " +
                              (encrypt ? "1" : "0");
  std::map<std::string, double> figures;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return figures;
  char line[512];
  while (fgets(line, sizeof line, pipe)) {
    std::istringstream in(line);
    std::string tag, key;
    double value = 0;
    if (in >> tag >> key >> value && tag == "BENCH") figures[key] = value;
  }
  if (pclose(pipe) != 0) figures.clear();
  return figures;
}

// Usage text kept as tests pin it; --screens also takes a list (400,1600,3200),
// one project each, with a summary table at the end (bench/README.md).
constexpr const char* kUsage =
    "Usage: prt-bench [--runs N] [--screens N] [--work DIR] [--plain] [--against PRT2QML] [--rerun]\n"
    "Builds a synthetic project in DIR (default: a folder under /tmp), converts it N\n"
    "times (default 5), each in a fresh process, and prints medians. --rerun times\n"
    "re-runs against the full run instead, on tmpfs and on a fresh ext4 (root).\n"
    "--help shows this text, --version the version.\n";

int Usage() {
  std::cerr << kUsage;
  return 1;
}

struct Summary {
  int screens = 0;
  int controls = 0;
  double ratio = 0, imbalance = 0, peakMiB = 0, runPeakMiB = 0, loadedMiB = 0, startMiB = 0, total = 0, floor = 0;
  double processRatio = 0;
};

// Builds one project and converts it `runs` times; prints the medians.
int BenchProject(const std::string& self, const std::vector<std::string>& tools, const ProjectShape& shape, const fs::path& work, int runs, bool encrypt,
                 Summary& summary) {
  ProjectStats stats;
  const auto buildStart = Clock::now();
  const auto built = prt::builder::BuildFromJson(MakeProject(shape, stats));
  if (!built) {
    std::cerr << "prt-bench: the builder refused the project: " << built.Error().message << "\n";
    return 2;
  }
  fs::create_directories(work / "project");
  const fs::path prt = work / "project" / "bench.prt";
  WriteBytes(prt, built->container);
  if (built->languageFile) WriteBytes(work / "project" / "bench.rt_file.LANG", *built->languageFile);
  if (built->connectionFile) WriteBytes(work / "project" / "bench.rt_file.CONN", *built->connectionFile);
  std::cout << "project: " << stats.screens << " screens, " << stats.controls << " controls, "
            << built->container.size() / 1024 << " KiB data set (built in " << std::fixed
            << std::setprecision(2) << prt::SecondsSince(buildStart) << " s)\n"
            << "mode: " << (encrypt ? "-e (enciphered)" : "plain") << ", " << runs << " runs\n";

  std::string loadAverage;
  std::getline(std::ifstream("/proc/loadavg"), loadAverage);
  if (!loadAverage.empty()) std::cout << "load average before: " << loadAverage << "\n";

  // Every run writes into a folder of its own and nothing is deleted until
  // the last one has finished: on ext4, creating files soon after many were
  // deleted nearby makes each creation skip the recently freed inodes, and
  // clearing the previous run's 1,600 files right before a run multiplied
  // its saving time several times over (see bench/README.md).
  const fs::path outputs = work / "out";
  fs::remove_all(outputs);
  std::map<std::string, std::vector<double>> all;
  for (int r = 0; r < runs; ++r) {
    // Nothing of the previous run is left to write back while this one is
    // measured: on a disk, the write-out of one run's some 15 MB otherwise
    // lands in the next run's file creations and syncs.
    prt::platform::FlushFileSystems();
    const auto figures = RunChild(self, prt, outputs / ("run" + std::to_string(r + 1)), encrypt);
    if (figures.empty()) {
      std::cerr << "prt-bench: run " << r + 1 << " failed\n";
      return 3;
    }
    for (const auto& [key, value] : figures) all[key].push_back(value);
  }

  const auto processes = MeasureWholeProcess(tools, self, prt, outputs, runs, encrypt);
  fs::remove_all(outputs);
  if (!processes) {
    std::cerr << "prt-bench: the whole-process runs failed\n";
    return 3;
  }
  const WholeProcess* process = &processes->front();

  auto ms = [&](const char* key) { return Median(all[key]) * 1000; };
  std::cout << std::fixed << std::setprecision(1);
  std::cout << "median over runs (ms):\n"
            << "  load                 " << ms("load") << "\n"
            << "  checking the trees   " << ms("collect") << "\n"
            << "  making the files (wall) " << ms("files") << "; both workers together:\n"
            << "    building the trees   " << ms("rebuild") << "\n"
            << "    text generation      " << ms("generate") << "\n"
            << "    saving .qml          " << ms("save") << "\n"
            << "    releasing trees      " << ms("release") << "\n"
            << "    worker 0: wall " << ms("worker0") << ", compile "
            << ms("compile0") << ", files " << Median(all["files0"]) << ", text " << Median(all["load0"]) << "\n"
            << "    worker 1: wall " << ms("worker1") << ", compile " << ms("compile1") << ", files "
            << Median(all["files1"]) << ", text " << Median(all["load1"]) << "\n"
            << "  encryption (both)    " << ms("encrypt") << "\n"
            << "  move                 " << ms("move") << "\n"
            << "  total run            " << ms("total") << "\n"
            << "  compile floor        " << ms("floor") << "\n";
  std::cout << std::setprecision(3);
  std::cout << "ratio total / floor    " << Median(all["ratio"]) << "  (target <= 1.10)\n"
            << std::setprecision(1) << "whole process          prt2qml " << process->tool * 1000
            << " ms, compile only " << process->compile * 1000 << " ms, ratio " << std::setprecision(3)
            << process->ratio
            << "  (target <= 1.05 at 400 screens, <= 1.10 at 3200)\n";
  for (size_t k = 1; k < tools.size(); ++k)
    std::cout << std::setprecision(1) << "whole process against  " << tools[k] << " " << (*processes)[k].tool * 1000
              << " ms, compile only " << (*processes)[k].compile * 1000 << " ms, ratio " << std::setprecision(3)
              << (*processes)[k].ratio << "\n";
  std::cout << std::setprecision(3)
            << "worker imbalance       " << Median(all["imbalance"]) * 100 << " %  (target <= 5 %)\n"
            << "text + saving share    " << Median(all["textshare"]) * 100 << " %\n"
            << "peak memory            " << Median(all["peakMiB"]) << " MiB (run alone "
            << Median(all["runPeakMiB"]) << ", load alone " << Median(all["loadPeakMiB"]) << "; at start "
            << Median(all["startMiB"]) << ", after load " << Median(all["loadedMiB"]) << ")\n";
  // The spread: saving on a disk swings with what the file system did
  // shortly before (see bench/README.md).
  std::cout << std::setprecision(1);
  for (const char* key : {"generate", "save", "total", "floor"}) {
    std::cout << "runs: " << key;
    for (double v : all[key]) std::cout << " " << v * 1000;
    std::cout << "\n";
  }
  std::cout << std::setprecision(3) << "runs: ratio";
  for (double v : all["ratio"]) std::cout << " " << v;
  std::cout << "\n";
  summary = {shape.screens, stats.controls, Median(all["ratio"]), Median(all["imbalance"]),
             Median(all["peakMiB"]), Median(all["runPeakMiB"]), Median(all["loadedMiB"]),
             Median(all["startMiB"]), ms("total"), ms("floor"), process->ratio};
  return 0;
}

// ---- re-runs ----------------------------------------------------------------

// A fresh ext4 file system on a loop device, for figures that do not follow
// the state of the machine's disk; unmounted and deleted at the end.
class ScratchDisk {
 public:
  explicit ScratchDisk(const fs::path& image) : image_(image), mount_(image.string() + ".mnt") {
    fs::remove_all(mount_);
    fs::create_directories(mount_);
    std::ofstream(image_).close();
    fs::resize_file(image_, 3ull << 30);
    const std::string quiet = " >/dev/null 2>&1";
    if (std::system(("mkfs.ext4 -q -F '" + image_.string() + "'" + quiet).c_str()) != 0) {
      reason_ = "mkfs.ext4 failed (is e2fsprogs installed?)";
    } else if (std::system(("mount -o loop '" + image_.string() + "' '" + mount_.string() + "'" + quiet).c_str()) != 0) {
      reason_ = "mounting a loop device was refused (it needs root)";
    }
  }
  ~ScratchDisk() {
    if (reason_.empty() && std::system(("umount '" + mount_.string() + "' >/dev/null 2>&1").c_str()) != 0)
      std::cerr << "prt-bench: cannot unmount " << mount_ << "\n";
    std::error_code ec;
    fs::remove(mount_, ec);
    fs::remove(image_, ec);
  }
  const std::string& Refused() const { return reason_; }
  const fs::path& Folder() const { return mount_; }

 private:
  fs::path image_, mount_;
  std::string reason_;
};

struct RerunFigures {
  double full = 0, nothing = 0, one = 0, tenth = 0;  // median wall seconds
};

// Whole-process runs of the tool on one project in `work`: the full run
// (PRT2QML_REUSE=0 over the previous output), then a re-run with nothing
// changed, one with one screen's text changed and one with a tenth of the
// screens changed, each against the state the run before it left. The data
// file is put in place before each run, as an editor's save would.
std::optional<RerunFigures> MeasureReruns(const std::string& tool, const fs::path& work, int screens, int runs,
                                          bool encrypt) {
  ProjectShape base;
  base.screens = screens;
  ProjectShape one = base, tenth = base;
  one.edited = {1};
  one.tag = " (one)";
  for (int s = 1; s < screens; s += 10) tenth.edited.push_back(s);
  tenth.tag = " (tenth)";
  fs::remove_all(work);
  fs::create_directories(work / "project");
  std::map<std::string, fs::path> files;
  for (const auto& [name, shape] : {std::pair{"base", base}, {"one", one}, {"tenth", tenth}}) {
    ProjectStats stats;
    const auto built = prt::builder::BuildFromJson(MakeProject(shape, stats));
    if (!built) return std::nullopt;
    files[name] = work / (std::string(name) + ".prt");
    WriteBytes(files[name], built->container);
  }
  const fs::path prt = work / "project" / "bench.prt";
  const fs::path out = work / "out";
  fs::create_directories(out);
  std::vector<std::string> args = {tool, prt.string(), "-d", out.string()};
  if (encrypt) args.push_back("-e");
  auto run = [&](const char* project, std::vector<std::string> env = {}) {
    fs::copy_file(files[project], prt, fs::copy_options::overwrite_existing);
    prt::platform::FlushFileSystems();
    return TimeProcess(args, env);
  };
  if (run("base") < 0) return std::nullopt;
  std::vector<double> full, nothing, oneChanged, tenthChanged;
  for (int r = 0; r < runs; ++r) {
    full.push_back(run("base", {"PRT2QML_REUSE=0"}));
    nothing.push_back(run("base"));
    oneChanged.push_back(run("one"));
    tenthChanged.push_back(run("tenth"));
    for (const auto* v : {&full, &nothing, &oneChanged, &tenthChanged})
      if (v->back() < 0) return std::nullopt;
  }
  fs::remove_all(work);
  return RerunFigures{Median(full), Median(nothing), Median(oneChanged), Median(tenthChanged)};
}

int Rerun(const std::string& tool, const std::vector<int>& counts, const fs::path& work, int runs, bool encrypt) {
  std::cout << "re-runs of " << tool << ", whole process, medians of " << runs
            << " runs (ms; in brackets the share of the full run)\n"
            << "targets at 3200 screens on tmpfs: nothing changed <= 10 %, one screen <= 20 %, 10 % of screens <= 30 %\n";
  std::string loadAverage;
  std::getline(std::ifstream("/proc/loadavg"), loadAverage);
  std::cout << "load average before: " << loadAverage << "\n"
            << "file system  mode   screens    full run   nothing changed    one screen     10 % of screens\n";
  auto measure = [&](const std::string& where, const fs::path& folder) {
    for (const bool e : encrypt ? std::vector<bool>{false, true} : std::vector<bool>{false}) {
      for (const int screens : counts) {
        const auto f = MeasureReruns(tool, folder / "rerun", screens, runs, e);
        if (!f) {
          std::cerr << "prt-bench: the re-runs on " << where << " failed\n";
          continue;
        }
        auto cell = [&](double t) {
          std::ostringstream text;
          text << std::fixed << std::setprecision(0) << t * 1000 << " (" << std::setprecision(1) << 100 * t / f->full
               << " %)";
          return text.str();
        };
        std::cout << std::left << std::setw(13) << where << std::setw(7) << (e ? "-e" : "plain") << std::right
                  << std::setw(7) << screens << std::setw(12) << std::fixed << std::setprecision(0) << f->full * 1000
                  << std::setw(18) << cell(f->nothing) << std::setw(15) << cell(f->one) << std::setw(20)
                  << cell(f->tenth) << "\n"
                  << std::flush;
      }
    }
  };
  measure("tmpfs", fs::is_directory("/dev/shm") ? fs::path("/dev/shm") / "prt-bench-rerun" : work);
  ScratchDisk disk(fs::path("/var/tmp") / ("prt-bench-ext4-" + std::to_string(getpid()) + ".img"));
  if (!disk.Refused().empty())
    std::cout << "disk: skipped, " << disk.Refused() << "\n";
  else
    measure("ext4 (loop)", disk.Folder());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string self = fs::absolute(argv[0]).string();
  if (argc == 5 && std::string(argv[1]) == "--once") return RunOnce(argv[2], argv[3], std::string(argv[4]) == "1");
  if (argc == 3 && std::string(argv[1]) == "--compile") return CompileOnly(argv[2]);

  int runs = 5;
  std::vector<int> counts;
  bool encrypt = true;
  bool rerun = false;
  fs::path work = fs::temp_directory_path() / "prt-bench";
  std::vector<std::string> tools = {(fs::path(self).parent_path() / "prt2qml").string()};
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--screens" && i + 1 < argc) {
      std::istringstream list(argv[++i]);
      for (std::string n; std::getline(list, n, ',');) counts.push_back(std::max(1, std::atoi(n.c_str())));
    } else if (a == "--work" && i + 1 < argc) {
      work = argv[++i];
    } else if (a == "--rerun") {
      rerun = true;
    } else if (a == "--plain") {
      encrypt = false;
    } else if (a == "--against" && i + 1 < argc) {
      tools.push_back(fs::absolute(argv[++i]).string());
    } else if (a == "--help") {
      return prt::PrintAnswer("prt-bench", kUsage);
    } else if (a == "--version") {
      return prt::PrintAnswer("prt-bench", prt::VersionLine("prt-bench"));
    } else {
      return Usage();
    }
  }
  if (rerun) return Rerun(tools.front(), counts.empty() ? std::vector<int>{400, 3200} : counts, work, runs, encrypt);
  if (counts.empty()) counts.push_back(ProjectShape{}.screens);

  std::vector<Summary> summaries;
  for (int screens : counts) {
    ProjectShape shape;
    shape.screens = screens;
    Summary summary;
    if (const int code = BenchProject(self, tools, shape, work, runs, encrypt, summary)) return code;
    summaries.push_back(summary);
    std::cout << "\n";
  }
  if (summaries.size() > 1) {
    std::cout << std::fixed << std::setprecision(3)
              << "screens  controls  run ms  floor ms  ratio  process  imbalance  peak MiB  run peak  after load\n";
    for (const Summary& s : summaries)
      std::cout << std::setw(7) << s.screens << std::setw(10) << s.controls << std::setw(8)
                << std::setprecision(1) << s.total << std::setw(10) << s.floor << std::setw(7)
                << std::setprecision(3) << s.ratio << std::setw(9) << s.processRatio << std::setw(10)
                << std::setprecision(1)
                << s.imbalance * 100 << " %" << std::setw(9) << s.peakMiB << std::setw(10) << s.runPeakMiB
                << std::setw(12) << s.loadedMiB << "\n";
  }
  return 0;
}
