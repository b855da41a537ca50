#include "tools/qml-preview/Preview.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <memory>

#include "cipher/FileCipher.h"
#include "platform/FileSystem.h"
#include "tools/qml-preview/StandIns.h"

namespace prt::preview {

namespace {

// The frame colour of ControlFrame.qml; the dash of hidden controls uses it.
const QColor kFrameColour(0x00, 0x50, 0xc8);
// Larger screens are refused: a picture must stay within bounded memory.
constexpr int kMaxSide = 4096;
// The contact sheet shows the first screens only, in cells of this size.
constexpr size_t kSheetScreens = 400;
constexpr int kCellWidth = 200;
constexpr int kThumbHeight = 150;
constexpr int kCaptionHeight = 18;

QString Display(const std::u16string& path) { return QString::fromStdU16String(path); }

std::u16string Join(const std::u16string& folder, const QString& name) {
  std::u16string path = folder;
  if (!path.empty() && path.back() != u'/') path += u'/';
  return path + name.toStdU16String();
}

QString Reason(const std::error_code& error) { return QString::fromStdString(error.message()); }

QString ErrorText(const QString& document, const QQmlError& error) {
  QString text = document;
  if (error.line() > 0) text += QStringLiteral(":%1:%2").arg(error.line()).arg(error.column());
  return text + QStringLiteral(": ") + error.description();
}

// The document's text: the file as it is when it starts like QML, else its
// deciphered content. Empty with an error in `screen` otherwise.
QByteArray DocumentText(const std::u16string& path, Screen& screen) {
  std::string bytes;
  if (const std::error_code error = platform::ReadWholeFile(path, bytes)) {
    screen.errors << QStringLiteral("cannot read '%1': %2").arg(Display(path), Reason(error));
    return {};
  }
  if (bytes.starts_with("import")) {
    screen.loaded = QStringLiteral("text");
    return QByteArray::fromStdString(bytes);
  }
  if (const auto plain = DecipherContent(bytes); plain && plain->starts_with("import")) {
    screen.loaded = QStringLiteral("deciphered text");
    return QByteArray::fromStdString(*plain);
  }
  screen.errors << QStringLiteral("%1 is neither QML text nor an enciphered document").arg(screen.document);
  return {};
}

std::error_code SavePng(const QImage& image, const std::u16string& path) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) return std::make_error_code(std::errc::not_enough_memory);
  return platform::WriteWholeFile(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

QString HtmlEscaped(const QString& text) { return text.toHtmlEscaped(); }

class ContactSheet {
 public:
  explicit ContactSheet(size_t screens) {
    const size_t shown = std::max<size_t>(1, std::min(screens, kSheetScreens));
    columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(shown))));
    const int rows = static_cast<int>((shown + columns - 1) / columns);
    sheet = QImage(columns * kCellWidth, rows * (kThumbHeight + kCaptionHeight), QImage::Format_RGB32);
    sheet.fill(QColor(0x30, 0x30, 0x30));
  }

  void Add(size_t index, const Screen& screen, const QImage* picture) {
    if (index >= kSheetScreens) return;
    const int x = static_cast<int>(index % columns) * kCellWidth;
    const int y = static_cast<int>(index / columns) * (kThumbHeight + kCaptionHeight);
    QPainter painter(&sheet);
    const QRect cell(x + 4, y + 4, kCellWidth - 8, kThumbHeight - 8);
    if (picture != nullptr) {
      const QImage thumb = picture->scaled(cell.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
      painter.drawImage(cell.x() + (cell.width() - thumb.width()) / 2,
                        cell.y() + (cell.height() - thumb.height()) / 2, thumb);
    } else {
      painter.fillRect(cell, QColor(0x80, 0x10, 0x10));
      painter.setPen(Qt::white);
      painter.drawText(cell, Qt::AlignCenter, QStringLiteral("failed to load"));
    }
    painter.setPen(Qt::white);
    painter.drawText(QRect(x, y + kThumbHeight, kCellWidth, kCaptionHeight), Qt::AlignCenter,
                     screen.document);
  }

  const QImage& Image() const { return sheet; }

 private:
  int columns = 1;
  QImage sheet;
};

