// The visual diff of two qmls folders: documents added, removed and changed,
// found by their text (deciphered when needed), then drawn and compared
// pixel by pixel. A page whose own text is the same is drawn too when the
// template under it changed. Screens are paired by kind and name where
// that is unambiguous, so one deleted before others does not make those
// after it look changed: their object references shift, nothing else.
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QJsonArray>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "tools/qml-preview/DataSet.h"
#include "tools/qml-preview/Documents.h"
#include "tools/qml-preview/Gallery.h"
#include "tools/qml-preview/Preview.h"
#include "tools/qml-preview/Workers.h"

namespace prt::preview {

namespace {

// A conversion of a data file for the diff that takes longer is given up.
constexpr int kConvertSeconds = 600;

// Converts `dataFile` with the converter beside this program (else the one
// on the PATH) in the private folder `into`: its data set's files (the
// data file, <name>.pwx, <name>.*.cnk) are copied there first, so the
// converter's working copy and documents go there too, not beside the
// user's file. The documents end up in `into`/qmls.
QString Convert(const std::u16string& dataFile, const QTemporaryDir& into) {
  const std::u16string path = platform::EntryName(dataFile);
  const auto [parent, file] = platform::SplitFolder(path);
  const std::u16string stem = file.ends_with(u".prt") ? file.substr(0, file.size() - 4) : file;
  const QString shown = Display(dataFile);
  if (!into.isValid()) return QStringLiteral("cannot convert '%1': its folder or a private one cannot be read").arg(shown);
  auto to = platform::FolderHandle::Open(into.path().toStdU16String());
  auto from = platform::FolderHandle::Open(parent);
  auto names = from ? from->List() : Fail(from.Error());
  if (!to || !names) return QStringLiteral("cannot convert '%1': its folder or a private one cannot be read").arg(shown);
  for (const std::u16string& name : *names) {
    const bool part =
        name == file || name == stem + u".pwx" || (name.starts_with(stem + u".") && name.ends_with(u".cnk"));
    if (!part) continue;
    if (name != file) {
      const auto info = from->Stat(name);
      if (!info || !info->regular) continue;
    }
    const auto copied = to->CopyIn(Join(parent, QString::fromStdU16String(name)), name);
    if (!copied || *copied)
      return QStringLiteral("cannot copy '%1' to convert it: %2")
          .arg(Display(Join(parent, QString::fromStdU16String(name))),
               !copied ? QString::fromStdString(copied.Error().Reason()) : QStringLiteral("it changed while read"));
  }
  QString converter = QCoreApplication::applicationDirPath() + QStringLiteral("/prt2qml");
  if (!QFileInfo(converter).isExecutable()) converter = QStandardPaths::findExecutable(QStringLiteral("prt2qml"));
  if (converter.isEmpty()) return QStringLiteral("cannot convert '%1': prt2qml is not installed").arg(shown);
  QProcess process;
  process.setWorkingDirectory(into.path());
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(converter, {QStringLiteral("./") + QString::fromStdU16String(file)});
  const bool ended = process.waitForFinished(kConvertSeconds * 1000);
  if (!ended) {
    process.kill();
    process.waitForFinished();
  }
  if (ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) return {};
  return QStringLiteral("cannot convert '%1' (%2): %3")
      .arg(shown, converter,
           ended ? QString::fromLocal8Bit(process.readAll()).trimmed()
                 : QStringLiteral("not done within %1 s").arg(kConvertSeconds));
}

// Lines of a changed document shown around the first difference.
constexpr qsizetype kExcerptLines = 40;

enum class Change { None, Added, Removed, Pixels, TextOnly, Template, Renumbered, Count };

struct Entry {
  QString documents[2];  // in the old, the new folder; empty where absent
  QString base;          // of its pictures' names
  Change change = Change::None;
  bool usesTemplate = false;
  QString excerpt;  // the changed lines
  Screen screens[2];
  qint64 pixels = -1;  // that differ; -1 when not both were drawn
  bool drawn = false;
  bool Present(int side) const { return !documents[side].isEmpty(); }
};

// Drawn to show how it changed (a page over a changed template to see
// whether it did).
bool Drawn(Change change) { return change != Change::None && change != Change::Renumbered; }

// Lines that hold object references, which shift for every screen and
// control after one added or removed.
constexpr const char* kReferenceKeys[] = {"id: ", "objectName: ", "objID: ", "rootObjID: "};

QByteArray WithoutReferences(const QByteArray& text) {
  QByteArray kept;
  kept.reserve(text.size());
  for (const QByteArray& line : text.split('\n')) {
    if (std::any_of(std::begin(kReferenceKeys), std::end(kReferenceKeys),
                    [&](const char* key) { return line.startsWith(key); }))
      continue;
    kept += line;
    kept += '\n';
  }
  return kept;
}

// What pairing and comparing need of a document; its text is read again
// only when it changed.
struct Facts {
  QByteArray text, content;  // hashes of the whole text and of it without references
  QString code, name;        // of the screen its file name and root give
  QString identity;          // type code and name; empty when they do not tell
  bool usesTemplate = false;
  bool failed = false;  // read, but neither kind
};

// Pairs the documents of both folders: by identity where it is unique on
// each side, the others by file name; `lists` are in the converter's order.
std::vector<Entry> Pair(const std::vector<QString> (&lists)[2], const std::map<QString, Facts> (&facts)[2]) {
  std::map<QString, std::vector<QString>> byIdentity[2];
  for (int side = 0; side < 2; ++side)
    for (const auto& [document, fact] : facts[side])
      if (!fact.identity.isEmpty()) byIdentity[side][fact.identity].push_back(document);
  std::map<QString, QString> partner[2];  // old -> new, new -> old
  auto pair = [&](const QString& before, const QString& after) {
    partner[0][before] = after;
    partner[1][after] = before;
  };
  for (const auto& [identity, olds] : byIdentity[0])
    if (const auto news = byIdentity[1].find(identity);
        olds.size() == 1 && news != byIdentity[1].end() && news->second.size() == 1)
      pair(olds.front(), news->second.front());
  for (const QString& document : lists[0])
    if (!partner[0].contains(document) && facts[1].contains(document) && !partner[1].contains(document))
      pair(document, document);
  std::vector<Entry> entries;
  for (const QString& document : lists[1]) {
    const auto before = partner[1].find(document);
    entries.push_back({{before == partner[1].end() ? QString() : before->second, document}});
  }
  for (const QString& document : lists[0])
    if (!partner[0].contains(document)) entries.push_back({{document, QString()}});
  // Pictures are named after the new document, a removed one after the
  // old, and kept apart from a new one that took its name.
  std::set<QString> bases;
  for (Entry& entry : entries) {
    entry.base = BaseName(entry.documents[entry.Present(1) ? 1 : 0]);
    while (!bases.insert(entry.base).second) entry.base += QStringLiteral("-removed");
  }
  return entries;
}

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
    const Screen& shown = entry.screens[entry.Present(1) ? 1 : 0];
    html += QStringLiteral("<section><h3>%1</h3><p>%2")
                .arg(ScreenTitle(shown).toHtmlEscaped(), KindAndFile(shown).toHtmlEscaped());
    if (entry.Present(0) && entry.Present(1) && entry.documents[0] != entry.documents[1])
      html += QStringLiteral(", was %1").arg(entry.documents[0].toHtmlEscaped());
    if (entry.pixels > 0) html += QStringLiteral(" · %1 pixels differ").arg(QString::number(entry.pixels));
    html += QStringLiteral("</p>\n");
    for (int side = 0; side < 2; ++side) {
      const char* name = side == 0 ? "old" : "new";
      if (!entry.screens[side].errors.isEmpty())
        html += QStringLiteral("<pre class=\"failed\">%1: %2</pre>\n")
                    .arg(QLatin1String(name), entry.screens[side].errors.join(QLatin1Char('\n')).toHtmlEscaped());
      else if (entry.Present(side) && change != Change::Renumbered)
        html +=
            Figure(entry.base + QLatin1Char('-') + QLatin1String(name) + QStringLiteral(".png"), QLatin1String(name));
    }
    if (entry.pixels > 0) html += Figure(entry.base + QStringLiteral("-diff.png"), QStringLiteral("changed pixels"));
    if (!entry.excerpt.isEmpty()) html += QStringLiteral("<pre>%1</pre>").arg(entry.excerpt.toHtmlEscaped());
    html += QStringLiteral("</section>\n");
  }
  return html;
}

}  // namespace

