// The drawing process (qml-preview-worker): one Qt Quick engine, fed jobs by
// qml-preview's WorkerPool (Workers.h).
#include <QFontDatabase>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThreadPool>
#include <iostream>
#include <map>
#include <optional>
#include <thread>
#include <vector>

#include "platform/Text.h"
#include "tools/qml-preview/DataSet.h"
#include "tools/qml-preview/Documents.h"
#include "tools/qml-preview/Drawing.h"
#include "tools/qml-preview/Gallery.h"
#include "tools/qml-preview/Png.h"
#include "tools/qml-preview/Profile.h"
#include "tools/qml-preview/Workers.h"

namespace prt::preview {

namespace {

// Larger files in thumbs/ are not the preview's thumbnails, nor larger
// sheets its contact sheets.
constexpr qint64 kThumbnailBytes = 4 << 20;
constexpr qint64 kSheetBytes = 64 << 20;

QStringList FoldersOf(const QJsonObject& setup) {
  QStringList folders;
  for (const QJsonValue& folder : setup[QLatin1String("folders")].toArray())
    folders << QString::fromStdU16String(FromWire(folder));
  return folders;
}

// One worker process's state: the set-up, the engine and the data sets
// (one per folder, where given).
class Worker {
 public:
  Worker(const QJsonObject& setup, const QString& importFolder)
      : setup(setup), renderer(importFolder, FoldersOf(setup)) {
    for (const QJsonValue& name : setup[QLatin1String("documents")].toArray())
      documents << QString::fromStdU16String(FromWire(name));
    project = setup[QLatin1String("project")].toString();
  }

  // The first answer: ready, or why this worker cannot draw.
  QJsonObject Start() {
    for (const QString& folder : FoldersOf(setup))
      if (const QString problem = OpenDocuments(folder.toStdU16String(), folders.emplace_back()); !problem.isEmpty())
        return {{"fatal", problem}};
    // The data sets and the font database load on a thread of their own
    // while the engine loads its modules: each takes a good part of a
    // worker's start.
    const QJsonArray dataFiles = setup[QLatin1String("data")].toArray();
    std::optional<Expected<DataSet, QString>> opened[2];
    std::thread loading([&] {
      for (qsizetype side = 0; side < std::min<qsizetype>(2, dataFiles.size()); ++side)
        if (const std::u16string dataFile = FromWire(dataFiles[side]); !dataFile.empty())
          opened[side].emplace(DataSet::Open(dataFile));
      QFontDatabase::families();
    });
    const QString missing = renderer.MissingModules();
    loading.join();
    for (int side = 0; side < 2; ++side) {
      if (!opened[side]) continue;
      if (!*opened[side]) return {{"fatal", opened[side]->Error()}};
      sets[side].emplace(std::move(**opened[side]));
      renderer.SetTexts([this](uint32_t text, int language) -> std::optional<QString> {
        const QJsonValue answer = data ? Ask({"text", qint64(text), language}) : QJsonValue();
        return answer.isString() ? std::optional(answer.toString()) : std::nullopt;
      });
    }
    if (!missing.isEmpty())
      return {{"fatal", QStringLiteral("the QML runtime modules cannot be loaded (scripts/ensure-deps.sh installs "
                                       "them): ") +
                            missing},
              {"modules", true}};
    return {{"ready", true}};
  }

  QJsonObject Answer(const QJsonObject& job) {
    written = QJsonArray();
    fatal.clear();
    // Opened and made with the first job: a worker may be started before
    // the run knows it will draw, and is then stopped having made nothing.
    if (!readied) {
      const std::u16string out = FromWire(setup[QLatin1String("output")]);
      const bool follow = setup[QLatin1String("follow")].toBool();
      if (const QString problem = setup[QLatin1String("diff")].toBool()
                                      ? output.Open(out, follow, {})
                                      : output.Open(out, follow, {"thumbs", "pages"});
          !problem.isEmpty())
        return {{"fatal", problem}};
      if (const QString problem = renderer.MakePrivateFolder(); !problem.isEmpty()) return {{"fatal", problem}};
      readied = true;
    }
    QJsonObject answer;
    if (job.contains(QLatin1String("draw")))
      answer = DrawJob(job);
    else if (job.contains(QLatin1String("sheet")))
      answer = SheetJob(job);
    else
      answer = DiffJob(job);
    if (!fatal.isEmpty()) return {{"fatal", fatal}};
    answer[QLatin1String("written")] = written;
    return answer;
  }

