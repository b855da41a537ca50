#include "tools/qml-preview/Preview.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "Version.h"
#include "platform/ContentHash.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Process.h"
#include "tools/qml-preview/DataSet.h"
#include "tools/qml-preview/Documents.h"
#include "tools/qml-preview/Gallery.h"
#include "tools/qml-preview/Workers.h"

namespace prt::preview {

QString StandInImportFolder(const QString& programFolder) {
  for (const QString& candidate :
       {programFolder + QStringLiteral("/qml"), programFolder + QStringLiteral("/../share/prt2qml/qml")}) {
    if (QFileInfo::exists(candidate + QStringLiteral("/VantorelV5/qmldir")))
      return QDir::cleanPath(QDir(candidate).absolutePath());
  }
  return {};
}

QString WorkerProgram(const QString& programFolder) {
  for (const QString& candidate : {programFolder + QStringLiteral("/qml-preview-worker"),
                                   programFolder + QStringLiteral("/../libexec/prt2qml/qml-preview-worker")}) {
    if (QFileInfo(candidate).isExecutable()) return QDir::cleanPath(QDir(candidate).absolutePath());
  }
  return {};
}

namespace {

constexpr char kRecordName[] = ".qml-preview-record";
constexpr qint64 kRecordBytes = 256 << 20;  // a few hundred bytes per document
constexpr int kRecordVersion = 1;

// What the run needs of a document's text, read once: its content hash
// (with how it was read), its root's name and whether it is a page over
// the template.
struct Text {
  uint64_t hash = 0;
  QString rootName;
  bool overTemplate = false;
};

Text ReadText(const platform::FolderHandle& folder, const QString& document) {
  const DocumentText text = ReadDocument(folder, document);
  const QByteArray all = text.loaded.toUtf8() + '\0' + text.error.toUtf8() + '\0' + text.text;
  return {platform::ContentHash::Of(std::string_view(all.constData(), static_cast<size_t>(all.size()))),
          RootName(text.text), text.text.contains("\nuseTemplate: true\n")};
}

// Why the data set is not the one the documents were made from: the first
// document whose screen (type and reference, then name) it does not hold.
// Documents named otherwise claim no screen.
QString OtherProject(DataSet& data, const std::map<QString, int>& starts, const platform::FolderHandle& folder,
                     const std::vector<QString>& documents, const std::vector<Text>& texts,
                     const std::u16string& dataFile) {
  const QString head = QStringLiteral("the data set '%1' is not the one '%2' was made from: ")
                           .arg(Display(dataFile), Display(folder.Path()));
  for (size_t i = 0; i < documents.size(); ++i) {
    const QString& document = documents[i];
    QString code;
    qint64 reference = 0;
    if (!ScreenOfName(document, code, reference)) continue;
    const auto start = starts.find(document);
    if (start == starts.end())
      return head +
             QStringLiteral("it holds no %1 (%2)")
                 .arg(KindName(code) + (reference > 0 ? QLatin1Char(' ') + QString::number(reference) : QString()),
                      document);
    const QString& here = texts[i].rootName;
    const QString there = reference > 0 ? data.ObjectText(static_cast<uint32_t>(reference), start->second) : QString();
    if (!here.isEmpty() && !there.isEmpty() && here != there)
      return head + QStringLiteral("%1 is “%2” there, “%3” here").arg(document, there, here);
  }
  return {};
}

// The files a document's picture, thumbnail and page are written to.
std::set<QString> FilesOf(const QString& document) {
  const QString base = BaseName(document);
  return {base + QStringLiteral(".png"), QStringLiteral("thumbs/") + base + QStringLiteral(".png"),
          QStringLiteral("pages/") + base + QStringLiteral(".html")};
}

QByteArray Hash(const QByteArray& bytes) { return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256); }

// What draws: this program, the drawing program and the stand-in module,
// by version, the programs' sizes and times and every file of the module.
QByteArray Drawer(const Options& options) {
  QCryptographicHash hash(QCryptographicHash::Sha256);
  hash.addData(QByteArray(kVersion));
  for (const QString& program : {options.program, options.worker}) {
    const QFileInfo file(program);
    hash.addData(' ' + QByteArray::number(file.size()) + ' ' + QByteArray::number(file.lastModified().toMSecsSinceEpoch()));
  }
  const QDir module(options.module + QStringLiteral("/VantorelV5"));
  for (const QString& name : module.entryList(QDir::Files, QDir::Name)) {
    QFile file(module.filePath(name));
    if (file.open(QIODevice::ReadOnly)) hash.addData(name.toUtf8() + '\0' + Hash(file.readAll()));
  }
  return hash.result();
}

// Each document's inputs as one hash: what draws, its text and how it was
// read, the template's for a page over it, its start language, the
// project's name and its neighbours (the page's title and links). What it
// asked of the data set is recorded beside it (Record).
std::vector<QByteArray> Inputs(const Options& options, const std::vector<QString>& documents, const std::vector<Text>& texts,
                               const QString& project, const std::function<int(size_t)>& language) {
  const QByteArray drawer = Drawer(options);
  const QByteArray common = drawer + project.toUtf8() + '\0' + (options.dataFile.empty() ? "-" : "+");
  const auto hasTemplate = std::find(documents.begin(), documents.end(), QStringLiteral("tmpl.qml"));
  const uint64_t templateText =
      hasTemplate == documents.end() ? 0 : texts[static_cast<size_t>(hasTemplate - documents.begin())].hash;
  std::vector<QByteArray> inputs;
  for (size_t i = 0; i < documents.size(); ++i) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(common);
    for (const QString& name : {documents[i], i > 0 ? documents[i - 1] : QString(),
                                i + 1 < documents.size() ? documents[i + 1] : QString()})
      hash.addData(name.toUtf8() + '\0');
    hash.addData(QByteArray::number(language(i)) + '\0');
    hash.addData(QByteArray::number(texts[i].hash) + '\0');
    if (texts[i].overTemplate) hash.addData(QByteArray::number(templateText));
    inputs.push_back(hash.result());
  }
  return inputs;
}

