#include "tools/qml-preview/Workers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>
#include <QThreadPool>
#include <iostream>
#include <vector>

#include "platform/Text.h"
#include "tools/qml-preview/DataSet.h"
#include "tools/qml-preview/Documents.h"
#include "tools/qml-preview/Gallery.h"
#include "tools/qml-preview/Profile.h"

namespace prt::preview {

namespace {

// Jobs handed to a worker ahead of its answers, so it never waits for the next.
constexpr size_t kJobsAhead = 2;
// A document that takes longer is given up (its worker is stopped).
constexpr int kJobSeconds = 120;
// Two 64 MiB: what a worker's heap takes from the system directly, and
// what it may hold free before it gives any back.
constexpr char kHeapTunables[] =
    "glibc.malloc.hugetlb=1:glibc.malloc.mmap_threshold=67108864:glibc.malloc.trim_threshold=67108864";
// Larger files in thumbs/ are not the preview's thumbnails.
constexpr qint64 kThumbnailBytes = 4 << 20;

QByteArray Line(const QJsonObject& json) { return QJsonDocument(json).toJson(QJsonDocument::Compact) + '\n'; }

// The fields of a screen that travel back from the worker, by their keys
// (the document travels as a path, the controls not at all).
constexpr std::pair<const char*, QString Screen::*> kTextFields[] = {
    {"loaded", &Screen::loaded},     {"code", &Screen::typeCode}, {"name", &Screen::name},
    {"language", &Screen::language}, {"title", &Screen::title},   {"template", &Screen::overTemplate}};
constexpr std::pair<const char*, int Screen::*> kNumberFields[] = {{"width", &Screen::width},
                                                                   {"height", &Screen::height}};
constexpr std::pair<const char*, QStringList Screen::*> kListFields[] = {{"errors", &Screen::errors},
                                                                         {"warnings", &Screen::warnings}};

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
    const std::u16string out = FromWire(setup[QLatin1String("output")]);
    const bool follow = setup[QLatin1String("follow")].toBool();
    if (const QString problem = setup[QLatin1String("diff")].toBool() ? output.Open(out, follow, {})
                                                                      : output.Open(out, follow, {"thumbs", "pages"});
        !problem.isEmpty())
      return {{"fatal", problem}};
    const QJsonArray dataFiles = setup[QLatin1String("data")].toArray();
    for (qsizetype side = 0; side < std::min<qsizetype>(2, dataFiles.size()); ++side) {
      const std::u16string dataFile = FromWire(dataFiles[side]);
      if (dataFile.empty()) continue;
      auto opened = DataSet::Open(dataFile);
      if (!opened) return {{"fatal", opened.Error()}};
      sets[side].emplace(std::move(*opened));
      renderer.SetTexts([this](uint32_t text, int language) -> std::optional<QString> {
        const QJsonValue answer = data ? Ask({"text", qint64(text), language}) : QJsonValue();
        return answer.isString() ? std::optional(answer.toString()) : std::nullopt;
      });
    }
    if (const QString missing = renderer.MissingModules(); !missing.isEmpty())
      return {{"fatal", QStringLiteral("the QML runtime modules cannot be loaded (scripts/ensure-deps.sh installs "
                                       "them): ") +
                            missing},
              {"modules", true}};
    return {{"ready", true}};
  }

  QJsonObject Answer(const QJsonObject& job) {
    written = QJsonArray();
    fatal.clear();
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
    fatal = image ? output.WritePng(name, *image) : output.Write(name, bytes);
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
    }
    step.Next(Step::Page);
    Save(QStringLiteral("pages/") + base + QStringLiteral(".html"), nullptr,
         ScreenPage(screen, project, documents.value(index - 1), documents.value(index + 1)).toUtf8());
    QJsonObject answer = ScreenToJson(screen);
    answer[QLatin1String("facts")] = facts;
    return answer;
  }

  QJsonObject SheetJob(const QJsonObject& job) {
    Timed step(Step::Sheet);
    const int first = job[QLatin1String("first")].toInt();
    std::vector<SheetCell> cells;
    for (const QJsonValue& cell : job[QLatin1String("cells")].toArray()) {
      const QString base = BaseName(documents.value(first + static_cast<int>(cells.size())));
      const bool drawn = cell[QLatin1String("drawn")].toBool();
      cells.push_back({drawn ? output.Read(QStringLiteral("thumbs/") + base + QStringLiteral(".png"), kThumbnailBytes)
                             : QByteArray(),
                       cell[QLatin1String("caption")].toString()});
    }
    const QImage sheet = ContactSheet(cells);
    Save(SheetName(static_cast<size_t>(job[QLatin1String("sheet")].toInt())), &sheet);
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
  QString project;
  std::optional<DataSet> sets[2];
  DataSet* data = nullptr;  // that of the folder being drawn
  Renderer renderer;
  QJsonArray written;
  QJsonArray facts;  // what the data set answered for the document being drawn
  QString fatal;
};

}  // namespace

