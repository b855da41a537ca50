#pragma once
// Putting the finished staging folder in place of the final one in one
// step, durably: a kill at any moment leaves the final folder whole, old or
// new. Everything is named inside the output folder held.
#include "convert/OutputFolders.h"
#include "convert/RunError.h"
#include "convert/RunReport.h"
#include "platform/Folders.h"

namespace prt {

enum class Published { Moved, Copied };

// Puts the staging folder `staging` in `output` in place of the final
// folder in one step: it is exchanged with an existing final folder (whose
// old content is then removed) or renamed to it. When that is refused, the
// files are copied into a fresh sibling (qmls_copying), written to disk and
// put in place the same way; the staging folder stays then. The files must
// already be on disk; the step itself is made durable. Fails in
// Stage::Publish with the final folder untouched, unless only the last
// flush failed.
Expected<Published, RunError> PublishStaging(const platform::FolderHandle& output,
                                             const platform::FolderHandle& staging, const OutputPaths& paths,
                                             RunReport& report);
// The fallback alone.
Expected<Published, RunError> PublishByCopy(const platform::FolderHandle& output,
                                            const platform::FolderHandle& staging, const OutputPaths& paths,
                                            RunReport& report);

}  // namespace prt
