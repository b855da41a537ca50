#pragma once
// The run's folders in the output folder before and after the documents:
// the staging folder made fresh, and what killed runs left swept.
#include <string>

#include "convert/OutputFolders.h"
#include "convert/RunError.h"
#include "convert/RunReport.h"
#include "platform/Folders.h"

namespace prt {

// The staging folder, held, and what was moved aside to make it, for the
// run to remove at its end.
struct StagingFolder {
  platform::FolderHandle folder;
  std::u16string aside;  // a name in the output folder; empty when nothing was moved
};

// Makes the staging folder in `output` a fresh, empty folder of the run's
// own: a missing one is created; an existing folder is emptied, reporting
// every removed entry and every one that could not be removed. A link, a
// file or a folder that could not be emptied is never written into or
// followed: it is moved aside (StagingFolder::aside) and a new folder is
// made. An `output` that did not open fails as the staging folder's
// creation would, with `outputMissing`. Fails in Stage::Staging or, when
// the folder made cannot be held, Stage::Write.
Expected<StagingFolder, RunError> PrepareStaging(const platform::FolderHandle& output, std::error_code outputMissing,
                                                 const OutputPaths& paths, RunReport& report);

// Removes what PrepareStaging moved aside; what cannot be removed stays,
// reported.
void RemoveAside(const platform::FolderHandle& output, const StagingFolder& staging, const OutputPaths& paths,
                 RunReport& report);

// Removes what killed runs left in `output` under the names only runs use
// there: qmls_copying, and qmls_generating.stale.<n> and
// qmls_copying.stale.<n> (what was moved aside). The caller holds the
// folder's lock. What cannot be removed stays: it was named when it was
// left behind.
void RemoveLeftovers(const platform::FolderHandle& output);

}  // namespace prt
