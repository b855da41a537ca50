#include "app/RunStart.h"

#include <exception>
#include <iostream>

#include "generator/QmlGenerator.h"

namespace prt {

int RunStart(bool encryptOptionSeen, const std::u16string& outputFolder) {
  if (encryptOptionSeen) QmlGenerator::GetInstance()->encrypt = true;
  bool generated = false;
  try {
    generated = QmlGenerator::GetInstance()->GenerateQmlFiles(outputFolder);
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
