#pragma once
// The pictures folder around the pictures: the gallery page, a page per
// screen with its controls' full labels as tooltips, captions, and the list
// of the files a run wrote, so the next run removes those of documents that
// are gone.
#include <QString>
#include <set>
#include <string>
#include <vector>

#include "tools/qml-preview/Drawing.h"

namespace prt::preview {

// The screen's name, or its file when it has none (a template).
QString ScreenTitle(const Screen& screen);
// "page · page16777216.qml".
QString KindAndFile(const Screen& screen);
// The size, the language and how it was read, for a caption.
QString Details(const Screen& screen);

QString ScreenPage(const Screen& screen, const QString& project, const QString& previous, const QString& next);
QString GalleryPage(const QString& project, const std::vector<Screen>& screens, size_t sheets);
// index.png, index-2.png, ...
QString SheetName(size_t sheet);

// The files (relative to the folder) a run wrote, in the folder's
// `.qml-preview` list. Only names the preview makes are ever taken from it:
// a plain name or one below thumbs/ or pages/, ending in .png or .html.
std::set<QString> ReadWritten(const std::u16string& folder);
QString WriteWritten(const std::u16string& folder, const std::set<QString>& files);
// Removes what `before` lists and `now` does not; answers how many went.
size_t RemoveStale(const std::u16string& folder, const std::set<QString>& before, const std::set<QString>& now);

}  // namespace prt::preview
