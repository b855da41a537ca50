#pragma once
// What became of a drawn document, as the gallery, the diff and the record
// see it, and the sizes of its thumbnail and contact sheet.
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

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

// A thumbnail's size for a picture of `picture`'s.
inline QSize ThumbnailSize(QSize picture) { return picture.scaled(QSize(192, 142), Qt::KeepAspectRatio); }
// Screens per contact sheet.
inline constexpr size_t kSheetScreens = 50;
// Columns of a contact sheet of `cells` screens, near a square; each row of
// them is a band of its PNG file, made again only where a cell changed.
inline size_t SheetColumns(size_t cells) {
  return static_cast<size_t>(std::ceil(std::sqrt(static_cast<double>(std::clamp<size_t>(cells, 1, kSheetScreens)))));
}
inline size_t SheetBands(size_t cells) {
  const size_t columns = SheetColumns(cells);
  return (std::clamp<size_t>(cells, 1, kSheetScreens) + columns - 1) / columns;
}

}  // namespace prt::preview
