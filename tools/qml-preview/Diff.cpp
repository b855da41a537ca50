// The visual diff of two qmls folders: documents added, removed and changed,
// found by their text (deciphered when needed), then drawn and compared
// pixel by pixel. A page whose own text is the same is drawn too when the
// template under it changed.
#include <QJsonArray>
#include <algorithm>
#include <set>

#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Process.h"
#include "tools/qml-preview/Documents.h"
#include "tools/qml-preview/Gallery.h"
#include "tools/qml-preview/Preview.h"
#include "tools/qml-preview/Workers.h"

namespace prt::preview {

namespace {

// Lines of a changed document shown around the first difference.
constexpr qsizetype kExcerptLines = 40;

enum class Change { None, Added, Removed, Pixels, TextOnly, Template };

struct Entry {
  QString document;
  Change change = Change::None;
  bool present[2] = {};  // in the old, the new folder
  bool usesTemplate = false;
  QString excerpt;  // the changed lines
  Screen screens[2];
  qint64 pixels = -1;  // that differ; -1 when not both were drawn
};

// The lines between the common beginning and the common end, as "- " and
// "+ " lines (at most kExcerptLines of each).
QString Excerpt(const QByteArray& before, const QByteArray& after) {
  const QList<QByteArray> a = before.split('\n'), b = after.split('\n');
  qsizetype head = 0, tail = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
  while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) ++tail;
  QString text = QStringLiteral("@@ line %1\n").arg(QString::number(head + 1));
  auto add = [&](const QList<QByteArray>& lines, const char* mark) {
    const qsizetype end = lines.size() - tail;
    for (qsizetype i = head; i < end && i < head + kExcerptLines; ++i)
      text += QLatin1String(mark) + QString::fromUtf8(lines[i]) + QLatin1Char('\n');
    if (end - head > kExcerptLines)
      text +=
          QLatin1String(mark) + QStringLiteral("... %1 more lines\n").arg(QString::number(end - head - kExcerptLines));
  };
  add(a, "- ");
  add(b, "+ ");
  return text;
}

QString Figure(const QString& picture, const QString& label) {
  return QStringLiteral("<figure><a href=\"%1\"><img src=\"%1\" alt=\"%2\"></a><figcaption>%2</figcaption></figure>")
      .arg(Href(picture), label);
}

QString Section(const std::vector<Entry>& entries, Change change, const QString& heading) {
  const qsizetype count =
      std::count_if(entries.begin(), entries.end(), [&](const Entry& e) { return e.change == change; });
  if (count == 0) return {};
  QString html = QStringLiteral("<h2>%1 (%2)</h2>\n").arg(heading, QString::number(count));
  for (const Entry& entry : entries) {
    if (entry.change != change) continue;
    const Screen& shown = entry.screens[entry.present[1] ? 1 : 0];
    const QString base = BaseName(entry.document);
    html += QStringLiteral("<section><h3>%1</h3><p>%2")
                .arg(ScreenTitle(shown).toHtmlEscaped(), KindAndFile(shown).toHtmlEscaped());
    if (entry.pixels > 0) html += QStringLiteral(" · %1 pixels differ").arg(QString::number(entry.pixels));
    html += QStringLiteral("</p>\n");
    for (int side = 0; side < 2; ++side) {
      const char* name = side == 0 ? "old" : "new";
      if (!entry.screens[side].errors.isEmpty())
        html += QStringLiteral("<pre class=\"failed\">%1: %2</pre>\n")
                    .arg(QLatin1String(name), entry.screens[side].errors.join(QLatin1Char('\n')).toHtmlEscaped());
      else if (entry.present[side])
        html += Figure(base + QLatin1Char('-') + QLatin1String(name) + QStringLiteral(".png"), QLatin1String(name));
    }
    if (entry.pixels > 0) html += Figure(base + QStringLiteral("-diff.png"), QStringLiteral("changed pixels"));
    if (!entry.excerpt.isEmpty()) html += QStringLiteral("<pre>%1</pre>").arg(entry.excerpt.toHtmlEscaped());
    html += QStringLiteral("</section>\n");
  }
  return html;
}

}  // namespace

