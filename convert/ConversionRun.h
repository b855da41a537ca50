#pragma once
// One conversion run, from the working folder's lock to the record of what
// it published: every screen's document of a data set, written, compiled
// and put in place of <output folder>/qmls in one step. The run owns every
// folder it works in, held by descriptor from the start.
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "convert/DocumentWorkers.h"
#include "convert/OutputFolders.h"
#include "convert/Publish.h"
#include "convert/Reuse.h"
#include "convert/RunError.h"
#include "convert/RunReport.h"
#include "convert/Staging.h"
#include "convert/TreeCheck.h"
#include "convert/WorkerPair.h"
#include "data/files/WorkingCopy.h"
#include "data/set/DataSet.h"
#include "platform/FolderLock.h"

namespace prt {

struct RunOptions {
  std::u16string dataFile;      // as the system walks it
  std::u16string outputFolder;  // as given: the run makes <outputFolder>/qmls
  bool encrypt = false;
  std::chrono::seconds lockWait{600};
  // False: every document is made afresh; the record is still written.
  bool reuse = true;
  // False: a published qmls that is current is not taken over whole, as
  // when each document must be named in a report.
  bool replayWhole = true;
  // A rejected document fails the run before the publish (PRT2QML_STRICT=1).
  bool strict = false;
  // The language the documents start in instead of the stored one, as the
  // user named it (PRT2QML_LANGUAGE); the stored one is not changed.
  std::optional<std::string> language;
};

class ConversionRun {
 public:
  // What happens on the way goes to `report`, which outlives the run.
  ConversionRun(RunOptions options, RunReport& report);

  // The run in the order of its stages; its one error, a RunError. The
  // working folder stays locked while the run lives.
  Status Run();

 private:
  // Locks the working folder beside the data file and brings the working
  // copy up to date.
  Status PrepareWorkingCopy();
  // Opens the output folder and locks it for the rest of the run; one that
  // does not exist is left for the staging folder to report.
  Status LockOutputFolder();
  // Reads what the last run published; true when qmls is already what
  // this run would make, which is then told as it was made.
  bool DecideReuse();
  // Loads the data set from the working copy.
  Status Load();
  // Makes the staging folder fresh in the output folder.
  Status PrepareStaging();
  // Measures every screen's control tree on both threads.
  Status CheckTrees();
  // Writes, saves, compiles and enciphers the documents on both threads.
  Status WriteDocuments();
  // In strict mode, fails the run for a rejected document.
  Status CheckStrict();
  // Writes the staging folder out and puts it in place of qmls.
  Status Publish();
  // Keeps the record of what was published for the next run.
  void Record();

  RunOptions options_;
  RunReport& report_;
  const OutputPaths paths_;
  RunError::Stage stage_ = RunError::Stage::WorkingCopy;  // the stage under way

  std::optional<WorkingCopy> copy_;
  platform::FolderHandle output_;
  std::error_code outputMissing_;  // why the output folder did not open
  platform::FolderLock outputLock_;
  std::optional<ReuseSource> source_;
  std::optional<ReuseRecord> last_;
  std::string key_;
  std::optional<DataSet> data_;
  std::optional<uint32_t> chosenLanguage_;  // options_.language, resolved
  StagingFolder staging_;
  std::optional<ReusableOutput> old_;
  WorkerPair pair_;
  std::vector<Screen> screens_;
  std::optional<DocumentWorkers> workers_;
  Published published_ = Published::Moved;
};

}  // namespace prt
