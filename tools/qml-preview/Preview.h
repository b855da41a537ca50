#pragma once
// qml-preview's two jobs: the gallery of a qmls folder (a picture, thumbnail
// and page per document, contact sheets, index.html) and the visual diff of
// two folders. Both draw in worker processes (Workers.h). Need a
// QCoreApplication.
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "tools/qml-preview/Screen.h"
#include "tools/qml-preview/PreviewCommandLine.h"

namespace prt::preview {

// Where the stand-in module VantorelV5 lies: the import folder beside the
// program (qml/, in the build tree) or in the package's data folder
// (../share/prt2qml/qml). Empty when neither holds it.
QString StandInImportFolder(const QString& programFolder);
// Where the drawing program qml-preview-worker lies: beside the program
// (the build tree) or in the package's folder of helper programs
// (../libexec/prt2qml). Empty when neither holds it.
QString WorkerProgram(const QString& programFolder);

// What the command line asked for, and how to do it.
struct Options : Request {
  QString program;  // this program
  QString worker;   // the drawing program, started as the workers
  QString module;   // the stand-in module's import folder
  // --diff of data files: each one's data set, its documents converted
  // into a private folder (empty for a qmls folder)
  std::u16string dataFiles[2];
  // Called as each document is done (count from 1).
  std::function<void(size_t done, size_t count, const Screen& screen)> progress;
};

struct Outcome {
  std::vector<Screen> screens;  // gallery: every document; diff: those drawn
  QString fatal;                // a folder that cannot be read or written, missing modules: the run stopped
  // Keeps the first fatal problem; answers whether there is one.
  bool Failed(const QString& problem) {
    if (fatal.isEmpty()) fatal = problem;
    return !fatal.isEmpty();
  }
  bool modulesMissing = false;
  size_t removed = 0;  // stale files removed
  size_t kept = 0;     // documents whose files the last run drew from the same inputs
  // diff: what changed, for the summary; `differ` decides the exit status.
  QString summary;
  bool differ = false;
};

Outcome PreviewFolder(const Options& options);
Outcome DiffFolders(const Options& options);

}  // namespace prt::preview
