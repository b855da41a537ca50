#pragma once
// The cache stage: exactly two workers (one extra thread and the calling
// thread) compile the saved documents and, when asked, encipher them. The
// thread starts with the stage and takes each document as soon as it is
// handed over; the caller joins as the second worker when it has handed
// over the last one. Both take the longest document waiting, so the last
// ones done are the short ones and the two finish close together.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileStatus.h"

namespace prt {

// One saved .qml file.
struct QmlFileItem {
  int32_t length = 0;  // UTF-16 code units of the text; orders the work (compared unsigned)
  std::u16string path;
};
using QmlFileItemPtr = std::shared_ptr<QmlFileItem>;
using QmlFileItems = std::vector<QmlFileItemPtr>;

// The documents waiting for a worker, longest first.
class DocumentQueue {
 public:
  void Push(QmlFileItemPtr item);
  // No more documents come; Take returns null once the queue is empty.
  void Close();
  // Take returns null from now on: the stage has failed.
  void Stop();
  // The longest waiting document; blocks while none waits and the queue is
  // open. Null when the queue is closed and empty, or stopped.
  QmlFileItemPtr Take();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<QmlFileItemPtr> heap_;
  bool closed_ = false;
  bool stopped_ = false;
};

struct CacheStageResult {
  FileStatus worker[2];  // 0: the calling thread, 1: the extra thread
  bool Ok() const { return worker[0].ok && worker[1].ok; }
};

class CacheStage {
 public:
  // Starts the extra thread, which runs `first` (if any) before it begins
  // to take documents; a failure to start it escapes as std::system_error.
  explicit CacheStage(bool encrypt, std::function<void()> first = {});
  // Stops and joins the thread if Finish was not called.
  ~CacheStage();
  CacheStage(const CacheStage&) = delete;
  CacheStage& operator=(const CacheStage&) = delete;

  // Hands over a saved document; its text must not change any more.
  void Add(QmlFileItemPtr item) { queue_.Push(std::move(item)); }
  // The last document was handed over: works as the second worker until
  // none is left, then joins the thread. The first file that cannot be read
  // or written stops both workers; its worker's result names it.
  CacheStageResult Finish();
  // The run failed elsewhere: both workers stop after their current file.
  void Abandon();

 private:
  bool encrypt_;
  DocumentQueue queue_;
  CacheStageResult result_;
  std::thread thread_;
};

// One worker: takes documents from `queue` until it is empty, compiles each
// and, with `encrypt`, then enciphers it. The first file that cannot be
// read or written stops the queue and leaves a failed `result` naming it;
// an encryption failure also prints a message. A document Qt rejects is no
// failure. With a run profile installed it records into worker `slot`.
void ProcessQmlFiles(DocumentQueue& queue, bool encrypt, FileStatus& result, int slot);

// All of `items` through a fresh stage.
CacheStageResult RunCacheWorkers(const QmlFileItems& items, bool encrypt);

}  // namespace prt
