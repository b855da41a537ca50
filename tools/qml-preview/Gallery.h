#pragma once
// The pictures folder around the pictures: the gallery page, a page per
// screen with its controls' full labels as tooltips, captions, and the list
// of the files a run wrote, so the next run removes those of documents that
// are gone.
#include <QJsonObject>
#include <QString>
#include <set>
#include <string>
#include <vector>

#include "tools/qml-preview/Documents.h"
#include "tools/qml-preview/Screen.h"

namespace prt::preview {

// A file name as a link: its bytes percent-encoded, so any name, also one
// that is not UTF-8, stays one link to that file.
QString Href(const QString& name);
// The screen's name, or its file when it has none (a template).
QString ScreenTitle(const Screen& screen);
// "page · page16777216.qml".
QString KindAndFile(const Screen& screen);

QString ScreenPage(const Screen& screen, const QString& project, const QString& previous, const QString& next);
QString GalleryPage(const QString& project, const std::vector<Screen>& screens, size_t sheets);
// index.png, index-2.png, ...
QString SheetName(size_t sheet);

// The files (relative to the folder) a run writes into its output folder,
// kept in the folder's `.qml-preview` list so that the next run removes
// those of documents that are gone. The list may come from someone else:
// only names the preview makes are taken from it (one component, or one
// below a subfolder of the output folder, ending in .png or .html), and
// only regular files are removed, through the folder's descriptors.
class OutputFiles {
 public:
  explicit OutputFiles(const OutputFolder& folder) : folder(folder) {}
  // Lists what the last run wrote and what this one may write (`planned`
  // and index.html) before anything is written, so a run that stops half
  // way leaves nothing unlisted.
  QString List(std::set<QString> planned);
  // Notes the files a worker's answer says it wrote.
  void Note(const QJsonObject& answer);
  // Notes a file the last run wrote that stays as it is.
  void Keep(const QString& file) { written.insert(file); }
  // Writes index.html, removes what was listed before and not written now
  // (`removed` counts them) and lists what this run wrote.
  QString Finish(const QString& index, size_t& removed);

 private:
  QString Write(const std::set<QString>& files) const;

  const OutputFolder& folder;
  std::set<QString> listed, written;
};

}  // namespace prt::preview
