#pragma once
// qml-preview's work: every generated document of a folder loaded in a Qt
// Quick engine with the stand-in component module, drawn offscreen and saved
// as a PNG, plus a contact sheet and a gallery page. Needs a QGuiApplication.
#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

namespace prt::preview {

// Where the stand-in module VantorelV5 lies: the import folder beside the
// program (qml/, in the build tree) or in the package's data folder
// (../share/prt2qml/qml). Empty when neither holds it.
QString StandInImportFolder(const QString& programFolder);

struct Screen {
  QString document;    // file name, e.g. page16777216.qml
  QString loaded;      // "text" or "deciphered text"; empty when not read
  int width = 0;
  int height = 0;
  QStringList errors;  // why it has no picture
  QStringList warnings;  // what the engine said while it was drawn
};

struct Options {
  std::u16string qmlsFolder;
  std::u16string picturesFolder;
  QString importFolder;
  // Called after each document (index from 1) with what became of it.
  std::function<void(size_t index, size_t count, const Screen&)> progress;
};

struct Outcome {
  std::vector<Screen> screens;
  std::string fatal;      // an I/O failure or missing runtime modules: no pictures
  bool modulesMissing = false;
};

// Draws every .qml file of the folder into the pictures folder (made when
// missing): <name>.png per document, index.png and index.html.
Outcome PreviewFolder(const Options& options);

}  // namespace prt::preview
