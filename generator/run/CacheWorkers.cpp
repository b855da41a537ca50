#include "generator/run/CacheWorkers.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <thread>

#include "generator/cipher/FileCipher.h"
#include "generator/run/QmlCacheGen.h"
#include "generator/run/RunProfile.h"

namespace prt {

WorkerShares SplitShares(QmlFileItems& items) {
  std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
    return static_cast<uint32_t>(a->length) > static_cast<uint32_t>(b->length);
  });
  WorkerShares shares;
  for (const auto& item : items) {
    const int target = shares.load[1] < shares.load[0] ? 1 : 0;
    shares.share[target].push_back(item);
    shares.load[target] += static_cast<uint32_t>(item->length);
  }
  return shares;
}

void ProcessQmlFiles(const QmlFileItems& share, bool encrypt, FileStatus& result, WorkerProfile* profile) {
  using Clock = std::chrono::steady_clock;
  const auto begin = Clock::now();
  result = {};
  for (const auto& item : share) {
    const auto compileStart = Clock::now();
    result = QmlCacheGen::MiniQmlCacheGen(item->path);
    if (profile) {
      profile->compileSeconds += SecondsSince(compileStart);
      ++profile->files;
      profile->load += static_cast<uint32_t>(item->length);
    }
    if (result.ok && encrypt) {
      const auto encryptStart = Clock::now();
      result = Encrypt(item->path);
      if (profile) profile->encryptSeconds += SecondsSince(encryptStart);
      if (!result.ok) std::cerr << result.notes + "operator () failed to encrypt qml files.\n" << std::flush;
    }
    if (!result.ok) break;
  }
  if (profile) profile->wallSeconds = SecondsSince(begin);
}

CacheStageResult RunCacheWorkers(QmlFileItems& items, bool encrypt) {
  WorkerShares shares = SplitShares(items);
  RunProfile* profile = ActiveRunProfile();
  WorkerProfile* p0 = profile ? &profile->workers[0] : nullptr;
  WorkerProfile* p1 = profile ? &profile->workers[1] : nullptr;
  CacheStageResult result;
  // The thread takes its own copy of share 1; the items themselves are shared.
  std::thread worker(ProcessQmlFiles, shares.share[1], encrypt, std::ref(result.worker[1]), p1);
  ProcessQmlFiles(shares.share[0], encrypt, result.worker[0], p0);
  worker.join();
  return result;
}

}  // namespace prt
