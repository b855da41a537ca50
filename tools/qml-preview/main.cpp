// qml-preview: pictures of the documents prt2qml generated, drawn by a real
// Qt Quick engine offscreen with a stand-in of the runtime's component module.
#include <QCoreApplication>
#include <QGuiApplication>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <cstdlib>
#include <iostream>
#include <string>

#include "cli/ProgramInfo.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "tools/cli/CommandLine.h"
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
  const auto request = prt::preview::ParseCommandLine(argc, argv);
  if (!request) return request.Error();

  // Offscreen unless a platform is chosen; the software renderer draws the
  // same pixels on every machine. The engine's disk cache is neither read
  // nor written.
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("QML_DISABLE_DISK_CACHE", "1", 1);
  QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
  qInstallMessageHandler(ForwardQtMessage);
  int qtArgc = 1;
  QGuiApplication application(qtArgc, argv);

  prt::preview::Options options;
  options.qmlsFolder = request->qmlsFolder;
  options.picturesFolder = request->picturesFolder;
  options.importFolder = prt::preview::StandInImportFolder(QCoreApplication::applicationDirPath());
  if (options.importFolder.isEmpty()) {
    std::cerr << "qml-preview: the stand-in module VantorelV5 is not beside the program ("
              << Text(QCoreApplication::applicationDirPath()) << "/qml)\n";
    return prt::cli::kIncomplete;
  }
  options.progress = [quiet = request->quiet](size_t index, size_t count, const prt::preview::Screen& screen) {
    if (quiet) return;
    std::cerr << '[' << index << '/' << count << "] " << Text(screen.document);
    if (screen.errors.isEmpty())
      std::cerr << ": " << screen.width << 'x' << screen.height << ", loaded the " << Text(screen.loaded) << '\n';
    else
      std::cerr << ": failed to load\n";
    for (const QString& warning : screen.warnings) std::cerr << "  warning: " << Text(warning) << '\n';
  };

  const prt::preview::Outcome outcome = prt::preview::PreviewFolder(options);
  if (!outcome.fatal.empty()) {
    std::cerr << "qml-preview: " << outcome.fatal << '\n';
    return outcome.modulesMissing ? prt::cli::kIncomplete : prt::cli::kRefused;
  }
  size_t failed = 0;
  for (const auto& screen : outcome.screens) failed += screen.errors.isEmpty() ? 0 : 1;
  if (failed == 0) return prt::cli::kDone;
  std::cerr << "qml-preview: " << failed << " of " << outcome.screens.size() << " documents failed to load:\n";
  for (const auto& screen : outcome.screens)
    for (const QString& error : screen.errors) std::cerr << "  " << Text(error) << '\n';
  return prt::cli::kSomeFailed;
}