Outcome DiffFolders(const Options& given) {
  Outcome outcome;
  // A data file is converted into a private folder first, never beside it
  // (the preview only reads), and drawn with its texts and languages.
  Options options = given;
  QTemporaryDir converted[2];
  std::map<QString, int> starts[2];
  QString titles[2] = {Display(options.folders[0]), Display(options.folders[1])};
  for (int side = 0; side < 2; ++side) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(platform::NarrowPath(given.folders[side]), error)) continue;
    if (outcome.Failed(Convert(given.folders[side], converted[side]))) return outcome;
    auto data = DataSet::Open(given.folders[side]);
    if (!data) {
      outcome.fatal = data.Error();
      return outcome;
    }
    options.dataFiles[side] = given.folders[side];
    options.folders[side] = (converted[side].path() + QStringLiteral("/qmls")).toStdU16String();
    starts[side] = data->StartLanguages();
    titles[side] = data->ProjectName() + QStringLiteral(" (") + Display(given.folders[side]) + QLatin1Char(')');
  }
  platform::FolderHandle folders[2];
  std::vector<QString> lists[2];
  for (int side = 0; side < 2; ++side) {
    bool nested = false;
    if (outcome.Failed(OpenDocuments(options.folders[side], folders[side])) ||
        outcome.Failed(ListDocuments(folders[side], lists[side])))
      return outcome;
    // A folder that holds the documents one level down was meant instead.
    if (const QString problem = lists[side].empty() ? NoDocuments(options.folders[side], nested) : QString();
        nested && outcome.Failed(problem))
      return outcome;
  }

  // The texts decide what changed; the pictures then show how.
  std::map<QString, Facts> facts[2];
  QByteArray templates[2];
  for (int side = 0; side < 2; ++side)
    for (const QString& document : lists[side]) {
      const DocumentText text = ReadDocument(folders[side], document);
      // What cannot be read is trouble, not a change, also when both sides
      // are alike.
      if (text.unreadable && outcome.Failed(text.error)) return outcome;
      Facts& fact = facts[side][document];
      fact.text = QCryptographicHash::hash(text.text, QCryptographicHash::Sha256);
      fact.content = QCryptographicHash::hash(WithoutReferences(text.text), QCryptographicHash::Sha256);
      fact.usesTemplate = text.text.contains("\nuseTemplate: true\n");
      fact.failed = !text.error.isEmpty();
      QString code;
      qint64 reference = 0;
      fact.name = RootName(text.text);
      if (ScreenOfName(document, code, reference)) fact.code = code;
      if (!fact.name.isEmpty() && !fact.code.isEmpty()) fact.identity = code + QLatin1Char(' ') + fact.name;
      if (document == QLatin1String("tmpl.qml")) templates[side] = fact.content;
    }
  std::vector<Entry> entries = Pair(lists, facts);
  std::vector<QString> documents;  // the workers' list: the old names, then the new
  for (const std::vector<QString>& list : lists) documents.insert(documents.end(), list.begin(), list.end());
  for (Entry& entry : entries) {
    if (!entry.Present(0) || !entry.Present(1)) {
      entry.change = entry.Present(0) ? Change::Removed : Change::Added;
      continue;
    }
    const Facts &before = facts[0][entry.documents[0]], &after = facts[1][entry.documents[1]];
    entry.usesTemplate = before.usesTemplate || after.usesTemplate;
    const bool renamed = entry.documents[0] != entry.documents[1];
    if (before.content == after.content && !before.failed && !after.failed) {
      if (renamed || before.text != after.text) entry.change = Change::Renumbered;
      continue;
    }
    entry.change = Change::Pixels;  // or TextOnly, once drawn
    QByteArray texts[2];
    for (int side = 0; side < 2; ++side) {
      texts[side] = ReadDocument(folders[side], entry.documents[side]).text;
      // Renumbered too: its references would hide the change.
      if (renamed) texts[side] = WithoutReferences(texts[side]);
    }
    entry.excerpt = Excerpt(texts[0], texts[1]);
  }
  for (Entry& entry : entries)
    if (entry.change == Change::None && entry.usesTemplate && templates[0] != templates[1])
      entry.change = Change::Template;

  OutputFolder out;
  OutputFiles files(out);
  std::set<QString> planned;
  for (const Entry& entry : entries)
    if (Drawn(entry.change))
      for (const char* suffix : {"-old.png", "-new.png", "-diff.png"})
        planned.insert(entry.base + QLatin1String(suffix));
  if (outcome.Failed(out.Open(options.output, options.outputNamed, {})) ||
      outcome.Failed(files.List(std::move(planned))))
    return outcome;

  size_t jobs = 0, done = 0;
  for (const Entry& entry : entries) jobs += Drawn(entry.change) ? 1 : 0;
  WorkerPool pool(options, documents, QString(), [&](const QJsonObject& job, const QJsonObject& answer) {
    files.Note(answer);
    Entry& entry = entries[static_cast<size_t>(job[QLatin1String("diff")].toInt())];
    for (int side = 0; side < 2; ++side) {
      const QJsonValue screen = answer[QLatin1String(side == 0 ? "old" : "new")];
      if (screen.isObject()) entry.screens[side] = ScreenFromJson(screen.toObject());
      if (answer.contains(QLatin1String("crashed")) && entry.Present(side))
        entry.screens[side].errors << entry.documents[side] + QStringLiteral(": ") +
                                          answer[QLatin1String("crashed")].toString();
    }
    entry.pixels = answer[QLatin1String("changed")].toInteger(-1);
    if (options.progress) options.progress(++done, jobs, entry.screens[entry.Present(1) ? 1 : 0]);
  });
  std::map<QString, int> places[2];  // in `documents`
  for (size_t i = 0; i < documents.size(); ++i) places[i < lists[0].size() ? 0 : 1][documents[i]] = static_cast<int>(i);
  for (size_t i = 0; i < entries.size(); ++i) {
    Entry& entry = entries[i];
    if (!Drawn(entry.change)) {
      // Not drawn: its screens as the texts tell, for the lists.
      for (int side = 0; side < 2; ++side) {
        const Facts& fact = facts[side][entry.documents[side]];
        entry.screens[side].document = entry.documents[side];
        entry.screens[side].name = fact.name;
        entry.screens[side].typeCode = fact.code;
      }
      continue;
    }
    entry.drawn = true;
    pool.Add({{"diff", static_cast<int>(i)},
              {"old", entry.Present(0) ? places[0][entry.documents[0]] : -1},
              {"new", entry.Present(1) ? places[1][entry.documents[1]] : -1},
              {"base", ToWire(entry.base.toStdU16String())},
              {"keep", entry.change != Change::Template},
              {"oldLanguage", starts[0].contains(entry.documents[0]) ? starts[0][entry.documents[0]] : -1},
              {"newLanguage", starts[1].contains(entry.documents[1]) ? starts[1][entry.documents[1]] : -1}});
  }
  if (outcome.Failed(pool.Run(outcome.modulesMissing))) return outcome;

  size_t counts[size_t(Change::Count)] = {};
  for (Entry& entry : entries) {
    if (entry.pixels == 0) entry.change = entry.change == Change::Template ? Change::None : Change::TextOnly;
    ++counts[static_cast<int>(entry.change)];
    if (!entry.drawn) continue;
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
               QString::number(counts[int(Change::None)])) +
      QStringLiteral(", %1 renumbered").arg(QString::number(counts[int(Change::Renumbered)]));
  outcome.differ = counts[int(Change::None)] != entries.size();

  const QString title = titles[0] + QStringLiteral(" → ") + titles[1];
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
  html += Section(entries, Change::Renumbered, QStringLiteral("Renumbered, otherwise the same"));
  outcome.Failed(files.Finish(html + "</body></html>\n", outcome.removed));
  return outcome;
}

}  // namespace prt::preview
