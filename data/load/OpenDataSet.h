#pragma once
// The one road to a loaded data set, for the tool, the benchmark and the
// fuzzer: the data file's working copy, then the data manager over it.
// The loaded data set lives in the process-wide services (the file name
// generator, the file services and the data manager) that the generator
// reads.
#include <cstdint>
#include <optional>
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

// A data set read in place, for programs that only look at it.
struct ReadOnlyDataSet {
  CPRDataManager* data = nullptr;
  // Where a converter run keeps the data set's language:
  // <folder>/SimWork/<name>.rt_file.LANG beside the data file.
  std::u16string languageFile;
  // The language stored there, when the working copy there is the data
  // file's (same modification time); a run would start in it. Otherwise a
  // run copies the data set afresh and starts in language 0.
  std::optional<uint32_t> storedLanguage;
};

// Loads the data file `dataFile` (a <name>.prt) as it stands: no working
// copy, no lock, nothing created or written. Refused as OpenDataSet refuses
// a missing, misnamed or damaged data file, or a stored language file that
// is not a regular file.
Expected<ReadOnlyDataSet, OpenError> OpenDataSetReadOnly(const std::u16string& dataFile);

// Unloads the data set and releases its working folder; the next
// OpenDataSet starts afresh.
void CloseDataSet();

}  // namespace prt
