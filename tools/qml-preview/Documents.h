#pragma once
// The documents of a qmls folder as the preview sees them: which there are,
// in which order, of which kind, and their text (deciphered when needed);
// and the folder every part of the preview writes into.
#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Process.h"
#include "platform/Limits.h"

namespace prt::preview {

QString Display(const std::u16string& path);
std::u16string Join(const std::u16string& folder, const QString& name);
QString BaseName(const QString& document);  // page16777216.qml -> page16777216
// Names and paths travel between the processes as the file system's bytes
// in hex, so any name, also one that is not UTF-8, arrives as it was.
QString ToWire(const std::u16string& path);
std::u16string FromWire(const QJsonValue& value);

// A document larger than this is refused before it is read: the preview
// holds it, and for an enciphered one its text too, as qml-decipher does.
inline constexpr uint64_t kDocumentBytes = limits::kDecipherInputBytes;

// Opens a folder of documents to list and read them through; the error
// names the folder and the system's reason.
QString OpenDocuments(const std::u16string& folder, platform::FolderHandle& handle);
// The .qml files of the folder in the order below.
QString ListDocuments(const platform::FolderHandle& folder, std::vector<QString>& documents);
// Why a folder without documents is refused: with a hint to its `qmls`
// when that holds documents (`nested` set), else to what prt2qml writes.
QString NoDocuments(const std::u16string& folder, bool& nested);
// Pages, templates, report pages, popups, then anything else, each by
// object reference.
void SortDocuments(std::vector<QString>& documents);

// "page", "template", "report page", "popup" from a screen's type code;
// empty for anything else.
QString KindName(const QString& typeCode);

// The screen a document's file name stands for: page16777216.qml is the
// page of object reference 16777216, tmpl.qml the template (reference 0).
// False for any other name.
bool ScreenOfName(const QString& document, QString& typeCode, qint64& reference);
// The root's name as the document gives it (its first controlName); empty
// without one.
QString RootName(const QByteArray& text);

struct DocumentText {
  QByteArray text;  // empty when it could not be read
  QString loaded;   // "text" or "deciphered text"
  QString error;
  bool unreadable = false;  // not a document: not a regular file, too large, no access, neither kind
};
// The document's text: the file as it is when it starts like QML, else its
// deciphered content. Only a regular file is read, never through a link.
DocumentText ReadDocument(const platform::FolderHandle& folder, const QString& document);

// A folder the preview writes into (the pictures or the diff folder), held
// by descriptor with its subfolders, since it may come from someone else:
// a subfolder that is a link is refused, and every file is written beside
// its place and renamed over it, which replaces a link, a hard link or a
// FIFO there instead of writing through it. Names are "x.png" or
// "<subfolder>/x.png"; any other is refused.
class OutputFolder {
 public:
  // Makes the folder and its `subfolders` when missing and opens them; a
  // link in the folder's own place is followed only with `followLink` (the
  // user named it). The error names the folder and the system's reason.
  QString Open(const std::u16string& folder, bool followLink, std::initializer_list<const char*> subfolders);
  const std::u16string& Path() const { return path; }
  bool Holds(const QString& name) const;
  // Whether `name` is a regular file (not a link).
  bool IsFile(const QString& name) const;
  QString Write(const QString& name, const QByteArray& bytes) const;
  // The regular file's bytes; empty when it is anything else or larger
  // than `maxBytes`.
  QByteArray Read(const QString& name, qint64 maxBytes) const;
  // Removes the regular file `name`; a link or folder there stays. True
  // when removed.
  bool Remove(const QString& name) const;

 private:
  // The descriptor of the folder `name` is in and its last component (one
  // component); -1 when it names nothing of this folder.
  int Place(const QString& name, std::string& leaf) const;

  std::u16string path;
  std::map<QString, platform::Descriptor> folders;  // by subfolder, the folder itself under ""
};

}  // namespace prt::preview
