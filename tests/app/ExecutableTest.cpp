// Runs the real prt2qml the way a shell does and checks what the shell sees.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <set>
#include <thread>

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

// Another process holds the working or the output folder: the run waits,
// says once who holds it, and gives up after PRT2QML_LOCK_WAIT seconds (at
// once and without the waiting line for 0); or it runs once the folder is
// released, also when the holder removed it meanwhile (as a run whose data
// set did not load removes the working folder it made).
TEST(Executable, ALockedFolderMakesTheRunWaitThenGiveUp) {
  const struct { const char* locked; std::chrono::milliseconds hold; const char* wait; int status; const char* last; bool removed = false; } cases[] = {
      {"SimWork", std::chrono::minutes(1), "1", 254, "Initialize Data Manager failed!\n"},
      {"out", std::chrono::minutes(1), "1", 253, "Generate QML files failed!\n"},
      {"out", std::chrono::minutes(1), "0", 253, "Generate QML files failed!\n"},
      {"out", std::chrono::milliseconds(1500), "60", 0, nullptr},
      {"SimWork", std::chrono::minutes(1), "60", 0, nullptr, true},
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    test::WriteDataset(dir / "a.prt", kOnePage);
    fs::create_directory(dir / "out");
    fs::create_directory(dir / "SimWork");
    const std::string folder = std::string(c.locked) == "out" ? "out" : (dir / "SimWork").string();
    auto child = std::make_optional<test::ChildFolderLock>(dir / c.locked, c.hold);
    ASSERT_TRUE(child->Holding());
    std::string holder = "process " + std::to_string(child->Pid());
    holder += " (" + test::ReadFile("/proc/" + std::to_string(child->Pid()) + "/comm");
    holder.back() = ')';  // comm ends in a line end
    // Once the run opens the folder to lock it, the folder goes and the lock with it.
    const int watch = inotify_init1(IN_CLOEXEC);
    inotify_add_watch(watch, (dir / c.locked).c_str(), IN_OPEN);
    const auto remove = [&](pid_t) {
      pollfd opened{watch, POLLIN, 0};
      if (c.removed && poll(&opened, 1, 20000) == 1)  // after a while, in which it says who holds it
        std::this_thread::sleep_for(std::chrono::milliseconds(300)), fs::remove(dir / c.locked), child.reset();
    };
    const test::ProcessResult r = test::RunProcess(
        {.program = PRT2QML_PATH, .args = {"a.prt", "-d", "out"}, .workDir = dir.Path(),
         .env = {std::string("PRT2QML_LOCK_WAIT=") + c.wait}, .monitor = remove});
    close(watch);
    EXPECT_TRUE(r.exited && r.exitStatus == c.status) << c.locked << "\n" << r.err;
    std::string err = std::string(c.wait) == "0" ? "" : "prt2qml: waiting for '" + folder + "', locked by " + holder + "\n";
    if (c.last) err += "prt2qml: '" + folder + "' is locked by " + holder + "; gave up after " + c.wait + " s\n" + c.last;
    EXPECT_EQ(r.err, err) << c.locked;
    EXPECT_EQ(fs::exists(dir / "out" / "qmls" / "page16777216.qml"), c.status == 0) << c.locked;
  }
}

// Every entry below `root`, links not followed: its mode, then a link's
// target or a small file's bytes.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> entries;
  for (fs::recursive_directory_iterator it(root), end; it != end; ++it) {
    struct stat st {};
    lstat(it->path().c_str(), &st);
    std::string what = std::to_string(st.st_mode);
    if (S_ISLNK(st.st_mode)) what += " -> " + fs::read_symlink(it->path()).string();
    if (S_ISREG(st.st_mode)) what += " " + (st.st_size < (1 << 20) ? test::ReadFile(it->path()) : "large");
    entries[it->path().lexically_relative(root).string()] = what;
  }
  return entries;
}

// The names in a qmls folder, with the text of each document.
std::map<std::string, std::string> Documents(const fs::path& qmls) {
  std::map<std::string, std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(qmls, ec), end; !ec && it != end; it.increment(ec))
    names[it->path().filename().string()] = it->path().extension() == ".qml" ? test::ReadFile(it->path()) : "";
  return names;
}

