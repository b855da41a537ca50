#include "tools/qml-preview/Documents.h"

#include <png.h>

#include <QFileInfo>
#include <algorithm>
#include <tuple>

#include "cipher/FileCipher.h"
#include "platform/FileSystem.h"

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

// Empty when it cannot.
QByteArray EncodePng(const QImage& image) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  QByteArray bytes;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(
      png, &bytes,
      [](png_structp p, png_bytep data, size_t size) {
        static_cast<QByteArray*>(png_get_io_ptr(p))
            ->append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
      },
      nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(rgb.width()), static_cast<png_uint_32>(rgb.height()), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // Unfiltered rows at the fastest level take a quarter of the time of the
  // library's defaults, which took half of a document's drawing time; a
  // gradient comes out larger, a crowded screen smaller.
  png_set_compression_level(png, 1);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_write_info(png, info);
  for (int y = 0; y < rgb.height(); ++y) png_write_row(png, rgb.constScanLine(y));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return bytes;
}

}  // namespace

QString Display(const std::u16string& path) { return QString::fromStdU16String(path); }

std::u16string Join(const std::u16string& folder, const QString& name) {
  std::u16string path = folder;
  if (!path.empty() && path.back() != u'/') path += u'/';
  return path + name.toStdU16String();
}

QString BaseName(const QString& document) { return QFileInfo(document).completeBaseName(); }

QString KindName(const QString& typeCode) {
  const size_t rank = CodeRank(typeCode);
  return rank < std::size(kScreenKinds) ? QString::fromLatin1(kScreenKinds[rank].second) : QString();
}

QString ListDocuments(const std::u16string& folder, std::vector<QString>& documents) {
  std::vector<std::u16string> names;
  if (const std::error_code error = platform::ListFolder(folder, names))
    return QStringLiteral("cannot read the folder '%1': %2")
        .arg(Display(folder), QString::fromStdString(error.message()));
  documents.clear();
  for (const std::u16string& name : names)
    if (name.ends_with(u".qml")) documents.push_back(QString::fromStdU16String(name));
  SortDocuments(documents);
  return {};
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

DocumentText ReadDocument(const std::u16string& folder, const QString& document) {
  DocumentText result;
  const std::u16string path = Join(folder, document);
  std::string bytes;
  if (const std::error_code error = platform::ReadWholeFile(path, bytes)) {
    result.error = QStringLiteral("cannot read '%1': %2").arg(Display(path), QString::fromStdString(error.message()));
  } else if (bytes.starts_with("import")) {
    result.loaded = QStringLiteral("text");
    result.text = QByteArray::fromStdString(bytes);
  } else if (const auto plain = DecipherContent(bytes); plain && plain->starts_with("import")) {
    result.loaded = QStringLiteral("deciphered text");
    result.text = QByteArray::fromStdString(*plain);
  } else {
    result.error = document + QStringLiteral(" is neither QML text nor an enciphered document");
  }
  return result;
}

QString MakeFolders(const std::u16string& folder, std::initializer_list<const char*> subfolders) {
  std::vector<std::u16string> paths{folder};
  for (const char* sub : subfolders) paths.push_back(Join(folder, QString::fromLatin1(sub)));
  for (const std::u16string& path : paths)
    if (const std::error_code error = platform::MakeFolder(path); error && error != std::errc::file_exists)
      return QStringLiteral("cannot make the folder '%1': %2")
          .arg(Display(path), QString::fromStdString(error.message()));
  return {};
}

QString WriteFile(const std::u16string& path, const QByteArray& bytes) {
  const std::error_code error =
      platform::WriteWholeFile(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
  if (!error) return {};
  return QStringLiteral("cannot write '%1': %2").arg(Display(path), QString::fromStdString(error.message()));
}

QString SavePng(const QImage& image, const std::u16string& path) {
  const QByteArray bytes = image.isNull() ? QByteArray() : EncodePng(image);
  if (bytes.isEmpty()) return QStringLiteral("cannot encode '%1'").arg(Display(path));
  return WriteFile(path, bytes);
}

}  // namespace prt::preview
