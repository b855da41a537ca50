#pragma once
// The one road to a loaded data set, for the tool, the benchmark, the
// fuzzer and the companions: the data file's working copy, then its image
// and stored language, as a DataSet value.
#include <cstdint>
#include <optional>
#include <string>
#include <system_error>
#include <variant>

#include "data/Expected.h"
#include "data/files/WorkingCopy.h"
#include "data/image/TransferFileReader.h"
#include "data/set/DataSet.h"
#include "platform/FolderLock.h"

namespace prt {

// Why a file of the data set could not be loaded: the file at fault and
// the system's reason, or the container's error when its bytes were refused.
struct LoadFailure {
  std::u16string path;
  std::error_code error;
  std::optional<ContainerError> container;
};

// Why a data set did not open: its working copy could not be made, or a
// file of the working copy could not be loaded.
using OpenError = std::variant<ProjectPathError, LoadFailure>;

// The image of the container file `path` (at most limits::kDataFileBytes),
// with the container's name; stored language 0.
Expected<DataSet, LoadFailure> LoadImageFile(const std::u16string& path);

// Opens the data set whose data file is `dataFile` (a <name>.prt): makes or
// refreshes its working copy, holding the working folder's lock (waiting as
// `wait` says) as long as the data set lives, and loads it with the
// language stored there. On failure nothing is loaded and the working
// folder is released (and removed when this call made it).
Expected<DataSet, OpenError> OpenDataSet(const std::u16string& dataFile, const platform::LockWait& wait = {});

// A data set read in place, for programs that only look at it.
struct ReadOnlyDataSet {
  DataSet data;
  // Where a converter run keeps the data set's language:
  // <folder>/SimWork/<name>.rt_file.LANG beside the data file.
  std::u16string languageFile;
  // The language stored there, when the working copy there is the data
  // file's current one; a run would start in it. Otherwise a run copies
  // the data set afresh and starts in language 0.
  std::optional<uint32_t> storedLanguage;
};

// Loads the data file `dataFile` (a <name>.prt) as it stands: no working
// copy, no lock, nothing created or written. Refused as OpenDataSet refuses
// a missing, misnamed or damaged data file, or a stored language file that
// is not a regular file.
Expected<ReadOnlyDataSet, OpenError> OpenDataSetReadOnly(const std::u16string& dataFile);

}  // namespace prt