QString GalleryPage(const std::vector<Screen>& screens) {
  QString html = QStringLiteral(
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>qml-preview</title>\n"
      "<style>body{font-family:sans-serif;background:#303030;color:#eee}"
      "figure{display:inline-block;margin:8px;vertical-align:top}"
      "img{max-width:320px;max-height:240px;border:1px solid #888}"
      ".failed{color:#f88}pre{white-space:pre-wrap;max-width:640px}</style></head><body>\n"
      "<p><a href=\"index.png\">contact sheet</a></p>\n");
  for (const Screen& screen : screens) {
    const QString name = HtmlEscaped(screen.document);
    if (screen.errors.isEmpty()) {
      const QString png = HtmlEscaped(QFileInfo(screen.document).completeBaseName() + QStringLiteral(".png"));
      html += QStringLiteral("<figure><a href=\"%1\"><img src=\"%1\" alt=\"%2\"></a>"
                             "<figcaption>%2 (%3&times;%4, %5)</figcaption></figure>\n")
                  .arg(png, name)
                  .arg(screen.width)
                  .arg(screen.height)
                  .arg(HtmlEscaped(screen.loaded));
    } else {
      html += QStringLiteral("<figure class=\"failed\">%1 failed to load<pre>%2</pre></figure>\n")
                  .arg(name, HtmlEscaped(screen.errors.join(QLatin1Char('\n'))));
    }
  }
  return html + QStringLiteral("</body></html>\n");
}

// Loads and draws one document; the picture is null when it fails.
QImage Draw(QQmlEngine& engine, const QString& privateFolder, const QByteArray& text, Screen& screen) {
  // The text is given under a name in a private folder, so no .qmlc beside
  // the real document can take its place.
  QQmlComponent component(&engine);
  component.setData(text, QUrl::fromLocalFile(privateFolder + QLatin1Char('/') + screen.document));
  for (const QQmlError& error : component.errors()) screen.errors << ErrorText(screen.document, error);
  if (!screen.errors.isEmpty()) return {};

  QQuickWindow window;
  std::unique_ptr<QObject> object(component.create());
  for (const QQmlError& error : component.errors()) screen.errors << ErrorText(screen.document, error);
  auto* root = qobject_cast<QQuickItem*>(object.get());
  if (root == nullptr) {
    if (screen.errors.isEmpty()) screen.errors << screen.document + QStringLiteral(": the document is not an item");
    return {};
  }
  const double width = std::ceil(root->width());
  const double height = std::ceil(root->height());
  // Written this way round, a NaN size is refused too.
  if (!(width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide)) {
    screen.errors << QStringLiteral("%1: the screen size %2x%3 is outside 1..%4")
                         .arg(screen.document)
                         .arg(width)
                         .arg(height)
                         .arg(kMaxSide);
    return {};
  }
  screen.width = static_cast<int>(width);
  screen.height = static_cast<int>(height);
  // A popup keeps its place on the panel in x and y; the picture starts at it.
  root->setPosition(QPointF(0, 0));
  window.resize(screen.width, screen.height);
  window.setColor(Qt::white);
  root->setParentItem(window.contentItem());
  window.show();
  QImage picture = window.grabWindow();
  object.reset();
  if (picture.isNull()) screen.errors << screen.document + QStringLiteral(": the window could not be drawn");
  return picture.convertToFormat(QImage::Format_RGB32);
}

}  // namespace

QString StandInImportFolder(const QString& programFolder) {
  for (const QString& candidate : {programFolder + QStringLiteral("/qml"),
                                   programFolder + QStringLiteral("/../share/prt2qml/qml")}) {
    if (QFileInfo::exists(candidate + QStringLiteral("/VantorelV5/qmldir")))
      return QDir::cleanPath(QDir(candidate).absolutePath());
  }
  return {};
}

