// prt2qml: converts a project's runtime data set into QML documents.
#include <iostream>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/RunStart.h"
#include "data/files/CPRFileNameGenerator.h"
#include "data/manager/CPRDataManager.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

int main(int argc, char* argv[]) {
  prt::platform::PrepareProcess();
  if (!prt::ArgumentCountValid(argc)) {
    std::cerr << "Invalid parameters!" << std::endl;
    std::cout << prt::UsageText(argc > 0 && argv[0] ? argv[0] : "") << std::endl;
    return -1;
  }

  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.push_back(prt::platform::WidenPath(argv[i]));
  const prt::CommandLine line = prt::ScanCommandLine(args);

  auto& names = prt::CPRFileNameGenerator::GetInstance();
  names.InitializeOnce();
  names.SetProjectPath(line.projectPath);

  auto& data = prt::CPRDataManager::GetInstance();
  data.InitializeOnce();
  if (!data.IsInitialisedFlag()) {
    std::cerr << "Initialize Data Manager failed!" << std::endl;
    return -2;
  }

  return prt::RunStart(line.encryptOptionSeen, line.outputFolder);
}
