#pragma once
// The cache stage: the saved documents are shared out between exactly two
// workers (one extra thread and the calling thread), balanced by text
// length; each worker compiles its files and, when asked, enciphers them.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileStatus.h"

namespace prt {

struct WorkerProfile;

// One saved .qml file.
struct QmlFileItem {
  int32_t length = 0;  // UTF-16 code units of the text; only balances the workers
  std::u16string path;
};
using QmlFileItems = std::vector<std::shared_ptr<QmlFileItem>>;

struct WorkerShares {
  QmlFileItems share[2];
  uint32_t load[2] = {0, 0};
};

// Sorts `items` in place, largest length first (lengths compared unsigned),
// then deals them out one by one to the share with the smaller load; ties
// go to share 0.
WorkerShares SplitShares(QmlFileItems& items);

// One worker: compiles each file of the share and, with `encrypt`, then
// enciphers it. The first file that cannot be read or written ends the
// share with a failed result naming it; an encryption failure also prints
// a message. A document Qt rejects is no failure.
void ProcessQmlFiles(const QmlFileItems& share, bool encrypt, FileStatus& result,
                     WorkerProfile* profile = nullptr);

struct CacheStageResult {
  FileStatus worker[2];
  bool Ok() const { return worker[0].ok && worker[1].ok; }
};

// Splits `items`, runs share 1 on a new thread and share 0 on this one.
// A failure to start the thread escapes as std::system_error.
CacheStageResult RunCacheWorkers(QmlFileItems& items, bool encrypt);

}  // namespace prt
