#pragma once
// The one road to a loaded data set, for the tool, the benchmark and the
// fuzzer: the data file's working copy, then the data manager over it.
// The loaded data set lives in the process-wide services (the file name
// generator, the file services and the data manager) that the generator
// reads.
#include <string>
#include <variant>

#include "data/Expected.h"
#include "data/files/CPRFileNameGenerator.h"
#include "data/manager/CPRDataManager.h"
#include "platform/FolderLock.h"

namespace prt {

// Why a data set did not open: its working copy could not be made, or a
// file of the working copy could not be loaded.
using OpenError = std::variant<ProjectPathError, CPRDataManager::LoadFailure>;

struct OpenedDataSet {
  CPRDataManager* data = nullptr;
  const CPRFileNameGenerator* names = nullptr;
};

// Opens the data set whose data file is `dataFile` (a <name>.prt): makes or
// refreshes its working copy, holding the working folder's lock (waiting as
// `wait` says) until CloseDataSet or the end of the process, and loads it.
// On failure nothing is loaded and the working folder is released (and
// removed when this call made it).
Expected<OpenedDataSet, OpenError> OpenDataSet(const std::u16string& dataFile, const platform::LockWait& wait = {});

// Unloads the data set and releases its working folder; the next
// OpenDataSet starts afresh.
void CloseDataSet();

}  // namespace prt
