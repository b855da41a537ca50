#pragma once
// The second half of the driver: locks the output folder, loads the data
// set unless the published output is already what it would make, starts
// the generation run and turns its outcome into the exit code.
#include <functional>
#include <string>

#include "data/files/WorkingCopy.h"
#include "platform/ByteBlock.h"
#include "platform/Error.h"
#include "platform/FolderLock.h"

namespace prt {

// Locks the output folder (an empty text is the root) for the rest of the
// process; a folder that does not exist is left for the run to report.
// Unless PRT2QML_REUSE is 0, published files that the record in the working
// folder still describes are reused, and when qmls is wholly what the data
// file would give, nothing is loaded. A data set that does not load goes to
// `loadFailed` (null: out of memory), which answers the exit code.
int RunStart(WorkingCopy copy, platform::ByteBlock bytes, bool encryptOptionSeen, const std::u16string& outputFolder,
             const platform::LockWait& wait, const std::function<int(const Error*)>& loadFailed);

}  // namespace prt
