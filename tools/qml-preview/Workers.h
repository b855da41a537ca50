#pragma once
// Drawing on every core: qml-preview starts qml-preview-worker as worker
// processes (one Qt Quick engine each), hands each the set-up once and then
// one job at a time, and reads one answer line per job. Jobs and answers are
// JSON lines; paths travel as the file system's bytes in hex.
//
// Jobs: {"draw": i, "language": L} draws document i into the output folder
// (picture, thumbnail, page); {"sheet": n, "first": i, "cells": [...],
// "bands": [keys], "reuse": r} makes contact sheet n, copying the bands the
// last one holds under the same keys when r; {"diff": i, "old": o, "new": n,
// "base": b, "keep": k} draws documents o (of the old folder) and n (of the
// new, -1 for none) and compares them into pictures named after b.
#include <QEventLoop>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/qml-preview/Preview.h"
#include "tools/qml-preview/Screen.h"

namespace prt::preview {

// What the gallery and the diff need of a screen a worker drew (not its
// controls), as it travels and is recorded.
QJsonObject ScreenToJson(const Screen& screen);
Screen ScreenFromJson(const QJsonObject& json);

// A job or an answer as it travels: one line of JSON.
QByteArray JsonLine(const QJsonObject& json);

// The memory a drawing process may write to, as RLIMIT_DATA counts it
// (heap, anonymous and private writable mappings: the engine's JS heap and
// stack, pictures, thread stacks), not the address space it only reserves.
// The largest document the converter can write (4096x4096, a thousand
// controls) takes a third of it.
inline constexpr uint64_t kWorkerMemoryBytes = uint64_t{1} << 30;
// The status a drawing process ends with when it ran out of that memory.
inline constexpr int kOutOfMemoryStatus = 86;

// The worker (qml-preview-worker): reads the set-up and the jobs on
// standard input, answers on standard output. Answers the exit status.
int RunWorker();

class WorkerPool {
 public:
  // Called on the main thread with each job and its answer; it may add jobs.
  // A worker that ends or stalls mid-job answers that job with {"crashed": why}.
  using OnAnswer = std::function<void(const QJsonObject& job, const QJsonObject& answer)>;

  // Workers for the folders and output of `options`, which know the
  // `documents` by their index and the project by `project`.
  WorkerPool(const Options& options, const std::vector<QString>& documents, const QString& project, OnAnswer onAnswer);
  ~WorkerPool();
  // A job `first` goes before those waiting (a contact sheet whose documents
  // are drawn, so the sheets do not all wait for the last document).
  void Add(QJsonObject job, bool first = false);
  // Starts one worker now, before the jobs are known, so that its engine
  // starts while the run reads and checks the documents; stopped at the end
  // if it is given no job.
  void StartEarly();
  // Runs until every job has its answer, on as many workers as asked (one
  // per core when not said), but no more than there are jobs at the start.
  // Stops early when a worker reports a problem that ends the run (an output
  // that cannot be written, missing runtime modules): its text, with
  // `modulesMissing` set for the latter.
  QString Run(bool& modulesMissing);

 private:
  struct Process {
    std::unique_ptr<QProcess> process;
    std::deque<QJsonObject> inFlight;
    QTimer clock;
    QString stalled;  // why it was stopped, when it was
    bool given = false;  // a job
  };

  void Launch(Process& worker);
  void Start(Process& worker);
  void Feed();
  void Read(Process& worker);
  void Ended(Process& worker);
  void Stop(const QString& why);

  QString program;
  int workerCount;
  QByteArray setup;
  OnAnswer onAnswer;
  std::vector<std::unique_ptr<Process>> workers;
  std::deque<QJsonObject> queue;
  QEventLoop loop;
  QString fatal;
  bool modulesMissing = false;
  bool stopping = false;
};

}  // namespace prt::preview
