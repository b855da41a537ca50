#include "data/load/OpenDataSet.h"

#include <cstdio>

#include "platform/Endian.h"
#include "platform/FileCheck.h"
#include "platform/FileSystem.h"

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

namespace {

ProjectPathError DataFileError(ProjectPathError::Step step, const std::u16string& path, std::string reason) {
  ProjectPathError error;
  error.step = step;
  error.path = path;
  error.reason = std::move(reason);
  return error;
}

// The first four bytes, little-endian, as a run reads them; nullopt when
// the file cannot be opened (a run then starts in language 0).
Expected<std::optional<uint32_t>, OpenError> StoredLanguage(const std::u16string& path) {
  std::error_code error;
  std::FILE* file = platform::OpenStream(path, "rb", &error);
  if (!file) {
    // A FIFO, device or folder in its place is refused, as a run refuses it.
    if (error != std::errc::no_such_device_or_address && error != std::errc::is_a_directory)
      return std::optional<uint32_t>();
    return Unexpected{OpenError(CPRDataManager::LoadFailure{path, error, std::nullopt})};
  }
  uint8_t bytes[4] = {};  // a shorter file leaves the missing bytes 0, as in a run
  static_cast<void>(std::fread(bytes, 1, sizeof bytes, file));
  std::fclose(file);
  return std::optional<uint32_t>(platform::LoadLE32(bytes));
}

}  // namespace

Expected<ReadOnlyDataSet, OpenError> OpenDataSetReadOnly(const std::u16string& dataFile) {
  CloseDataSet();
  using Step = ProjectPathError::Step;
  const platform::FileCheck check = platform::CheckRegularFile(dataFile);
  if (check.kind != platform::FileKind::Regular)
    return Unexpected{OpenError(DataFileError(Step::OpenData, dataFile, check.reason))};
  // Linux names: only '/' separates.
  const size_t sep = dataFile.rfind(u'/');
  const std::u16string folder = sep == std::u16string::npos ? std::u16string() : dataFile.substr(0, sep + 1);
  const std::u16string fileName = dataFile.substr(folder.size());
  constexpr std::u16string_view kDataSuffix = u".prt";
  if (!std::u16string_view(fileName).ends_with(kDataSuffix))
    return Unexpected{OpenError(DataFileError(Step::NotPrtName, dataFile, "the data file name must end in .prt"))};

  ReadOnlyDataSet opened;
  const std::u16string work = folder + u"SimWork/";
  opened.languageFile = work + fileName.substr(0, fileName.size() - kDataSuffix.size()) + u".rt_file.LANG";
  if (WorkingCopyIsCurrent(work, dataFile, fileName)) {
    auto stored = StoredLanguage(opened.languageFile);
    if (!stored) return Unexpected{stored.Error()};
    opened.storedLanguage = *stored;
  }
  auto& data = CPRDataManager::GetInstance();
  if (auto failure = data.LoadReadOnly(dataFile, opened.storedLanguage.value_or(0)))
    return Unexpected{OpenError(std::move(*failure))};
  opened.data = &data;
  return opened;
}

void CloseDataSet() {
  CPRDataManager::GetInstance().Uninitialize();
  CPRFileNameGenerator::GetInstance().Reset();
}

}  // namespace prt
