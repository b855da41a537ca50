#include "tools/qml-preview/Documents.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <cerrno>
#include <tuple>

#include "cipher/FileCipher.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Process.h"
#include "platform/Text.h"

namespace prt::preview {

namespace {

// The screen type codes in the order the converter writes their documents,
// with the kind each names.
constexpr std::pair<const char*, const char*> kScreenKinds[] = {
    {"page", "page"}, {"tmpl", "template"}, {"rppg", "report page"}, {"pops", "popup"}};

// The code's place in kScreenKinds; past its end for anything else.
size_t CodeRank(const QString& typeCode) {
  const auto* kind = std::find_if(std::begin(kScreenKinds), std::end(kScreenKinds),
                                  [&](const auto& k) { return typeCode == QLatin1String(k.first); });
  return static_cast<size_t>(kind - std::begin(kScreenKinds));
}

QString Reason(const std::error_code& error) { return QString::fromStdString(error.message()); }
QString Reason(int error) { return Reason(platform::ErrnoError(error)); }

// The name's bytes when it is one path component; empty otherwise.
std::string Component(const QString& name) {
  std::string bytes = platform::NarrowPath(name.toStdU16String());
  if (bytes == "." || bytes == ".." || bytes.find_first_of(std::string_view("/\0", 2)) != std::string::npos) return {};
  return bytes;
}

// Opens (and first makes, when missing) the folder `name` in `at`; without
// `follow` a link there fails with ELOOP.
int OpenFolderAt(int at, const std::string& name, bool follow) {
  if (::mkdirat(at, name.c_str(), 0777) != 0 && errno != EEXIST) return -1;
  const int fd = ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
  struct stat info {};
  // O_DIRECTORY answers ENOTDIR for a link.
  if (fd < 0 && !follow && ::fstatat(at, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode))
    errno = ELOOP;
  return fd;
}

}  // namespace

QString Display(const std::u16string& path) { return QString::fromStdU16String(path); }

std::u16string Join(const std::u16string& folder, const QString& name) {
  std::u16string path = folder;
  if (!path.empty() && path.back() != u'/') path += u'/';
  return path + name.toStdU16String();
}

QString ToWire(const std::u16string& path) {
  return QString::fromLatin1(QByteArray::fromStdString(platform::NarrowPath(path)).toHex());
}

std::u16string FromWire(const QJsonValue& value) {
  return platform::WidenPath(QByteArray::fromHex(value.toString().toLatin1()).toStdString());
}

QString BaseName(const QString& document) {
  return document.endsWith(QLatin1String(".qml")) ? document.chopped(4) : document;
}

QString KindName(const QString& typeCode) {
  const size_t rank = CodeRank(typeCode);
  return rank < std::size(kScreenKinds) ? QString::fromLatin1(kScreenKinds[rank].second) : QString();
}

QString OpenDocuments(const std::u16string& folder, platform::FolderHandle& handle) {
  auto opened = platform::FolderHandle::Open(folder);
  if (!opened)
    return QStringLiteral("cannot read the folder '") + Display(folder) + QStringLiteral("': ") + Reason(opened.Error().code);
  handle = std::move(*opened);
  return {};
}

QString ListDocuments(const platform::FolderHandle& folder, std::vector<QString>& documents) {
  const auto names = folder.List();
  if (!names)
    return QStringLiteral("cannot read the folder '") + Display(folder.Path()) + QStringLiteral("': ") +
           Reason(names.Error().code);
  documents.clear();
  for (const std::u16string& name : *names)
    if (name.ends_with(u".qml")) documents.push_back(QString::fromStdU16String(name));
  SortDocuments(documents);
  return {};
}

QString NoDocuments(const std::u16string& folder, bool& nested) {
  const std::u16string inside = Join(folder, QStringLiteral("qmls"));
  platform::FolderHandle handle;
  std::vector<QString> documents;
  nested = OpenDocuments(inside, handle).isEmpty() && ListDocuments(handle, documents).isEmpty() && !documents.empty();
  return QStringLiteral("no .qml documents in '%1'; ").arg(Display(folder)) +
         (nested ? QStringLiteral("did you mean '%1'?").arg(Display(inside))
                 : QStringLiteral("name the folder prt2qml wrote them into (qmls beside the data file)"));
}

bool ScreenOfName(const QString& document, QString& typeCode, qint64& reference) {
  const QString base = BaseName(document);
  typeCode = base.left(4);
  bool numbered = false;
  reference = base.mid(4).toLongLong(&numbered);
  if (base == QLatin1String("tmpl")) {
    reference = 0;
    return document == QLatin1String("tmpl.qml");
  }
  return numbered && document.endsWith(QLatin1String(".qml")) && CodeRank(typeCode) < std::size(kScreenKinds) &&
         base == typeCode + QString::number(reference);
}

QString RootName(const QByteArray& text) {
  // The converter writes the root's name right after its rootObjID; a
  // controlName further on is a control's.
  const qsizetype root = text.indexOf("\nrootObjID: ");
  const qsizetype line = root < 0 ? -1 : text.indexOf('\n', root + 1) + 1;
  if (line <= 0 || !text.mid(line, 13).startsWith("controlName: ")) return {};
  const qsizetype end = text.indexOf('\n', line);
  // A QML string literal; JSON reads the escapes the converter writes.
  const QJsonArray parsed =
      QJsonDocument::fromJson("[" + text.mid(line + 13, end < 0 ? -1 : end - line - 13) + "]").array();
  return parsed.size() == 1 ? parsed.first().toString() : QString();
}

void SortDocuments(std::vector<QString>& documents) {
  // page16777216.qml: the code's rank, then the object reference.
  auto key = [](const QString& name) {
    const QString base = BaseName(name);
    bool numbered = false;
    const qulonglong reference = base.mid(4).toULongLong(&numbered);
    return std::make_tuple(CodeRank(base.left(4)), numbered ? reference : 0, name);
  };
  std::sort(documents.begin(), documents.end(), [&](const QString& a, const QString& b) { return key(a) < key(b); });
}

DocumentText ReadDocument(const platform::FolderHandle& folder, const QString& document) {
  DocumentText result;
  const std::u16string name = document.toStdU16String();
  const auto info = folder.Stat(name);
  std::error_code error = info ? std::error_code() : info.Error().code;
  std::string bytes;
  // Refused before a byte is read; Read bounds one that grows meanwhile.
  if (!error && info->regular && info->size > kDocumentBytes) error = std::make_error_code(std::errc::file_too_large);
  if (!error) {
    auto read = folder.Read(name, kDocumentBytes);
    if (read) bytes = std::move(*read);
    else error = read.Error().code;
  }
  if (error) {
    result.unreadable = true;
    result.error = QStringLiteral("cannot read '") + Display(Join(folder.Path(), document)) + QStringLiteral("': ") +
                   (error == std::errc::file_too_large
                        ? QStringLiteral("larger than the %1 MiB a document may have").arg(kDocumentBytes >> 20)
                        : Reason(error));
  } else if (bytes.starts_with("import")) {
    result.loaded = QStringLiteral("text");
    result.text = QByteArray::fromStdString(bytes);
  } else if (const auto plain = DecipherContent(bytes); plain && plain->starts_with("import")) {
    result.loaded = QStringLiteral("deciphered text");
    result.text = QByteArray::fromStdString(*plain);
    // The cipher pads the text with up to three spaces to whole words.
    for (int pad = 0; pad < 3 && result.text.endsWith(' '); ++pad) result.text.chop(1);
  } else {
    result.unreadable = true;
    result.error = document + QStringLiteral(" is neither QML text nor an enciphered document");
  }
  return result;
}

QString OutputFolder::Open(const std::u16string& folder, bool followLink,
                           std::initializer_list<const char*> subfolders) {
  path = platform::EntryName(folder);
  auto failed = [&](const std::u16string& where) {
    return QStringLiteral("cannot open the folder '") + Display(where) + QStringLiteral("': ") +
           (errno == ELOOP ? Reason(platform::LinkNotFollowed()) : Reason(errno));
  };
  platform::Descriptor& top = folders[QString()];
  top.Reset(OpenFolderAt(AT_FDCWD, platform::NarrowPath(path), followLink));
  if (top.Get() < 0) return failed(path);
  for (const char* sub : subfolders) {
    platform::Descriptor& folder = folders[QString::fromLatin1(sub)];
    folder.Reset(OpenFolderAt(top.Get(), sub, false));
    if (folder.Get() < 0) return failed(Join(path, QString::fromLatin1(sub)));
  }
  return {};
}

int OutputFolder::Place(const QString& name, std::string& leaf) const {
  const qsizetype slash = name.indexOf(QLatin1Char('/'));
  const auto folder = folders.find(slash < 0 ? QString() : name.left(slash));
  if (slash == 0 || folder == folders.end()) return -1;
  leaf = Component(name.mid(slash + 1));
  return leaf.empty() ? -1 : folder->second.Get();
}

bool OutputFolder::Holds(const QString& name) const {
  std::string leaf;
  return Place(name, leaf) >= 0;
}

QString OutputFolder::Write(const QString& name, const QByteArray& bytes) const {
  static unsigned serial = 0;
  std::string leaf, temporary;
  const int at = Place(name, leaf);
  int error = at < 0 ? EINVAL : 0;
  platform::Descriptor file;
  while (!error && file.Get() < 0) {
    temporary = ".qml-preview-" + std::to_string(::getpid()) + '-' + std::to_string(serial++);
    file.Reset(::openat(at, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (file.Get() < 0 && errno != EEXIST) error = errno;
  }
  for (qsizetype done = 0; !error && done < bytes.size();) {
    const ssize_t n = ::write(file.Get(), bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
    if (n > 0)
      done += n;
    else if (n == 0 || errno != EINTR)
      error = n == 0 ? EIO : errno;
  }
  if (file.Get() >= 0) {
    if (const auto closed = file.Close(); !closed && !error) error = closed.Error().code.value();
    if (!error && ::renameat(at, temporary.c_str(), at, leaf.c_str()) != 0) error = errno;
    if (error) ::unlinkat(at, temporary.c_str(), 0);
  }
  if (!error) return {};
  return QStringLiteral("cannot write '") + Display(Join(path, name)) + QStringLiteral("': ") + Reason(error);
}

QByteArray OutputFolder::Read(const QString& name, qint64 maxBytes) const {
  std::string leaf;
  const int at = Place(name, leaf);
  platform::Descriptor file;
  if (at >= 0) file.Reset(::openat(at, leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat info {};
  if (file.Get() < 0 || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > maxBytes) return {};
  // One byte more, so a file that grew meanwhile shows it.
  QByteArray bytes(static_cast<qsizetype>(info.st_size) + 1, Qt::Uninitialized);
  qsizetype filled = 0;
  while (filled < bytes.size()) {
    const ssize_t n = ::read(file.Get(), bytes.data() + filled, static_cast<size_t>(bytes.size() - filled));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    filled += n;
  }
  if (filled > info.st_size) return {};
  bytes.truncate(filled);
  return bytes;
}

bool OutputFolder::IsFile(const QString& name) const {
  std::string leaf;
  const int at = Place(name, leaf);
  struct stat info {};
  return at >= 0 && ::fstatat(at, leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode);
}

bool OutputFolder::Remove(const QString& name) const {
  std::string leaf;
  const int at = Place(name, leaf);
  struct stat info {};
  return at >= 0 && ::fstatat(at, leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
         ::unlinkat(at, leaf.c_str(), 0) == 0;
}

}  // namespace prt::preview
