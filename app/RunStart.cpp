#include "app/RunStart.h"

#include <exception>
#include <iostream>
#include <new>

#include "app/Messages.h"
#include "generator/run/GenerationRun.h"
#include "generator/text/QmlGenerator.h"

namespace prt {

int RunStart(bool encryptOptionSeen, const std::u16string& outputFolder, const platform::LockWait& wait) {
  const std::u16string lockFolder = outputFolder.empty() ? std::u16string(u"/") : outputFolder;
  const platform::LockResult lock = platform::LockFolder(lockFolder, wait);
  if (lock.status == platform::LockStatus::TimedOut || lock.status == platform::LockStatus::Failed) {
    const auto bound = std::chrono::duration_cast<std::chrono::seconds>(wait.bound);
    std::cerr << "prt2qml: "
              << LockFailureMessage("output folder", lockFolder, lock.status, lock.reason, lock.holder, bound)
              << std::endl;
    std::cerr << "Generate QML files failed!" << std::endl;
    return -3;
  }

  if (encryptOptionSeen) QmlGenerator::GetInstance()->encrypt = true;
  bool generated = false;
  try {
    generated = GenerateQmlFiles(*QmlGenerator::GetInstance(), outputFolder);
  } catch (const std::bad_alloc&) {
    std::cerr << "prt2qml: out of memory" << std::endl;
  } catch (const std::exception& e) {
    // A file-system error outside the run's guarded steps, or a worker
    // thread that could not start: the run cannot go on, and nothing of the
    // final folder has been touched. It ends like any failed run.
    std::cerr << "GenerateQmlFiles aborted: " << e.what() << std::endl;
  }
  if (!generated) {
    std::cerr << "Generate QML files failed!" << std::endl;
    return -3;
  }
  return 0;
}

}  // namespace prt
