#pragma once
// Drawing one document (qml-preview-worker) in a Qt Quick engine with the stand-in component
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
#include <optional>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Process.h"
#include "tools/qml-preview/Sandbox.h"
#include "tools/qml-preview/Screen.h"
#include "tools/qml-preview/StandIns.h"

namespace prt::preview {

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
  // Makes the folder the documents are drawn under, before the first is
  // (made late, so that a worker stopped before it draws leaves nothing);
  // why it cannot be made.
  QString MakePrivateFolder();
  // Draws the document of `folder` (a page over the folder's tmpl.qml);
  // the picture is null when it fails, with the reasons in `screen`.
  QImage Draw(const platform::FolderHandle& folder, Screen& screen, int language);

 private:
  QQmlComponent* Template(const platform::FolderHandle& folder, QString& problem);

  std::optional<QTemporaryDir> privateFolder;
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

// A small copy for the gallery and the contact sheet (ThumbnailSize).
QImage Thumbnail(const QImage& picture);

struct SheetCell {
  QImage thumbnail;          // null when the document failed
  QString caption;           // two lines
};
// The size of a band (a row of cells) of the contact sheet of `cells`
// cells (SheetBands of them).
QSize SheetBandSize(size_t cells);
// Band `band` of the contact sheet of up to `kSheetScreens` cells: only
// that row's cells are looked at.
QImage ContactSheetBand(const std::vector<SheetCell>& cells, size_t band);

// The new picture faded, with every pixel that differs from the old one (or
// lies outside either) in magenta; `changed` counts them.
QImage Highlight(const QImage& before, const QImage& after, qint64& changed);

}  // namespace prt::preview
