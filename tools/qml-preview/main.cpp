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
#include "tools/qml-preview/Preview.h"

namespace {

constexpr const char* kUsage =
    "Usage: qml-preview <qmls folder> [-o <pictures folder>]\n"
    "Loads every .qml document of the folder (plain or enciphered; always the text, never a\n"
    ".qmlc beside it) with a stand-in of the VantorelV5 components: each control a labelled\n"
    "frame at its geometry, hidden ones dashed. Writes <document>.png at the screen's size,\n"
    "the contact sheet index.png and the gallery index.html into the pictures folder\n"
    "(default: <qmls folder>-preview, made when missing). One progress line per document\n"
    "on standard error.\n"
    "-h or --help shows this text, --version the version (as the first argument, when no\n"
    "folder has that name). Exits with 0 when every document is drawn, 1 on wrong arguments,\n"
    "2 when a folder or picture cannot be read or written or the stand-in module is missing,\n"
    "3 when the QML runtime modules are not installed, 4 when documents failed to load\n"
    "(listed with the engine's messages).\n";

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
  const std::string first = argc > 1 ? argv[1] : "";
  if (argc == 2 && (first == "-h" || first == "--help" || first == "--version") &&
      !prt::platform::EntryExists(prt::platform::WidenPath(first)))
    return prt::PrintAnswer("qml-preview", first == "--version" ? prt::VersionLine("qml-preview") : kUsage);
  if (!(argc == 2 || (argc == 4 && std::string(argv[2]) == "-o"))) {
    std::cerr << kUsage;
    return 1;
  }

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
  options.qmlsFolder = prt::platform::WidenPath(first);
  if (argc == 4) {
    options.picturesFolder = prt::platform::WidenPath(argv[3]);
  } else {
    options.picturesFolder = options.qmlsFolder;
    while (options.picturesFolder.size() > 1 && options.picturesFolder.back() == u'/')
      options.picturesFolder.pop_back();
    options.picturesFolder += u"-preview";
  }
  options.importFolder = prt::preview::StandInImportFolder(QCoreApplication::applicationDirPath());
  if (options.importFolder.isEmpty()) {
    std::cerr << "qml-preview: the stand-in module VantorelV5 is not beside the program ("
              << Text(QCoreApplication::applicationDirPath()) << "/qml)\n";
    return 2;
  }
  options.progress = [](size_t index, size_t count, const prt::preview::Screen& screen) {
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
    return outcome.modulesMissing ? 3 : 2;
  }
  size_t failed = 0;
  for (const auto& screen : outcome.screens) failed += screen.errors.isEmpty() ? 0 : 1;
  if (failed == 0) return 0;
  std::cerr << "qml-preview: " << failed << " of " << outcome.screens.size() << " documents failed to load:\n";
  for (const auto& screen : outcome.screens)
    for (const QString& error : screen.errors) std::cerr << "  " << Text(error) << '\n';
  return 4;
}
