#pragma once
// The second half of the driver: starts the generation run and turns its
// outcome into the exit code.
#include <string>

#include "platform/FolderLock.h"

namespace prt {

class DataSet;

// Locks the output folder (an empty text is the root) for the rest of the
// process, then runs; a folder that does not exist is left for the run to
// report.
int RunStart(const DataSet& data, bool encryptOptionSeen, const std::u16string& outputFolder,
             const platform::LockWait& wait);

}  // namespace prt
