#pragma once
// The documents of a qmls folder as the preview sees them: which there are,
// in which order, of which kind, and their text (deciphered when needed);
// and the few file helpers every part of the preview writes with.
#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace prt::preview {

QString Display(const std::u16string& path);
std::u16string Join(const std::u16string& folder, const QString& name);
QString BaseName(const QString& document);  // page16777216.qml -> page16777216

// The .qml files of the folder in the order below; the error names the
// folder and the system's reason.
QString ListDocuments(const std::u16string& folder, std::vector<QString>& documents);
// Pages, templates, report pages, popups, then anything else, each by
// object reference.
void SortDocuments(std::vector<QString>& documents);

// "page", "template", "report page", "popup" from a screen's type code;
// empty for anything else.
QString KindName(const QString& typeCode);

struct DocumentText {
  QByteArray text;  // empty when it could not be read
  QString loaded;   // "text" or "deciphered text"
  QString error;
};
// The document's text: the file as it is when it starts like QML, else its
// deciphered content.
DocumentText ReadDocument(const std::u16string& folder, const QString& document);

// Makes the folder and its `subfolders` when missing; the error names the
// folder and the system's reason, as do those below.
QString MakeFolders(const std::u16string& folder, std::initializer_list<const char*> subfolders);
// Writes the file whole.
QString WriteFile(const std::u16string& path, const QByteArray& bytes);
QString SavePng(const QImage& image, const std::u16string& path);

}  // namespace prt::preview