// A file the run cannot remove until the object goes, wherever it moved:
// immutable for root, in a read-only folder for anyone else.
class Pinned {
 public:
  explicit Pinned(const fs::path& file) : root_(geteuid() == 0) {
    fd_ = open((root_ ? file : file.parent_path()).c_str(), O_RDONLY);
    int flags = 0;
    const bool pinned = fd_ >= 0 && (root_ ? ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0 &&
                                                 (flags |= FS_IMMUTABLE_FL, ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0)
                                           : fchmod(fd_, 0555) == 0);
    if (!pinned) ADD_FAILURE() << "cannot pin " << file << ": " << std::strerror(errno);
  }
  ~Pinned() {
    int flags = 0;
    if (root_ && ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) flags &= ~FS_IMMUTABLE_FL, ioctl(fd_, FS_IOC_SETFLAGS, &flags);
    if (!root_) fchmod(fd_, 0755);
    close(fd_);
  }

 private:
  bool root_;
  int fd_ = -1;
};
using Pins = std::vector<std::unique_ptr<Pinned>>;

void Pin(Pins& pins, const fs::path& file) {
  fs::create_directories(file.parent_path());
  test::WriteFile(file, "left");
  pins.push_back(std::make_unique<Pinned>(file));
}

// One page whose text is `letter` repeated; the two projects have the same size.
std::string Project(char letter) {
  return R"({"screens": [{"type": "page", "text": ")" + std::string(60000, letter) + R"(", "w": 800, "h": 480}]})";
}