QJsonObject ScreenToJson(const Screen& screen) {
  QJsonObject json{{"document", ToWire(screen.document.toStdU16String())}, {"object", screen.object}};
  for (const auto& [key, field] : kTextFields) json[QLatin1String(key)] = screen.*field;
  for (const auto& [key, field] : kNumberFields) json[QLatin1String(key)] = screen.*field;
  for (const auto& [key, field] : kListFields) json[QLatin1String(key)] = QJsonArray::fromStringList(screen.*field);
  return json;
}

Screen ScreenFromJson(const QJsonObject& json) {
  Screen screen;
  screen.document = QString::fromStdU16String(FromWire(json[QLatin1String("document")]));
  screen.object = json[QLatin1String("object")].toInteger();
  for (const auto& [key, field] : kTextFields) screen.*field = json[QLatin1String(key)].toString();
  for (const auto& [key, field] : kNumberFields) screen.*field = json[QLatin1String(key)].toInt();
  for (const auto& [key, field] : kListFields) screen.*field = json[QLatin1String(key)].toVariant().toStringList();
  return screen;
}

int RunWorker(const QString& importFolder) {
  // A worker is one of -j processes: Qt's helper threads (picture
  // conversions) would only add stacks under its memory limit.
  QThreadPool::globalInstance()->setMaxThreadCount(1);
  std::string line;
  if (!std::getline(std::cin, line)) return 1;
  std::optional<Timed> starting(std::in_place, Step::Start);
  Worker worker(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object(), importFolder);
  const QJsonObject start = worker.Start();
  std::cout << Line(start).constData() << std::flush;
  if (start.contains(QLatin1String("fatal"))) return 1;
  starting.reset();
  int jobs = 0;
  while (std::getline(std::cin, line)) {
    ++jobs;
    const QJsonObject job = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    QJsonObject answer = worker.Answer(job);
    std::cout << Line(answer).constData() << std::flush;
    if (answer.contains(QLatin1String("fatal"))) return 1;
  }
  Profile::Of().Print(jobs);
  return 0;
}

WorkerPool::WorkerPool(const Options& options, const std::vector<QString>& documents, const QString& project,
                       OnAnswer onAnswer)
    : program(options.program), workerCount(options.workers), onAnswer(std::move(onAnswer)) {
  QJsonArray folders, names;
  for (const std::u16string& folder : options.folders) folders.append(ToWire(folder));
  for (const QString& document : documents) names.append(ToWire(document.toStdU16String()));
  setup = Line({{"folders", folders},
                {"documents", names},
                {"output", ToWire(options.output)},
                {"follow", options.outputNamed},
                {"diff", options.diff},
                {"data", options.diff ? QJsonArray{ToWire(options.dataFiles[0]), ToWire(options.dataFiles[1])}
                                      : QJsonArray{ToWire(options.dataFile)}},
                {"project", project}});
}

WorkerPool::~WorkerPool() {
  stopping = true;
  // All told to end before any is waited for, so they end together.
  for (auto& worker : workers)
    if (worker->process) worker->process->closeWriteChannel();
  for (auto& worker : workers) {
    if (!worker->process) continue;
    if (!worker->process->waitForFinished(10000)) worker->process->kill();
    worker->process->waitForFinished();
  }
}

void WorkerPool::Add(QJsonObject job, bool first) {
  if (first)
    queue.push_front(std::move(job));
  else
    queue.push_back(std::move(job));
}

QString WorkerPool::Run(bool& missing) {
  if (queue.empty()) return {};
  const size_t count =
      std::min(workerCount > 0 ? size_t(workerCount) : size_t(QThread::idealThreadCount()), queue.size());
  while (workers.size() < count) {
    Process& worker = *workers.emplace_back(std::make_unique<Process>());
    worker.clock.setSingleShot(true);
    worker.clock.setInterval(kJobSeconds * 1000);
    QObject::connect(&worker.clock, &QTimer::timeout, &loop, [&worker] {
      worker.stalled = QStringLiteral("not drawn within %1 s").arg(QString::number(kJobSeconds));
      worker.process->kill();
    });
    Start(worker);
  }
  Feed();
  loop.exec();
  missing = modulesMissing;
  return fatal;
}