Outcome DiffFolders(const Options& options) {
  Outcome outcome;
  platform::FolderHandle folders[2];
  std::vector<QString> lists[2];
  for (int side = 0; side < 2; ++side)
    if (outcome.Failed(OpenDocuments(options.folders[side], folders[side])) ||
        outcome.Failed(ListDocuments(folders[side], lists[side])))
      return outcome;
  const std::set<QString> present[2] = {{lists[0].begin(), lists[0].end()}, {lists[1].begin(), lists[1].end()}};
  std::set<QString> names = present[0];
  names.insert(lists[1].begin(), lists[1].end());
  std::vector<QString> documents(names.begin(), names.end());
  SortDocuments(documents);

  // The texts decide what changed; the pictures then show how.
  std::vector<Entry> entries(documents.size());
  QByteArray templates[2];
  for (size_t i = 0; i < documents.size(); ++i) {
    Entry& entry = entries[i];
    entry.document = documents[i];
    DocumentText texts[2];
    for (int side = 0; side < 2; ++side) {
      entry.present[side] = present[side].contains(entry.document);
      if (!entry.present[side]) continue;
      texts[side] = ReadDocument(folders[side], entry.document);
      // What cannot be read is trouble, not a change, also when both sides
      // are alike.
      if (texts[side].unreadable && outcome.Failed(texts[side].error)) return outcome;
      if (entry.document == QLatin1String("tmpl.qml")) templates[side] = texts[side].text;
      entry.usesTemplate = entry.usesTemplate || texts[side].text.contains("\nuseTemplate: true\n");
    }
    if (!entry.present[0] || !entry.present[1]) {
      entry.change = entry.present[0] ? Change::Removed : Change::Added;
    } else if (texts[0].text != texts[1].text || !texts[0].error.isEmpty() || !texts[1].error.isEmpty()) {
      entry.change = Change::Pixels;  // or TextOnly, once drawn
      entry.excerpt = Excerpt(texts[0].text, texts[1].text);
    }
  }
  for (Entry& entry : entries)
    if (entry.change == Change::None && entry.usesTemplate && templates[0] != templates[1])
      entry.change = Change::Template;

  OutputFolder out;
  OutputFiles files(out);
  std::set<QString> planned;
  for (const Entry& entry : entries)
    if (entry.change != Change::None)
      for (const char* suffix : {"-old.png", "-new.png", "-diff.png"})
        planned.insert(BaseName(entry.document) + QLatin1String(suffix));
  if (outcome.Failed(out.Open(options.output, options.outputNamed, {})) ||
      outcome.Failed(files.List(std::move(planned))))
    return outcome;

  size_t jobs = 0, done = 0;
  for (const Entry& entry : entries) jobs += entry.change != Change::None ? 1 : 0;
  WorkerPool pool(options, documents, QString(), [&](const QJsonObject& job, const QJsonObject& answer) {
    files.Note(answer);
    Entry& entry = entries[static_cast<size_t>(job[QLatin1String("diff")].toInt())];
    for (int side = 0; side < 2; ++side) {
      const QJsonValue screen = answer[QLatin1String(side == 0 ? "old" : "new")];
      if (screen.isObject()) entry.screens[side] = ScreenFromJson(screen.toObject());
      if (answer.contains(QLatin1String("crashed")) && entry.present[side])
        entry.screens[side].errors << entry.document + QStringLiteral(": ") +
                                          answer[QLatin1String("crashed")].toString();
    }
    entry.pixels = answer[QLatin1String("changed")].toInteger(-1);
    if (options.progress) options.progress(++done, jobs, entry.screens[entry.present[1] ? 1 : 0]);
  });
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& entry = entries[i];
    if (entry.change == Change::None) continue;
    pool.Add({{"diff", static_cast<int>(i)},
              {"old", entry.present[0]},
              {"new", entry.present[1]},
              {"keep", entry.change != Change::Template}});
  }
  if (outcome.Failed(pool.Run(outcome.modulesMissing))) return outcome;

  size_t counts[6] = {};
  for (Entry& entry : entries) {
    if (entry.pixels == 0) entry.change = entry.change == Change::Template ? Change::None : Change::TextOnly;
    ++counts[static_cast<int>(entry.change)];
    for (int side = 0; side < 2; ++side) {
      Screen screen = entry.screens[side];
      if (screen.errors.isEmpty() && screen.document.isEmpty()) continue;
      for (QString& error : screen.errors) error = QLatin1String(side == 0 ? "old " : "new ") + error;
      outcome.screens.push_back(std::move(screen));
    }
  }
  const size_t changed = counts[int(Change::Pixels)] + counts[int(Change::TextOnly)] + counts[int(Change::Template)];
  outcome.summary =
      QStringLiteral(
          "%1 added, %2 removed, %3 changed (%4 in pixels, %5 in text only, %6 through the "
          "template), %7 unchanged")
          .arg(QString::number(counts[int(Change::Added)]), QString::number(counts[int(Change::Removed)]),
               QString::number(changed), QString::number(counts[int(Change::Pixels)]),
               QString::number(counts[int(Change::TextOnly)]), QString::number(counts[int(Change::Template)]),
               QString::number(counts[int(Change::None)]));
  outcome.differ = counts[int(Change::None)] != entries.size();

  const QString title = Display(options.folders[0]) + QStringLiteral(" → ") + Display(options.folders[1]);
  QString html = QStringLiteral(
                     "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>\n"
                     "<style>body{font-family:sans-serif}figure{display:inline-block;margin:4px;max-width:32%}"
                     "img{max-width:100%;border:1px solid #888}.failed{color:#a00}pre{background:#f4f4f4}"
                     "</style></head><body>\n<h1>%1</h1>\n<p>%2</p>\n")
                     .arg(title.toHtmlEscaped(), outcome.summary.toHtmlEscaped());
  html += Section(entries, Change::Pixels, QStringLiteral("Changed"));
  html += Section(entries, Change::Template, QStringLiteral("Changed through the template"));
  html += Section(entries, Change::TextOnly, QStringLiteral("Changed in text only, the same pictures"));
  html += Section(entries, Change::Added, QStringLiteral("Added"));
  html += Section(entries, Change::Removed, QStringLiteral("Removed"));
  outcome.Failed(files.Finish(html + "</body></html>\n", outcome.removed));
  return outcome;
}

}  // namespace prt::preview
