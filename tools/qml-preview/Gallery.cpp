#include "tools/qml-preview/Gallery.h"

#include <QJsonArray>

#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "tools/qml-preview/Documents.h"

namespace prt::preview {

namespace {

const char kStyle[] =
    "<style>body{font-family:sans-serif;background:#303030;color:#eee}a{color:#9cf}"
    "figure{display:inline-block;margin:8px;vertical-align:top;width:200px}"
    "figure img{border:1px solid #888;background:#fff}figcaption{font-size:12px;overflow-wrap:anywhere}"
    ".failed{color:#f88}.warning{color:#fc8}pre{white-space:pre-wrap;max-width:900px}</style>\n";
const char kListName[] = ".qml-preview";
constexpr qint64 kListBytes = 64 << 20;  // four names per document

// HTML is filled in with one arg() call per pattern, never a chain: a
// later arg() would take a "%1" or a percent escape in a name filled in
// before for a place of its own.
QString N(qint64 number) { return QString::number(number); }

QString Head(const QString& title) {
  return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>\n")
             .arg(title.toHtmlEscaped()) +
         QString::fromLatin1(kStyle) + QStringLiteral("</head><body>\n");
}

QString Lines(const QStringList& lines, const char* type) {
  if (lines.isEmpty()) return {};
  return QStringLiteral("<pre class=\"%1\">%2</pre>\n")
      .arg(QString::fromLatin1(type), lines.join(QLatin1Char('\n')).toHtmlEscaped());
}

// The size, the language and how it was read, for a caption.
QString Details(const Screen& screen) {
  QStringList parts{N(screen.width) + QStringLiteral("×") + N(screen.height), screen.language};
  if (!screen.title.isEmpty()) parts << QStringLiteral("title “") + screen.title + QStringLiteral("”");
  if (!screen.overTemplate.isEmpty()) parts << screen.overTemplate;
  if (screen.loaded != QLatin1String("text")) parts << screen.loaded;
  parts.removeAll(QString());
  return parts.join(QStringLiteral(" · "));
}

}  // namespace

QString Href(const QString& name) {
  return QString::fromLatin1(
      QByteArray::fromStdString(platform::NarrowPath(name.toStdU16String())).toPercentEncoding("/"));
}

QString ScreenTitle(const Screen& screen) { return screen.name.isEmpty() ? screen.document : screen.name; }

QString KindAndFile(const Screen& screen) {
  const QString kind = KindName(screen.typeCode);
  return kind.isEmpty() ? screen.document : kind + QStringLiteral(" · ") + screen.document;
}

QString SheetName(size_t sheet) {
  return sheet == 0 ? QStringLiteral("index.png") : QStringLiteral("index-%1.png").arg(N(qint64(sheet) + 1));
}

QString ScreenPage(const Screen& screen, const QString& project, const QString& previous, const QString& next) {
  const QString base = BaseName(screen.document);
  QString html = Head(ScreenTitle(screen) + QStringLiteral(" – ") + project);
  html += QStringLiteral("<p><a href=\"../index.html\">all screens</a>");
  if (!previous.isEmpty()) html += QStringLiteral(" · <a href=\"%1.html\">previous</a>").arg(Href(BaseName(previous)));
  if (!next.isEmpty()) html += QStringLiteral(" · <a href=\"%1.html\">next</a>").arg(Href(BaseName(next)));
  html += QStringLiteral("</p>\n<h1>%1</h1>\n<p>%2 · %3</p>\n")
              .arg(ScreenTitle(screen).toHtmlEscaped(), KindAndFile(screen).toHtmlEscaped(),
                   Details(screen).toHtmlEscaped());
  html += Lines(screen.errors, "failed") + Lines(screen.warnings, "warning");
  if (!screen.errors.isEmpty()) return html + QStringLiteral("</body></html>\n");
  // Every control is an area of the picture whose tooltip is its whole
  // label, also where the picture had to cut it.
  html += QStringLiteral(
              "<img src=\"../%1.png\" width=\"%2\" height=\"%3\" usemap=\"#controls\" alt=\"%4\">\n"
              "<map name=\"controls\">\n")
              .arg(Href(base), N(screen.width), N(screen.height), ScreenTitle(screen).toHtmlEscaped());
  for (const Control& control : screen.controls) {
    const QRect& b = control.box;
    const QString tip = QStringLiteral("%1 · %2,%3 %4×%5%6")
                            .arg(control.label, N(b.x()), N(b.y()), N(b.width()), N(b.height()),
                                 control.hidden ? QStringLiteral(" · hidden") : QString());
    html += QStringLiteral("<area shape=\"rect\" coords=\"%1,%2,%3,%4\" title=\"%5\" alt=\"%5\">\n")
                .arg(N(b.left()), N(b.top()), N(b.right()), N(b.bottom()), tip.toHtmlEscaped());
  }
  return html + QStringLiteral("</map>\n</body></html>\n");
}

QString GalleryPage(const QString& project, const std::vector<Screen>& screens, size_t sheets) {
  qsizetype failed = 0;
  for (const Screen& screen : screens) failed += screen.errors.isEmpty() ? 0 : 1;
  QString html = Head(project + QStringLiteral(" – qml-preview"));
  html += QStringLiteral("<h1>%1</h1>\n<p>%2 screens, %3 failed")
              .arg(project.toHtmlEscaped(), N(qint64(screens.size())), N(failed));
  if (sheets > 0) {
    html += QStringLiteral(" · contact sheets:");
    for (size_t i = 0; i < sheets; ++i)
      html += QStringLiteral(" <a href=\"%1\">%2</a>").arg(SheetName(i), N(qint64(i) + 1));
  }
  html += QStringLiteral(" · <input id=\"filter\" type=\"search\" placeholder=\"filter by name\"></p>\n");
  for (const Screen& screen : screens) {
    const QString base = BaseName(screen.document);
    const QString caption =
        QStringLiteral("<b>%1</b><br>%2").arg(ScreenTitle(screen).toHtmlEscaped(), KindAndFile(screen).toHtmlEscaped());
    const QString key = (ScreenTitle(screen) + QLatin1Char(' ') + screen.document).toLower().toHtmlEscaped();
    if (screen.errors.isEmpty()) {
      const QSize thumb = ThumbnailSize(QSize(screen.width, screen.height));
      html += QStringLiteral(
                  "<figure data-name=\"%1\"><a href=\"pages/%2.html\"><img loading=\"lazy\" "
                  "src=\"thumbs/%2.png\" width=\"%3\" height=\"%4\" alt=\"%5\"></a>"
                  "<figcaption>%6<br>%7</figcaption></figure>\n")
                  .arg(key, Href(base), N(thumb.width()), N(thumb.height()), ScreenTitle(screen).toHtmlEscaped(),
                       caption, Details(screen).toHtmlEscaped());
    } else {
      html += QStringLiteral(
                  "<figure class=\"failed\" data-name=\"%1\"><figcaption>%2<br>failed to load</figcaption>%3"
                  "</figure>\n")
                  .arg(key, caption, Lines(screen.errors, "failed"));
    }
  }
  html += QStringLiteral(
      "<script>document.getElementById('filter').addEventListener('input', e => {\n"
      "  const words = e.target.value.toLowerCase();\n"
      "  for (const f of document.querySelectorAll('figure')) f.hidden = !f.dataset.name.includes(words);\n"
      "});</script>\n");
  return html + QStringLiteral("</body></html>\n");
}

QString OutputFiles::List(std::set<QString> planned) {
  listed = std::move(planned);
  listed.insert(QStringLiteral("index.html"));
  // Names as the file system's bytes, each ended by a NUL, so any name
  // comes back as it was; a list without one is of a run that ended each
  // with a newline.
  const QByteArray text = folder.Read(QString::fromLatin1(kListName), kListBytes);
  for (const QByteArray& line : text.split(text.contains('\0') ? '\0' : '\n')) {
    const QString name = QString::fromStdU16String(platform::WidenPath(line.toStdString()));
    if (folder.Holds(name) && (name.endsWith(QLatin1String(".png")) || name.endsWith(QLatin1String(".html"))))
      listed.insert(name);
  }
  return Write(listed);
}

void OutputFiles::Note(const QJsonObject& answer) {
  for (const QJsonValue& file : answer[QLatin1String("written")].toArray())
    written.insert(QString::fromStdU16String(FromWire(file)));
}

QString OutputFiles::Finish(const QString& index, size_t& removed) {
  if (QString error = folder.Write(QStringLiteral("index.html"), index.toUtf8()); !error.isEmpty()) return error;
  written.insert(QStringLiteral("index.html"));
  for (const QString& file : listed)
    if (!written.contains(file) && folder.Remove(file)) ++removed;
  return Write(written);
}

QString OutputFiles::Write(const std::set<QString>& files) const {
  QByteArray text;
  for (const QString& file : files)
    text += QByteArray::fromStdString(platform::NarrowPath(file.toStdU16String())) + '\0';
  return folder.Write(QString::fromLatin1(kListName), text);
}

}  // namespace prt::preview
