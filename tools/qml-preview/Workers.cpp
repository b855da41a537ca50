#include "tools/qml-preview/Workers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>
#include <vector>

#include "platform/Text.h"
#include "tools/qml-preview/Documents.h"

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

// The fields of a screen that travel back from the worker, by their keys
// (the document travels as a path, the controls not at all).
constexpr std::pair<const char*, QString Screen::*> kTextFields[] = {
    {"loaded", &Screen::loaded},     {"code", &Screen::typeCode}, {"name", &Screen::name},
    {"language", &Screen::language}, {"title", &Screen::title},   {"template", &Screen::overTemplate}};
constexpr std::pair<const char*, int Screen::*> kNumberFields[] = {{"width", &Screen::width},
                                                                   {"height", &Screen::height}};
constexpr std::pair<const char*, QStringList Screen::*> kListFields[] = {{"errors", &Screen::errors},
                                                                         {"warnings", &Screen::warnings}};


}  // namespace

QByteArray JsonLine(const QJsonObject& json) { return QJsonDocument(json).toJson(QJsonDocument::Compact) + '\n'; }

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

WorkerPool::WorkerPool(const Options& options, const std::vector<QString>& documents, const QString& project,
                       OnAnswer onAnswer)
    : program(options.worker), workerCount(options.workers), onAnswer(std::move(onAnswer)) {
  QJsonArray folders, names;
  for (const std::u16string& folder : options.folders) folders.append(ToWire(folder));
  for (const QString& document : documents) names.append(ToWire(document.toStdU16String()));
  setup = JsonLine({{"folders", folders},
                {"documents", names},
                {"output", ToWire(options.output)},
                {"follow", options.outputNamed},
                {"diff", options.diff},
                {"data", options.diff ? QJsonArray{ToWire(options.dataFiles[0]), ToWire(options.dataFiles[1])}
                                      : QJsonArray{ToWire(options.dataFile)}},
                {"project", project},
                {"module", ToWire(options.module.toStdU16String())}});
}

WorkerPool::~WorkerPool() {
  stopping = true;
  // All told to end before any is waited for, so they end together; one
  // that was never given a job has made nothing and is stopped at once.
  for (auto& worker : workers) {
    if (!worker->process) continue;
    if (worker->given)
      worker->process->closeWriteChannel();
    else
      worker->process->kill();
  }
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

void WorkerPool::StartEarly() {
  if (workers.empty()) Launch(*workers.emplace_back(std::make_unique<Process>()));
}

void WorkerPool::Launch(Process& worker) {
  worker.clock.setSingleShot(true);
  worker.clock.setInterval(kJobSeconds * 1000);
  QObject::connect(&worker.clock, &QTimer::timeout, &loop, [&worker] {
    worker.stalled = QStringLiteral("not drawn within %1 s").arg(QString::number(kJobSeconds));
    worker.process->kill();
  });
  Start(worker);
}

QString WorkerPool::Run(bool& missing) {
  if (queue.empty()) return {};
  const size_t count =
      std::min(workerCount > 0 ? size_t(workerCount) : size_t(QThread::idealThreadCount()), queue.size());
  while (workers.size() < count) Launch(*workers.emplace_back(std::make_unique<Process>()));
  Feed();
  loop.exec();
  // Every answer is in: the workers end while the run writes its pages.
  for (auto& worker : workers)
    if (worker->process && worker->given && fatal.isEmpty()) worker->process->closeWriteChannel();
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
      worker->given = true;
      worker->inFlight.push_back(queue.front());
      queue.pop_front();
      worker->process->write(JsonLine(worker->inFlight.back()));
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
