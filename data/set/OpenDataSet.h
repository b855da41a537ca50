#pragma once
// The roads to a loaded data set, for the tool, the benchmark, the fuzzer
// and the companions: a prepared working copy, or a data file read in place.
#include <cstdint>
#include <optional>
#include <string>

#include "data/files/WorkingCopy.h"
#include "data/set/DataSet.h"
#include "platform/Error.h"

namespace prt {

// The image of the container file `path` (at most limits::kDataFileBytes),
// with the container's name; stored language 0. Fails with the system's
// error reading it (platform::SystemError) or a ContainerError naming where
// and why its bytes were refused.
Result<DataSet> LoadImageFile(const std::u16string& path);

// The data set of a prepared working copy, from the bytes read for it
// (taken from the copy), with the language stored there. The copy stays
// the caller's. Fails as LoadImageFile does, or with the SystemError of a
// language file that must not be read.
Result<DataSet> LoadWorkingCopy(WorkingCopy& copy);

// Opens the data set whose data file is `dataFile` (a <name>.prt): makes or
// refreshes its working copy, holding the working folder's lock (waiting as
// `wait` says) as long as the data set lives, and loads it. Fails with a
// WorkingCopyError or as LoadWorkingCopy does; then nothing is loaded and
// the working folder is released (and removed when this call made it).
Result<DataSet> OpenDataSet(const std::u16string& dataFile, const platform::LockWait& wait = {});

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
  // Where a run keeps its connection records, beside the language file.
  std::u16string connectionFile;
};

// Loads the data file `dataFile` (a <name>.prt) as it stands: no working
// copy, no lock, nothing created or written. Refused as OpenDataSet refuses
// a missing, misnamed or damaged data file, or a stored language file that
// is not a regular file.
Result<ReadOnlyDataSet> OpenDataSetReadOnly(const std::u16string& dataFile);

}  // namespace prt
