#pragma once
// Drawing one document in a Qt Quick engine with the stand-in component
// module, offscreen: a page over its template, labels in a colour that reads
// on the screen's background, and the place and label of every control for
// the gallery. Needs a QGuiApplication; one Renderer per process.
#include <QColor>
#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Process.h"
#include "tools/qml-preview/Sandbox.h"
#include "tools/qml-preview/StandIns.h"

namespace prt::preview {

struct Control {
  QRect box;      // in the picture
  QString label;  // type code and text, as the frame shows it (maybe cut)
  bool hidden = false;
};

// What became of one document.
struct Screen {
  QString document;  // file name, e.g. page16777216.qml
  QString loaded;    // "text" or "deciphered text"; empty when not read
  int width = 0;
  int height = 0;
  QString typeCode;        // of the root: page, tmpl, rppg, pops
  QString name;            // the root's controlName
  qint64 object = 0;       // the root's objID
  QString language;        // which language its texts are in, for captions
  QString title;           // a popup's title text as drawn
  QString overTemplate;    // how the page's template was drawn, when it uses one
  int titleFonts = 0;      // entries of a popup title's font list
  int lastTitleFont = -1;  // the last of them with a face: the language it leaves
  QStringList errors;      // why it has no picture
  QStringList warnings;    // what the engine said while it was drawn
  std::vector<Control> controls;
};

class Renderer {
 public:
  // The engine with the stand-in module from `importFolder`, whose
  // documents may read files only below `documentFolders`, the module and
  // Qt's own modules, and reach no network.
  Renderer(const QString& importFolder, const QStringList& documentFolders);
  // Where the documents' text look-ups are answered (a data set).
  void SetTexts(RuntimeStandIn::TextLookup texts) { runtime->SetTexts(std::move(texts)); }
  // Why the QML runtime modules the documents import cannot be loaded;
  // empty when they can.
  QString MissingModules();
  // Draws the document of `folder` (a page over the folder's tmpl.qml);
  // the picture is null when it fails, with the reasons in `screen`.
  QImage Draw(const platform::FolderHandle& folder, Screen& screen, int language);

 private:
  QQmlComponent* Template(const platform::FolderHandle& folder, QString& problem);

  QTemporaryDir privateFolder;
  // Made before the engine that refers to them, and gone after it.
  std::unique_ptr<UrlGuard> guard;
  std::unique_ptr<NoNetwork> noNetwork;
  QQmlEngine engine;
  std::unique_ptr<QQuickWindow> window;
  RuntimeStandIn* runtime;
  Screen* current = nullptr;
  int drawings = 0;
  struct TemplateState {
    std::unique_ptr<QQmlComponent> component;
    QString problem;
  };
  std::map<std::u16string, TemplateState> templates;
};

// A small copy for the gallery and the contact sheet, and its size.
QImage Thumbnail(const QImage& picture);
QSize ThumbnailSize(QSize picture);

struct SheetCell {
  QByteArray thumbnail;      // PNG; empty when the document failed
  QString caption;           // two lines
};
// The contact sheet of up to `kSheetScreens` cells.
QImage ContactSheet(const std::vector<SheetCell>& cells);
inline constexpr size_t kSheetScreens = 100;

// The new picture faded, with every pixel that differs from the old one (or
// lies outside either) in magenta; `changed` counts them.
QImage Highlight(const QImage& before, const QImage& after, qint64& changed);

}  // namespace prt::preview
