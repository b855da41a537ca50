// qml-preview: pictures of the documents prt2qml generated, drawn by real Qt
// Quick engines offscreen with a stand-in of the runtime's component module,
// and the visual diff of two versions.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QThread>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/ProgramInfo.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "tools/qml-preview/Preview.h"
#include "tools/qml-preview/Workers.h"

namespace {

constexpr const char* kUsage =
    "Usage: qml-preview <qmls folder> [-o <pictures folder>] [--prt <data file>] [-j N] [-q]\n"
    "       qml-preview --diff <old qmls folder> <new qmls folder> [-o <diff folder>] [-j N] [-q]\n"
    "Draws every .qml document of the folder (plain or enciphered; always the text, never a\n"
    ".qmlc beside it) with a stand-in of the VantorelV5 components: controls as labelled\n"
    "frames, shapes as their shapes, hidden ones dashed, pages over the folder's template.\n"
    "Writes <document>.png at the screen's size, thumbs/ and pages/ (a page per screen with\n"
    "every control's label as a tooltip), the contact sheets index.png, index-2.png, ... and\n"
    "the gallery index.html into the pictures folder (default: <qmls folder>-preview, made\n"
    "when missing), and removes the pictures of documents that are gone.\n"
    "--prt <data file>  the project's data set: popup titles show its texts, captions the\n"
    "                   project's name and each screen's language.\n"
    "--diff             compare two folders: documents added, removed and changed (in text\n"
    "                   and in pixels) with the old, the new and a highlighted picture each,\n"
    "                   listed in index.html of the diff folder (default: <new folder>-diff).\n"
    "-j N               draw in N processes (default: one per core).\n"
    "-q, --quiet        print only failures (default: progress on a terminal and a summary).\n"
    "-h, --help         this text; --version the version.\n"
    "Exits with 0 when every document is drawn, 1 when a folder, data file or picture cannot\n"
    "be read or written or the stand-in module is missing, 2 on wrong arguments, 3 when the\n"
    "QML runtime modules are not installed, 4 when documents failed to load (listed with the\n"
    "engine's messages). With --diff: 0 when nothing changed, 1 when something did, 2 on\n"
    "errors.\n";

struct CommandLine {
  bool help = false, version = false, diff = false, quiet = false;
  std::vector<std::u16string> folders;
  std::u16string output, dataFile;
  int workers = 0;  // 0: one per core
  std::string error;
};

// Options before or after the folders; "--" ends the options.
CommandLine ParseCommandLine(int argc, char** argv) {
  CommandLine line;
  bool options = true;
  for (int i = 1; i < argc && line.error.empty(); ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 < argc) return argv[++i];
      line.error = arg + " needs a value";
      return nullptr;
    };
    if (!options || arg == "-" || !arg.starts_with("-")) {
      line.folders.push_back(prt::platform::WidenPath(arg));
    } else if (arg == "--") {
      options = false;
    } else if (arg == "-h" || arg == "--help" || arg == "--version") {
      (arg == "--version" ? line.version : line.help) = true;
    } else if (arg == "--diff" || arg == "-q" || arg == "--quiet") {
      (arg == "--diff" ? line.diff : line.quiet) = true;
    } else if (arg == "-o" || arg == "--prt") {
      if (const char* v = value()) (arg == "-o" ? line.output : line.dataFile) = prt::platform::WidenPath(v);
    } else if (arg == "-j") {
      const char* v = value();
      char* end = nullptr;
      const long n = v ? std::strtol(v, &end, 10) : 0;
      if (v && (*v == '\0' || *end != '\0' || n < 1 || n > 256)) line.error = "-j takes a number from 1 to 256";
      line.workers = static_cast<int>(n);
    } else {
      line.error = "unknown option '" + arg + "'";
    }
  }
  if (!line.error.empty() || line.help || line.version) return line;
  if (line.folders.size() != (line.diff ? 2u : 1u))
    line.error = line.diff ? "--diff takes two qmls folders, the old and the new" : "one qmls folder is needed";
  else if (line.diff && !line.dataFile.empty())
    line.error = "--prt does not go with --diff";
  return line;
}

std::string Text(const QString& text) { return text.toStdString(); }