// Hostile or unlucky file-system states. Each row makes one in its own
// folder (the project p/a.prt, the output folder out), runs the program and
// checks its exit status, its reason, the documents, and that nothing
// outside what the run owns changed.
TEST(Executable, NothingOutsideTheProjectIsTouchedAndExit0MeansTheCurrentData) {
  test::TempDir dir;
  std::map<char, std::map<std::string, std::string>> docs;
  for (const char letter : {'A', 'B'}) {
    const fs::path project = dir / std::string(1, letter) / "a.prt";
    test::WriteDataset(project, Project(letter));
    ASSERT_EQ(RunTool({project.string()}, dir.Path()).exitStatus, 0);
    docs[letter] = Documents(project.parent_path() / "qmls");
  }
  auto convert = [](const fs::path& root, const char* prt) { ASSERT_EQ(RunTool({prt, "-d", "out"}, root).exitStatus, 0); };
  fs::file_time_type sourceTime;
  std::string amplified = R"({"screens": [{"type": "page", "children": [{"type": "textfield", "label": "t", "text": ")" +
                          std::string(10000, 'x') + R"("}], "links": [{"target": "t"})";
  for (int i = 1; i < 4000; ++i) amplified += R"(, {"target": "t"})";
  amplified += "]}]}";

  const std::vector<std::string> kRun = {"p/a.prt", "-d", "out"};
  const std::vector<std::string> kOwn = {"out/qmls", "p/SimWork"}, kOwnFailed = {"out/qmls_generating", "p/SimWork"};
  const struct Case {
    const char* name;
    std::function<void(const fs::path&, Pins&)> setup;
    std::vector<std::string> args;
    std::vector<std::string> own;  // path prefixes the run may change
    int status = 0;
    const char* err = "";  // a part of standard error
    char docs = 'A';       // what <output>/qmls holds; 0: not checked
    const char* output = "out";
    test::ProcessRequest extra = {};
    std::function<void(const fs::path&)> during = {};  // on a thread of its own while the first run runs
    bool twice = false;  // the first run must give A or B whole; the second is checked
  } cases[] = {
      {"1 staging folder a link", [](const fs::path& r, Pins&) {
         fs::create_directory(r / "other");
         test::WriteFile(r / "other/keep", "keep");
         fs::create_directory_symlink("../other", r / "out/qmls_generating");
       }, kRun, kOwn},
      {"2 leftover in the staging folder", [](const fs::path& r, Pins& p) { Pin(p, r / "out/qmls_generating/sub/f"); },
       kRun, kOwn, 0, "Failed to remove: \"out/qmls_generating/sub\", "},
      {"3 '..' after a link", [](const fs::path& r, Pins&) {
         test::WriteDataset(r / "q/a.prt", Project('B'));
         fs::create_directory(r / "p/sub");
         fs::create_directory_symlink("../p/sub", r / "q/link");
       }, {"q/link/../a.prt"}, {"p/qmls", "p/SimWork"}, 0, "", 'A', "p"},
      {"4 new data with the old size and time", [&](const fs::path& r, Pins&) {
         convert(r, "p/a.prt");
         const auto time = fs::last_write_time(r / "p/a.prt");
         test::WriteDataset(r / "p/a.prt", Project('B'));
         fs::last_write_time(r / "p/a.prt", time);
       }, kRun, kOwn, 0, "", 'B'},
      {"5 data rewritten while copied", [&](const fs::path& r, Pins&) {
         test::WriteDataset(r / "b.prt", Project('B'));
         sourceTime = fs::last_write_time(r / "p/a.prt");
       }, kRun, {"out/qmls", "p/SimWork", "p/a.prt"}, 0, "", 'B', "out", {}, [&](const fs::path& r) {
         // Watched from here: the program is still starting, long before it reads.
         const int watch = inotify_init1(IN_CLOEXEC);
         inotify_add_watch(watch, (r / "p/a.prt").c_str(), IN_ACCESS);
         pollfd ready{watch, POLLIN, 0};
         poll(&ready, 1, 20000);
         const std::string b = test::ReadFile(r / "b.prt");
         const int fd = open((r / "p/a.prt").c_str(), O_WRONLY);
         EXPECT_EQ(pwrite(fd, b.data(), b.size(), 0), static_cast<ssize_t>(b.size()));
         close(fd);
         close(watch);
         fs::last_write_time(r / "p/a.prt", sourceTime);
       }, true},
      {"6 working copy a link", [](const fs::path& r, Pins&) {
         test::WriteFile(r / "victim", "victim");
         fs::permissions(r / "victim", fs::perms::owner_read | fs::perms::owner_write);
         fs::create_directory(r / "p/SimWork");
         fs::create_symlink("../../victim", r / "p/SimWork/a.prt");
       }, kRun, kOwn},
      {"6 language file a dangling link", [&](const fs::path& r, Pins&) {
         convert(r, "p/a.prt");
         fs::remove(r / "p/SimWork/a.rt_file.LANG");
         fs::create_symlink("../created", r / "p/SimWork/a.rt_file.LANG");
       }, kRun, {}, 254, "a.rt_file.LANG': a symbolic link, not followed", 'A'},
      {"7 data file named x*.prt", [&](const fs::path& r, Pins&) {
         test::WriteDataset(r / "p/xyz.prt", Project('B'));
         convert(r, "p/xyz.prt");
         test::WriteFile(r / "p/SimWork/xyz.rt_file.LANG", std::string("\1\0\0\0", 4));
         fs::rename(r / "p/a.prt", r / "p/x*.prt");
         fs::remove_all(r / "out/qmls");
       }, {"p/x*.prt", "-d", "out"}, {"out/qmls", "p/SimWork/x*"}},
      {"8 old output holds an entry that cannot be removed", [](const fs::path& r, Pins& p) { Pin(p, r / "out/qmls/sub/f"); },
       kRun, kOwn, 0, "", 'A', "out", {}, {}, true},
      {"9 standard output a closed pipe", [](const fs::path& r, Pins&) {
         fs::create_directory(r / "out/qmls_generating");
         test::WriteFile(r / "out/qmls_generating/x.qml", "x");
       },
       kRun, kOwn, 0, "", 'A', "out", {.stdoutTo = test::kClosedPipe}},
      {"10 links sharing a long text", [&](const fs::path& r, Pins&) { test::WriteDataset(r / "p/a.prt", amplified); },
       kRun, kOwnFailed, 253, "prt2qml: screen page16777216: the documents exceed ", 0},
      {"11 data file above the limit", [](const fs::path& r, Pins&) { fs::resize_file(r / "p/a.prt", (256 << 20) + 1); },
       kRun, {}, 254, "prt2qml: 'p/a.prt' is too large: 268,435,457 bytes", 0},
      {"12 deciphered to a full disk", [](const fs::path& r, Pins&) { test::WriteFile(r / "e.qml", "keyskeysword"); },
       {"e.qml"}, {}, 1, "cannot write to standard output: No space left on device", 0, "out",
       {.program = QML_DECIPHER_PATH, .stdoutTo = "/dev/full"}},
      {"12 deciphering a large input", [](const fs::path& r, Pins&) { fs::resize_file(r / "e.qml", (256 << 20) + 12); },
       {"e.qml"}, {}, 1, "e.qml holds 268,435,468 bytes, more than the 268,435,456", 0, "out",
       {.program = QML_DECIPHER_PATH, .stdoutTo = "/dev/null"}},
      {"13 lock wait not a whole number", nullptr, kRun, {}, 254,
       "prt2qml: PRT2QML_LOCK_WAIT must be a whole number of seconds, not '1e9'", 0, "out",
       {.env = {"PRT2QML_LOCK_WAIT=1e9"}}},
      // Not confused with the folder its replacement characters name.
      {"14 folder name not UTF-8", [](const fs::path& r, Pins&) {
         for (const char* p : {"p\xff", "p\xef\xbf\xbd"}) test::WriteDataset(r / p / "a.prt", Project('A')), fs::create_directory(r / (p + std::string("out")));
       }, {"p\xff/a.prt", "-d", "p\xffout"}, {"p\xffout/qmls", "p\xff/SimWork"}, 0, "", 'A', "p\xffout"},
      {"15 staging folder a file", [](const fs::path& r, Pins&) { test::WriteFile(r / "out/qmls_generating", "a file"); },
       kRun, kOwn, 0, "Failed to iterator: generic:20, "},
      {"16 output folder missing", nullptr, {"p/a.prt", "-d", "no"}, {"p/SimWork"}, 253, "GenerateQmlFiles aborted: "
       "filesystem error: cannot create directory: No such file or directory [no/qmls_generating/]\nGenerate QML files failed!\n", 0},
  };
  int row = 0;
  for (const Case& c : cases) {
    const fs::path root = dir / std::to_string(row++);
    Pins pins;
    test::WriteDataset(root / "p/a.prt", Project('A'));
    test::WriteFile(root / "e.qml", "");
    fs::create_directories(root / "out");
    if (c.setup) c.setup(root, pins);
    const auto before = Snapshot(root);
    test::ProcessRequest run = c.extra;
    if (run.program.empty()) run.program = PRT2QML_PATH;
    run.args = c.args, run.workDir = root, run.timeoutSeconds = 60;
    if (c.during) run.monitor = [&](pid_t) { c.during(root); };
    test::ProcessResult r = test::RunProcess(run);
    if (c.twice) {
      EXPECT_TRUE(r.exited && r.exitStatus == 0) << c.name << " (first run)\n" << r.err;
      const auto first = Documents(root / c.output / "qmls");
      EXPECT_TRUE(first == docs['A'] || first == docs['B']) << c.name << " (first run)";
      run.monitor = nullptr;
      r = test::RunProcess(run);
    }
    EXPECT_TRUE(r.exited && r.exitStatus == c.status) << c.name << ": exit " << r.exitStatus << " signal " << r.signal
                                                      << "\n" << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.name << "\n" << r.err;
    if (c.docs) {
      EXPECT_TRUE(Documents(root / c.output / "qmls") == docs[c.docs]) << c.name;
    }
    const auto after = Snapshot(root);
    std::set<std::string> paths;
    for (const auto* state : {&before, &after})
      for (const auto& [path, what] : *state) paths.insert(path);
    for (const std::string& path : paths) {
      if (std::any_of(c.own.begin(), c.own.end(), [&](const std::string& own) { return path.starts_with(own); })) continue;
      const auto was = before.find(path), is = after.find(path);
      EXPECT_TRUE(was != before.end() && is != after.end() && was->second == is->second)
          << c.name << ": " << path << (was == before.end() ? " appeared" : is == after.end() ? " went" : " changed")
          << (was != before.end() && is != after.end() ? ": " + was->second.substr(0, 80) + " / " + is->second.substr(0, 80) : "");
    }
  }
}

}  // namespace
}  // namespace prt
