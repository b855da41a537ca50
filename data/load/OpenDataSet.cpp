#include "data/load/OpenDataSet.h"

namespace prt {

Expected<OpenedDataSet, OpenError> OpenDataSet(const std::u16string& dataFile, const platform::LockWait& wait) {
  CloseDataSet();
  auto& names = CPRFileNameGenerator::GetInstance();
  names.InitializeOnce();
  if (auto error = names.SetProjectPath(dataFile, wait)) return Unexpected{OpenError(std::move(*error))};
  auto& data = CPRDataManager::GetInstance();
  if (auto failure = data.Load()) {
    data.Uninitialize();
    names.Discard();
    return Unexpected{OpenError(std::move(*failure))};
  }
  return OpenedDataSet{&data, &names};
}

void CloseDataSet() {
  CPRDataManager::GetInstance().Uninitialize();
  CPRFileNameGenerator::GetInstance().Reset();
}

}  // namespace prt