 private:
  // Asks the data set (DataSet::Answer), noting question and answer among
  // the document's facts.
  QJsonValue Ask(QJsonArray question) {
    const QJsonValue answer = data->Answer(question);
    question.append(answer);
    facts.append(question);
    return answer;
  }

  // Writes a file of the output folder, noting it; the first failure ends the run.
  void Save(const QString& name, const QImage* image, const QByteArray& bytes = {}) {
    if (!fatal.isEmpty()) return;
    const QByteArray png = image ? EncodePng(*image) : QByteArray();
    fatal = !image           ? output.Write(name, bytes)
            : png.isEmpty() ? QStringLiteral("cannot encode '") + Display(Join(output.Path(), name)) + QLatin1Char('\'')
                            : output.Write(name, png);
    if (fatal.isEmpty()) written.append(ToWire(name.toStdU16String()));
  }

  // Which language the texts are in: where the document starts, and for a
  // popup whose title lists fonts, the language the list leaves for the
  // controls after it (the last it could select). Without a data set the
  // list still tells which of its languages that is.
  QString Language(const Screen& screen, int start) {
    const int after = screen.lastTitleFont;
    if (!data && screen.titleFonts == 1 && after == 0) return QStringLiteral("the project's one language");
    QString text = start >= 0 && data ? QStringLiteral("language ") + Ask({"language", start}).toString()
                                      : QStringLiteral("language not known");
    if (after < 0 || after == start) return text;
    return text + QStringLiteral(", controls after the title in ") +
           (data ? Ask({"language", after}).toString()
                 : QStringLiteral("the title's last language (%1 of %2)")
                       .arg(QString::number(after + 1), QString::number(screen.titleFonts)));
  }

  // Draws the document of the folder `side` starting in language `start`
  // (-1: not known), with that folder's data set.
  QImage Draw(int side, Screen& screen, int start) {
    data = sets[side] ? &*sets[side] : nullptr;
    facts = QJsonArray();
    QImage picture = renderer.Draw(folders[side], screen, std::max(start, 0));
    if (screen.name.isEmpty() && data && screen.errors.isEmpty())
      screen.name = Ask({"object", screen.object, std::max(start, 0)}).toString();
    screen.language = Language(screen, start);
    return picture;
  }

  QJsonObject DrawJob(const QJsonObject& job) {
    const int index = job[QLatin1String("draw")].toInt();
    Screen screen;
    screen.document = documents.value(index);
    const QImage picture = Draw(0, screen, job[QLatin1String("language")].toInt(-1));
    const QString base = BaseName(screen.document);
    Timed step(Step::Png);
    if (screen.errors.isEmpty()) {
      Save(base + QStringLiteral(".png"), &picture);
      step.Next(Step::Thumbnail);
      const QImage thumb = Thumbnail(picture);
      Save(QStringLiteral("thumbs/") + base + QStringLiteral(".png"), &thumb);
      // Documents are handed out in order: a sheet is made soon after.
      thumbs.erase(thumbs.begin(), thumbs.lower_bound(index - 2 * static_cast<int>(kSheetScreens)));
      thumbs[index] = thumb;
    }
    step.Next(Step::Page);
    Save(QStringLiteral("pages/") + base + QStringLiteral(".html"), nullptr,
         ScreenPage(screen, project, documents.value(index - 1), documents.value(index + 1)).toUtf8());
    QJsonObject answer = ScreenToJson(screen);
    answer[QLatin1String("facts")] = facts;
    return answer;
  }