Outcome PreviewFolder(const Options& options) {
  Outcome outcome;
  std::vector<std::u16string> names;
  if (const std::error_code error = platform::ListFolder(options.qmlsFolder, names)) {
    outcome.fatal = "cannot read the folder '" + Display(options.qmlsFolder).toStdString() + "': " + error.message();
    return outcome;
  }
  std::erase_if(names, [](const std::u16string& name) { return !name.ends_with(u".qml"); });

  if (const std::error_code error = platform::MakeFolder(options.picturesFolder);
      error && error != std::errc::file_exists) {
    outcome.fatal = "cannot make the folder '" + Display(options.picturesFolder).toStdString() + "': " + error.message();
    return outcome;
  }
  QTemporaryDir privateFolder;
  if (!privateFolder.isValid()) {
    outcome.fatal = "cannot make a temporary folder: " + privateFolder.errorString().toStdString();
    return outcome;
  }

  QQmlEngine engine;
  engine.addImportPath(options.importFolder);
  engine.rootContext()->setContextProperty(QStringLiteral("OrvixQG"), new RuntimeStandIn);
  engine.addImageProvider(QStringLiteral("OrvixImageProvider"), new PlaceholderImages);
  engine.addImageProvider(QStringLiteral("qmlPreviewPattern"), new DashPattern(kFrameColour));
  engine.setOutputWarningsToStandardError(false);
  Screen* current = nullptr;
  QObject::connect(&engine, &QQmlEngine::warnings, [&current](const QList<QQmlError>& warnings) {
    if (current == nullptr) return;
    for (const QQmlError& warning : warnings) current->warnings << ErrorText(current->document, warning);
  });

  // Without the runtime's own modules every document would fail alike.
  {
    QQmlComponent probe(&engine);
    probe.setData("import QtQuick\nimport QtQuick.Controls\nimport Qt.labs.qmlmodels\n"
                  "import VantorelV5\nItem {}\n",
                  QUrl::fromLocalFile(privateFolder.path() + QStringLiteral("/probe.qml")));
    if (probe.isError()) {
      outcome.modulesMissing = true;
      outcome.fatal = "the QML runtime modules cannot be loaded (scripts/ensure-deps.sh installs them): " +
                      probe.errors().value(0).description().toStdString();
      return outcome;
    }
  }

  ContactSheet sheet(names.size());
  outcome.screens.reserve(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    Screen& screen = outcome.screens.emplace_back();
    screen.document = Display(names[i]);
    current = &screen;
    const QByteArray text = DocumentText(Join(options.qmlsFolder, screen.document), screen);
    const QImage picture = text.isEmpty() ? QImage() : Draw(engine, privateFolder.path(), text, screen);
    current = nullptr;
    engine.trimComponentCache();
    if (screen.errors.isEmpty()) {
      const std::u16string png =
          Join(options.picturesFolder, QFileInfo(screen.document).completeBaseName() + QStringLiteral(".png"));
      if (const std::error_code error = SavePng(picture, png)) {
        outcome.fatal = "cannot write '" + Display(png).toStdString() + "': " + error.message();
        return outcome;
      }
    }
    sheet.Add(i, screen, screen.errors.isEmpty() ? &picture : nullptr);
    if (options.progress) options.progress(i + 1, names.size(), screen);
  }

  const std::u16string sheetPath = Join(options.picturesFolder, QStringLiteral("index.png"));
  if (const std::error_code error = SavePng(sheet.Image(), sheetPath)) {
    outcome.fatal = "cannot write '" + Display(sheetPath).toStdString() + "': " + error.message();
    return outcome;
  }
  const std::u16string htmlPath = Join(options.picturesFolder, QStringLiteral("index.html"));
  const QByteArray html = GalleryPage(outcome.screens).toUtf8();
  if (const std::error_code error = platform::WriteWholeFile(htmlPath, std::string_view(html.constData(), html.size()))) {
    outcome.fatal = "cannot write '" + Display(htmlPath).toStdString() + "': " + error.message();
    return outcome;
  }
  return outcome;
}

}  // namespace prt::preview
