// qml-preview-worker: the drawing process qml-preview starts (Workers.h), a
// program of its own so that qml-preview itself loads none of Qt Quick.
#include <QGuiApplication>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "platform/Process.h"
#include "tools/qml-preview/Sandbox.h"
#include "tools/qml-preview/Workers.h"

namespace {

void ForwardQtMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (!message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
    std::cerr << "qml-preview: " << message.toStdString() << std::endl;
  if (type == QtFatalMsg) std::abort();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "--worker") != 0 || std::getenv("QML_PREVIEW_WORKER") == nullptr) {
    std::cerr << "qml-preview-worker: draws for qml-preview, which starts it\n";
    return 2;
  }
  // Offscreen unless a platform is chosen; the software renderer draws the
  // same pixels on every machine. The engine's disk cache is neither read
  // nor written.
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("QML_DISABLE_DISK_CACHE", "1", 1);
  qInstallMessageHandler(ForwardQtMessage);
  prt::platform::PrepareProcess();
  prt::preview::LimitWorkerMemory();
  QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
  int qtArgc = 1;
  QGuiApplication application(qtArgc, argv);
  const int status = prt::preview::RunWorker();
  // Every file is written and every answer sent: taking the engine apart
  // would only keep the run waiting.
  std::_Exit(status);
}