// Qt's own messages, prefixed; its note that it chose a runtime folder itself
// says nothing about the screens and is left out.
void ForwardQtMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (!message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
    std::cerr << "qml-preview: " << Text(message) << std::endl;
  if (type == QtFatalMsg) std::abort();
}

}  // namespace

int main(int argc, char** argv) {
  // Offscreen unless a platform is chosen; the software renderer draws the
  // same pixels on every machine. The engine's disk cache is neither read
  // nor written.
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("QML_DISABLE_DISK_CACHE", "1", 1);
  qInstallMessageHandler(ForwardQtMessage);
  int qtArgc = 1;
  if (argc == 2 && std::strcmp(argv[1], "--worker") == 0 && std::getenv("QML_PREVIEW_WORKER") != nullptr) {
    prt::platform::PrepareProcess();
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QGuiApplication application(qtArgc, argv);
    const int status =
        prt::preview::RunWorker(prt::preview::StandInImportFolder(QCoreApplication::applicationDirPath()));
    // Every file is written and every answer sent: taking the engine apart
    // would only keep the run waiting.
    std::_Exit(status);
  }

  const CommandLine line = ParseCommandLine(argc, argv);
  if (line.help || line.version)
    return prt::PrintAnswer("qml-preview", line.version ? prt::VersionLine("qml-preview") : kUsage);
  if (!line.error.empty()) {
    std::cerr << "qml-preview: " << line.error << " (see qml-preview --help)\n";
    return 2;
  }
  QCoreApplication application(qtArgc, argv);
  const int trouble = line.diff ? 2 : 1;
  prt::preview::Options options;
  options.qmlsFolders = line.folders;
  options.dataFile = line.dataFile;
  options.outputFolder = line.output;
  if (options.outputFolder.empty()) {
    options.outputFolder = line.folders.back();
    while (options.outputFolder.size() > 1 && options.outputFolder.back() == u'/') options.outputFolder.pop_back();
    options.outputFolder += line.diff ? u"-diff" : u"-preview";
  }
  options.workers = line.workers > 0 ? line.workers : QThread::idealThreadCount();
  options.program = QCoreApplication::applicationFilePath();
  if (prt::preview::StandInImportFolder(QCoreApplication::applicationDirPath()).isEmpty()) {
    std::cerr << "qml-preview: the stand-in module VantorelV5 is not beside the program ("
              << Text(QCoreApplication::applicationDirPath()) << "/qml)\n";
    return trouble;
  }
  const bool terminal = !line.quiet && prt::platform::StandardErrorIsTerminal();
  options.progress = [&](size_t done, size_t count, const prt::preview::Screen& screen) {
    if (terminal) std::cerr << "\r\x1b[K";
    if (!line.quiet)
      for (const QString& warning : screen.warnings) std::cerr << "qml-preview: warning: " << Text(warning) << '\n';
    if (terminal) std::cerr << '[' << done << '/' << count << "] " << Text(screen.document) << std::flush;
  };

  QElapsedTimer clock;
  clock.start();
  const prt::preview::Outcome outcome =
      line.diff ? prt::preview::DiffFolders(options) : prt::preview::PreviewFolder(options);
  if (terminal) std::cerr << "\r\x1b[K";
  if (!outcome.fatal.isEmpty()) {
    std::cerr << "qml-preview: " << Text(outcome.fatal) << '\n';
    return outcome.modulesMissing && !line.diff ? 3 : trouble;
  }
  size_t failed = 0;
  for (const auto& screen : outcome.screens) failed += screen.errors.isEmpty() ? 0 : 1;
  if (!line.quiet) {
    std::cerr << outcome.screens.size() << " documents drawn in "
              << QString::number(clock.elapsed() / 1000.0, 'f', 1).toStdString() << " s, " << failed << " failed\n";
    if (outcome.removed > 0) std::cerr << "removed " << outcome.removed << " files of documents no longer present\n";
    if (!outcome.summary.isEmpty()) std::cerr << Text(outcome.summary) << '\n';
  }
  if (failed > 0) {
    std::cerr << "qml-preview: " << failed << " of " << outcome.screens.size() << " documents failed to load:\n";
    for (const auto& screen : outcome.screens)
      for (const QString& error : screen.errors) std::cerr << "  " << Text(error) << '\n';
  }
  if (line.diff) return outcome.differ ? 1 : 0;
  return failed > 0 ? 4 : 0;
}
