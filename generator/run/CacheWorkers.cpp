#include "generator/run/CacheWorkers.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <new>
#include <system_error>

#include "generator/cipher/FileCipher.h"
#include "generator/run/QmlCacheGen.h"
#include "generator/run/RunProfile.h"

namespace prt {

namespace {

// Heap order: the longest on top; lengths compared unsigned.
bool Shorter(const QmlFileItemPtr& a, const QmlFileItemPtr& b) {
  return static_cast<uint32_t>(a->length) < static_cast<uint32_t>(b->length);
}

}  // namespace

void DocumentQueue::Push(QmlFileItemPtr item) {
  {
    std::lock_guard lock(mutex_);
    heap_.push_back(std::move(item));
    std::push_heap(heap_.begin(), heap_.end(), Shorter);
  }
  changed_.notify_one();
}

void DocumentQueue::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

void DocumentQueue::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    heap_.clear();
  }
  changed_.notify_all();
}

QmlFileItemPtr DocumentQueue::Take() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return stopped_ || closed_ || !heap_.empty(); });
  if (stopped_ || heap_.empty()) return nullptr;
  std::pop_heap(heap_.begin(), heap_.end(), Shorter);
  QmlFileItemPtr item = std::move(heap_.back());
  heap_.pop_back();
  return item;
}

void ProcessQmlFiles(DocumentQueue& queue, bool encrypt, FileStatus& result, int slot) {
  using Clock = std::chrono::steady_clock;
  RunProfile* run = ActiveRunProfile();
  WorkerProfile* profile = run ? &run->workers[slot] : nullptr;
  if (profile) profile->startSeconds = SecondsSince(run->origin);
  result = {};
  std::string bytes;  // one document at a time, kept from file to file
  while (QmlFileItemPtr item = queue.Take()) {
    try {
      const auto compileStart = Clock::now();
      result = QmlCacheGen::MiniQmlCacheGen(item->path, bytes);
      if (profile) {
        profile->compileSeconds += SecondsSince(compileStart);
        ++profile->files;
        profile->load += static_cast<uint32_t>(item->length);
      }
      if (result.ok && encrypt) {
        const auto encryptStart = Clock::now();
        // A path that is no document was not read: the cipher reads it.
        result = bytes.empty() ? Encrypt(item->path) : EncryptContent(item->path, bytes);
        if (profile) profile->encryptSeconds += SecondsSince(encryptStart);
        if (!result.ok) std::cerr << result.notes + "operator () failed to encrypt qml files.\n" << std::flush;
      }
    } catch (const std::bad_alloc&) {
      // Fails the run with a line naming the cache, instead of ending the
      // process from this thread.
      result = FileStatus::Failed(item->path + u'c', std::make_error_code(std::errc::not_enough_memory));
    }
    if (!result.ok) {
      // The run fails: the other worker need not go on.
      queue.Stop();
      break;
    }
  }
  if (profile) profile->endSeconds = SecondsSince(run->origin);
}

CacheStage::CacheStage(bool encrypt, std::function<void()> first)
    : encrypt_(encrypt), thread_([this, first = std::move(first)] {
        if (first) first();
        ProcessQmlFiles(queue_, encrypt_, result_.worker[1], 1);
      }) {}

CacheStage::~CacheStage() {
  if (thread_.joinable()) {
    queue_.Stop();
    thread_.join();
  }
}

CacheStageResult CacheStage::Finish() {
  queue_.Close();
  ProcessQmlFiles(queue_, encrypt_, result_.worker[0], 0);
  thread_.join();
  return result_;
}

void CacheStage::Abandon() {
  queue_.Stop();
  thread_.join();
}

CacheStageResult RunCacheWorkers(const QmlFileItems& items, bool encrypt) {
  CacheStage stage(encrypt);
  for (const auto& item : items) stage.Add(item);
  return stage.Finish();
}

}  // namespace prt