// The record beside the pictures of what each was drawn from: its inputs'
// hash, the screen as the gallery shows it and what it asked of the data
// set; and each contact sheet's. It may come from someone else: it only
// ever answers whether a file of the preview's own names stays.
struct Record {
  struct Drawing {
    QString inputs;
    QJsonObject screen;
    QJsonArray facts;
  };
  std::map<QString, Drawing> documents;
  std::map<QString, QString> sheets;

  void Read(const OutputFolder& out) {
    const QJsonObject json = QJsonDocument::fromJson(out.Read(QString::fromLatin1(kRecordName), kRecordBytes)).object();
    if (json[QLatin1String("record")].toInt() != kRecordVersion) return;
    const QJsonObject drawn = json[QLatin1String("documents")].toObject();
    for (auto it = drawn.begin(); it != drawn.end(); ++it) {
      const QJsonObject entry = it->toObject();
      documents[it.key()] = {entry[QLatin1String("inputs")].toString(), entry[QLatin1String("screen")].toObject(),
                             entry[QLatin1String("facts")].toArray()};
    }
    const QJsonObject made = json[QLatin1String("sheets")].toObject();
    for (auto it = made.begin(); it != made.end(); ++it) sheets[it.key()] = it->toString();
  }

  QString Write(const OutputFolder& out) const {
    QJsonObject drawn, made;
    for (const auto& [document, d] : documents)
      drawn[document] = QJsonObject{{"inputs", d.inputs}, {"screen", d.screen}, {"facts", d.facts}};
    for (const auto& [sheet, key] : sheets) made[sheet] = key;
    return out.Write(QString::fromLatin1(kRecordName),
                     QJsonDocument(QJsonObject{{"record", kRecordVersion}, {"documents", drawn}, {"sheets", made}})
                         .toJson(QJsonDocument::Compact));
  }