  // A contact sheet: the bands (rows of cells) the last sheet holds under
  // the same keys are taken from it; only the others' thumbnails are read.
  QJsonObject SheetJob(const QJsonObject& job) {
    Timed step(Step::Sheet);
    const int first = job[QLatin1String("first")].toInt();
    const QJsonArray cellList = job[QLatin1String("cells")].toArray();
    const size_t count = static_cast<size_t>(cellList.size());
    std::vector<QByteArray> keys;
    for (const QJsonValue& key : job[QLatin1String("bands")].toArray())
      keys.push_back(QByteArray::fromHex(key.toString().toLatin1()));
    keys.resize(SheetBands(count));
    const QString name = SheetName(static_cast<size_t>(job[QLatin1String("sheet")].toInt()));
    const QSize band = SheetBandSize(count);
    BandedPng png(band.width(), band.height(), std::move(keys),
                  job[QLatin1String("reuse")].toBool() ? output.Read(name, kSheetBytes) : QByteArray());
    std::vector<SheetCell> cells(count);
    const size_t columns = SheetColumns(count);
    for (size_t row = 0; row < SheetBands(count); ++row) {
      if (png.Kept(row)) continue;
      for (size_t i = row * columns; i < std::min(count, (row + 1) * columns); ++i) {
        const QJsonValue cell = cellList[static_cast<qsizetype>(i)];
        const int index = first + static_cast<int>(i);
        cells[i].caption = cell[QLatin1String("caption")].toString();
        if (!cell[QLatin1String("drawn")].toBool()) continue;
        // A thumbnail this worker made is at hand; another's, or one the
        // last run made, is read back.
        const auto made = thumbs.find(index);
        cells[i].thumbnail = made != thumbs.end()
                                 ? made->second
                                 : QImage::fromData(output.Read(QStringLiteral("thumbs/") +
                                                                    BaseName(documents.value(index)) +
                                                                    QStringLiteral(".png"),
                                                                kThumbnailBytes),
                                                    "PNG");
      }
      png.Code(row, ContactSheetBand(cells, row));
    }
    Save(name, nullptr, png.File());
    return {};
  }

  QJsonObject DiffJob(const QJsonObject& job) {
    const QString base = QString::fromStdU16String(FromWire(job[QLatin1String("base")]));
    QJsonObject answer;
    Screen screens[2];
    QImage pictures[2];
    const char* sides[2] = {"old", "new"};
    for (int side = 0; side < 2; ++side) {
      const int document = job[QLatin1String(sides[side])].toInt(-1);
      if (document < 0) continue;
      screens[side].document = documents.value(document);
      pictures[side] =
          Draw(side, screens[side], job[QLatin1String(side == 0 ? "oldLanguage" : "newLanguage")].toInt(-1));
      answer[QLatin1String(sides[side])] = ScreenToJson(screens[side]);
    }
    qint64 changed = -1;
    QImage highlight;
    if (!pictures[0].isNull() && !pictures[1].isNull()) highlight = Highlight(pictures[0], pictures[1], changed);
    answer[QLatin1String("changed")] = changed;
    if (changed == 0 && !job[QLatin1String("keep")].toBool()) return answer;
    for (int side = 0; side < 2; ++side)
      if (!pictures[side].isNull())
        Save(base + QLatin1Char('-') + QLatin1String(sides[side]) + QStringLiteral(".png"), &pictures[side]);
    if (!highlight.isNull()) Save(base + QStringLiteral("-diff.png"), &highlight);
    return answer;
  }

  QJsonObject setup;
  std::vector<platform::FolderHandle> folders;
  QStringList documents;
  OutputFolder output;
  bool readied = false;  // the output opened, the private folder made
  QString project;
  std::optional<DataSet> sets[2];
  DataSet* data = nullptr;  // that of the folder being drawn
  Renderer renderer;
  QJsonArray written;
  QJsonArray facts;  // what the data set answered for the document being drawn
  std::map<int, QImage> thumbs;  // by document, the last this worker drew
  QString fatal;
};

}  // namespace

int RunWorker() {
  // A worker is one of -j processes: Qt's helper threads (picture
  // conversions) would only add stacks under its memory limit.
  QThreadPool::globalInstance()->setMaxThreadCount(1);
  std::string line;
  if (!std::getline(std::cin, line)) return 1;
  std::optional<Timed> starting(std::in_place, Step::Start);
  const QJsonObject setup = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
  Worker worker(setup, QString::fromStdU16String(FromWire(setup[QLatin1String("module")])));
  const QJsonObject start = worker.Start();
  std::cout << JsonLine(start).constData() << std::flush;
  if (start.contains(QLatin1String("fatal"))) return 1;
  starting.reset();
  int jobs = 0;
  while (std::getline(std::cin, line)) {
    ++jobs;
    const QJsonObject job = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    QJsonObject answer = worker.Answer(job);
    std::cout << JsonLine(answer).constData() << std::flush;
    if (answer.contains(QLatin1String("fatal"))) return 1;
  }
  Profile::Of().Print(jobs);
  return 0;
}

}  // namespace prt::preview
