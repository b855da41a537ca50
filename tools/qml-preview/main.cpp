// qml-preview: pictures of the documents prt2qml generated, drawn by real Qt
// Quick engines offscreen (qml-preview-worker) with a stand-in of the runtime's component module,
// and the visual diff of two versions.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <new>
#include <string>

#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "tools/options/CommandLine.h"
#include "tools/qml-preview/Preview.h"
#include "tools/qml-preview/PreviewCommandLine.h"

namespace {

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
  // The workers draw offscreen unless a platform is chosen, and neither
  // read nor write the engine's disk cache (WorkerMain.cpp).
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("QML_DISABLE_DISK_CACHE", "1", 1);
  qInstallMessageHandler(ForwardQtMessage);
  int qtArgc = 1;
  const auto request = prt::preview::ParseCommandLine(argc, argv);
  if (!request) return request.Error();
  QCoreApplication application(qtArgc, argv);
  // --diff answers like diff: 1 means the folders differ, 2 any trouble.
  const int refused = request->diff ? prt::options::kUsage : prt::options::kRefused;
  const QString folder = QCoreApplication::applicationDirPath();
  prt::preview::Options options{*request, QCoreApplication::applicationFilePath(),
                                prt::preview::WorkerProgram(folder), prt::preview::StandInImportFolder(folder)};
  if (options.module.isEmpty() || options.worker.isEmpty()) {
    std::cerr << "qml-preview: "
              << (options.module.isEmpty() ? "the stand-in module VantorelV5 is not beside the program (" + Text(folder) +
                                                 "/qml)\n"
                                           : "the drawing program qml-preview-worker is not beside the program (" +
                                                 Text(folder) + ")\n");
    return request->diff ? refused : prt::options::kIncomplete;
  }
  const bool quiet = request->quiet;
  const bool terminal = !quiet && prt::platform::StandardErrorIsTerminal();
  options.progress = [&](size_t done, size_t count, const prt::preview::Screen& screen) {
    if (terminal) std::cerr << "\r\x1b[K";
    if (!quiet)
      for (const QString& warning : screen.warnings) std::cerr << "qml-preview: warning: " << Text(warning) << '\n';
    if (terminal) std::cerr << '[' << done << '/' << count << "] " << Text(screen.document) << std::flush;
  };

  QElapsedTimer clock;
  clock.start();
  prt::preview::Outcome outcome;
  try {
    outcome = request->diff ? prt::preview::DiffFolders(options) : prt::preview::PreviewFolder(options);
  } catch (const std::bad_alloc&) {
    outcome.fatal = QStringLiteral("out of memory");
  }
  if (terminal) std::cerr << "\r\x1b[K";
  if (!outcome.fatal.isEmpty()) {
    std::cerr << "qml-preview: " << Text(outcome.fatal) << '\n';
    return outcome.modulesMissing && !request->diff ? prt::options::kIncomplete : refused;
  }
  size_t failed = 0;
  for (const auto& screen : outcome.screens) failed += screen.errors.isEmpty() ? 0 : 1;
  if (!quiet) {
    std::cerr << outcome.screens.size() - outcome.kept << " documents drawn";
    if (outcome.kept > 0) std::cerr << ", " << outcome.kept << " unchanged since the last run,";
    std::cerr << " in " << QString::number(clock.elapsed() / 1000.0, 'f', 1).toStdString() << " s, " << failed
              << " failed\n";
    if (outcome.removed > 0) std::cerr << "removed " << outcome.removed << " files of documents no longer present\n";
    if (!outcome.summary.isEmpty()) std::cerr << Text(outcome.summary) << '\n';
  }
  if (failed > 0) {
    std::cerr << "qml-preview: " << failed << " of " << outcome.screens.size() << " documents failed to load:\n";
    for (const auto& screen : outcome.screens)
      for (const QString& error : screen.errors) std::cerr << "  " << Text(error) << '\n';
  }
  // The page to open, whole, so a terminal can follow it; as the bytes of
  // the path, which need not be UTF-8.
  std::error_code error;
  const std::filesystem::path output(prt::platform::NarrowPath(request->output));
  if (!quiet)
    std::cout << "Open " << (std::filesystem::absolute(output, error) / "index.html").lexically_normal().native()
              << std::endl;
  if (request->diff) return outcome.differ ? 1 : 0;
  return failed > 0 ? prt::options::kSomeFailed : prt::options::kDone;
}