void WorkerPool::Start(Process& worker) {
  worker.process = std::make_unique<QProcess>();
  QProcess& process = *worker.process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QML_PREVIEW_WORKER"), QStringLiteral("1"));
  // Every picture needs megabytes, and first touching a small page is dear
  // on virtual machines (a sixth of a worker's time): its heap keeps what it
  // frees for the next picture and asks for huge pages.
  const QString tunables = environment.value(QStringLiteral("GLIBC_TUNABLES"));
  environment.insert(QStringLiteral("GLIBC_TUNABLES"),
                     (tunables.isEmpty() ? QString() : tunables + QLatin1Char(':')) + QLatin1String(kHeapTunables));
  process.setProcessEnvironment(environment);
  process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  QObject::connect(&process, &QProcess::readyReadStandardOutput, &loop, [this, &worker] { Read(worker); });
  QObject::connect(&process, &QProcess::finished, &loop, [this, &worker] { Ended(worker); });
  QObject::connect(&process, &QProcess::errorOccurred, &loop, [this, &worker](QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart)
      Stop(QStringLiteral("cannot start a worker: ") + worker.process->errorString());
  });
  process.start(program, {QStringLiteral("--worker")});
  process.write(setup);
}

void WorkerPool::Feed() {
  for (auto& worker : workers) {
    while (!stopping && worker->process && worker->process->state() != QProcess::NotRunning &&
           worker->inFlight.size() < kJobsAhead && !queue.empty()) {
      worker->inFlight.push_back(queue.front());
      queue.pop_front();
      worker->process->write(Line(worker->inFlight.back()));
    }
    if (!worker->inFlight.empty() && !worker->clock.isActive()) worker->clock.start();
  }
  if (!stopping && queue.empty() &&
      std::all_of(workers.begin(), workers.end(), [](const auto& w) { return w->inFlight.empty(); }))
    loop.quit();
}

void WorkerPool::Read(Process& worker) {
  while (!stopping && worker.process->canReadLine()) {
    const QJsonObject answer = QJsonDocument::fromJson(worker.process->readLine()).object();
    if (answer.contains(QLatin1String("fatal"))) {
      modulesMissing = answer[QLatin1String("modules")].toBool();
      return Stop(answer[QLatin1String("fatal")].toString());
    }
    if (answer.contains(QLatin1String("ready")) || worker.inFlight.empty()) continue;
    const QJsonObject job = worker.inFlight.front();
    worker.inFlight.pop_front();
    worker.clock.stop();  // Feed starts it again for the next
    onAnswer(job, answer);
  }
  Feed();
}

// A worker that ended with jobs in hand: the one it was on failed, the
// others go to the next; a fresh worker takes its place.
void WorkerPool::Ended(Process& worker) {
  Read(worker);  // what it answered before it ended
  if (stopping) return;
  worker.clock.stop();
  if (!worker.inFlight.empty()) {
    const QJsonObject job = worker.inFlight.front();
    worker.inFlight.pop_front();
    queue.insert(queue.begin(), worker.inFlight.begin(), worker.inFlight.end());
    worker.inFlight.clear();
    const QProcess& process = *worker.process;
    const QString why =
        !worker.stalled.isEmpty()                     ? worker.stalled
        : process.exitStatus() == QProcess::CrashExit ? QStringLiteral("the drawing process crashed")
        : process.exitCode() == kOutOfMemoryStatus
            ? QStringLiteral("needs more than the %1 MiB of memory a drawing process may take")
                  .arg(QString::number(kWorkerMemoryBytes >> 20))
            : QStringLiteral("the drawing process ended with status %1").arg(QString::number(process.exitCode()));
    onAnswer(job, {{"crashed", why}});
  }
  worker.stalled.clear();
  QObject::disconnect(worker.process.get(), nullptr, &loop, nullptr);
  worker.process.release()->deleteLater();
  if (!queue.empty()) Start(worker);
  Feed();
}

void WorkerPool::Stop(const QString& why) {
  if (fatal.isEmpty()) fatal = why;
  stopping = true;
  loop.quit();
}

}  // namespace prt::preview