  // Whether the document's files stay: drawn from the same inputs, the data
  // set answers as it did, and they are all there. Then `screen` is as drawn.
  bool Keeps(const QString& document, const QByteArray& inputs, DataSet* data, const OutputFolder& out,
             Screen& screen) const {
    const auto found = documents.find(document);
    if (found == documents.end() || found->second.inputs != QString::fromLatin1(inputs.toHex())) return false;
    for (const QJsonValue& fact : found->second.facts) {
      QJsonArray question = fact.toArray();
      const QJsonValue answer = question.takeAt(question.size() - 1);
      if (!data || data->Answer(question) != answer) return false;
    }
    for (const QString& file : FilesOf(document))
      if (!out.IsFile(file)) return false;
    screen = ScreenFromJson(found->second.screen);
    return screen.document == document && screen.errors.isEmpty();
  }
};

}  // namespace

Outcome PreviewFolder(const Options& options) {
  Outcome outcome;
  const std::u16string& qmls = options.folders.front();
  platform::FolderHandle folder;
  std::vector<QString> documents;
  if (outcome.Failed(OpenDocuments(qmls, folder)) || outcome.Failed(ListDocuments(folder, documents))) return outcome;
  bool nested = false;
  if (documents.empty() && outcome.Failed(NoDocuments(qmls, nested))) return outcome;
  QString project = Display(qmls);
  std::map<QString, int> starts;  // each document's language, known with the data set
  std::optional<DataSet> data;
  if (!options.dataFile.empty()) {
    auto opened = DataSet::Open(options.dataFile);
    if (!opened) {
      outcome.fatal = opened.Error();
      return outcome;
    }
    data.emplace(std::move(*opened));
    project = data->ProjectName();
    starts = data->StartLanguages();
  }
  // A worker's engine starts in the time the documents take to read and
  // check; the answers are handled once the jobs are known (below).
  WorkerPool::OnAnswer onAnswer;
  WorkerPool pool(options, documents, project,
                  [&](const QJsonObject& job, const QJsonObject& answer) { onAnswer(job, answer); });
  pool.StartEarly();
  std::vector<Text> texts;
  for (const QString& document : documents) texts.push_back(ReadText(folder, document));
  if (data && outcome.Failed(OtherProject(*data, starts, folder, documents, texts, options.dataFile))) return outcome;
  OutputFolder out;
  if (outcome.Failed(out.Open(options.output, options.outputNamed, {"thumbs", "pages"}))) return outcome;

  OutputFiles files(out);
  const size_t sheets = (documents.size() + kSheetScreens - 1) / kSheetScreens;
  std::set<QString> planned;
  for (const QString& document : documents) planned.merge(FilesOf(document));
  for (size_t sheet = 0; sheet < sheets; ++sheet) planned.insert(SheetName(sheet));
  if (outcome.Failed(files.List(std::move(planned)))) return outcome;

  // What each picture is drawn from; those the last run drew from the same
  // stay, and the record lists only them until this run has drawn the rest.
  const auto language = [&](size_t i) {
    const auto start = starts.find(documents[i]);
    return start == starts.end() ? -1 : start->second;
  };
  const std::vector<QByteArray> inputs = Inputs(options, documents, texts, project, language);
  Record record;
  const bool reuse = !options.full && !platform::SwitchedOff("QML_PREVIEW_REUSE");
  if (reuse) record.Read(out);
  outcome.screens.resize(documents.size());
  std::vector<bool> kept(documents.size());
  std::vector<size_t> drawn(sheets);
  Record next;
  for (size_t i = 0; i < documents.size(); ++i) {
    kept[i] = record.Keeps(documents[i], inputs[i], data ? &*data : nullptr, out, outcome.screens[i]);
    if (!kept[i]) continue;
    next.documents[documents[i]] = record.documents[documents[i]];
    for (const QString& file : FilesOf(documents[i])) files.Keep(file);
    ++drawn[i / kSheetScreens];
    ++outcome.kept;
  }
  if (outcome.Failed(next.Write(out))) return outcome;

  // A contact sheet is made as soon as all its documents are drawn, or kept
  // when the last run made it of the same; each band (row of cells) has a
  // key of what it shows, so that a sheet made again keeps the bands whose
  // cells did not change.
  auto sheetJob = [&](size_t sheet) -> std::optional<QJsonObject> {
    const size_t first = sheet * kSheetScreens, end = std::min(documents.size(), first + kSheetScreens);
    const size_t columns = SheetColumns(end - first);
    QJsonArray cells, bands;
    // The sheet's key is that of its bands' keys.
    QCryptographicHash key(QCryptographicHash::Sha256), band(QCryptographicHash::Sha256);
    for (size_t i = first; i < end; ++i) {
      const Screen& s = outcome.screens[i];
      const QJsonObject cell{{"drawn", s.errors.isEmpty()}, {"caption", ScreenTitle(s) + '\n' + KindAndFile(s)}};
      cells.append(cell);
      band.addData(inputs[i]);
      band.addData(QJsonDocument(cell).toJson(QJsonDocument::Compact));
      if ((i - first + 1) % columns == 0 || i + 1 == end) {
        band.addData(QByteArray::number(qulonglong(columns)) + '/' + QByteArray::number(qulonglong(end - first)));
        key.addData(band.result());
        bands.append(QString::fromLatin1(band.result().toHex()));
        band.reset();
      }
    }
    const QString name = SheetName(sheet), hex = QString::fromLatin1(key.result().toHex());
    next.sheets[name] = hex;
    if (const auto made = record.sheets.find(name);
        made != record.sheets.end() && made->second == hex && out.IsFile(name)) {
      files.Keep(name);
      return std::nullopt;
    }
    return QJsonObject{{"sheet", static_cast<int>(sheet)}, {"first", static_cast<int>(first)}, {"cells", cells},
                       {"bands", bands}, {"reuse", reuse}};
  };
  size_t done = outcome.kept;
  onAnswer = [&](const QJsonObject& job, const QJsonObject& answer) {
    files.Note(answer);
    if (!job.contains(QLatin1String("draw"))) {
      if (answer.contains(QLatin1String("crashed")))
        outcome.Failed(QStringLiteral("contact sheet %1: %2")
                           .arg(QString::number(job[QLatin1String("sheet")].toInt() + 1),
                                answer[QLatin1String("crashed")].toString()));
      return;
    }
    const size_t index = static_cast<size_t>(job[QLatin1String("draw")].toInt());
    Screen& screen = outcome.screens[index];
    if (const QString crashed = answer[QLatin1String("crashed")].toString(); crashed.isEmpty()) {
      screen = ScreenFromJson(answer);
      // A failed document is drawn again next time, whatever its inputs.
      if (screen.errors.isEmpty())
        next.documents[documents[index]] = {QString::fromLatin1(inputs[index].toHex()), ScreenToJson(screen),
                                            answer[QLatin1String("facts")].toArray()};
    } else {  // a document the worker could not finish
      screen.document = documents[index];
      screen.errors << documents[index] + QStringLiteral(": ") + crashed;
    }
    if (options.progress) options.progress(++done, documents.size(), screen);
    const size_t sheet = index / kSheetScreens;
    if (++drawn[sheet] < std::min(documents.size() - sheet * kSheetScreens, kSheetScreens)) return;
    if (auto sheetJobFor = sheetJob(sheet)) pool.Add(*sheetJobFor, true);
  };
  for (size_t i = 0; i < documents.size(); ++i) {
    if (kept[i] && options.progress) options.progress(i + 1, documents.size(), outcome.screens[i]);
    if (!kept[i]) pool.Add({{"draw", static_cast<int>(i)}, {"language", language(i)}});
  }
  for (size_t sheet = 0; sheet < sheets; ++sheet)
    if (drawn[sheet] == std::min(documents.size() - sheet * kSheetScreens, kSheetScreens))
      if (auto job = sheetJob(sheet)) pool.Add(*job);
  if (!outcome.Failed(pool.Run(outcome.modulesMissing)) &&
      !outcome.Failed(files.Finish(GalleryPage(project, outcome.screens, sheets), outcome.removed)))
    outcome.Failed(next.Write(out));
  return outcome;
}

}  // namespace prt::preview
