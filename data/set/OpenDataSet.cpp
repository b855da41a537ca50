#include "data/set/OpenDataSet.h"

#include <cstdio>

#include "data/image/ContainerError.h"
#include "data/image/TransferFileReader.h"
#include "platform/Endian.h"
#include "platform/Files.h"
#include "platform/Limits.h"
#include "platform/Paths.h"
#include "platform/Process.h"

namespace prt {

namespace {

namespace pf = prt::platform;

// The first four bytes, little-endian, as a run reads them; none when the
// file cannot be opened (a run then starts in language 0). Nothing is
// created.
Result<std::optional<uint32_t>> PeekStoredLanguage(const std::u16string& path) {
  const pf::SysResult<std::FILE*> file = pf::OpenStream(path, "rb");
  if (!file) {
    // A FIFO, device or folder in its place is refused, as a run refuses it.
    const std::error_code error = file.Error().code;
    if (error != std::errc::no_such_device_or_address && error != std::errc::is_a_directory)
      return std::optional<uint32_t>();
    return Fail(pf::SystemError{pf::Op::Read, path, error});
  }
  uint8_t bytes[4] = {};  // a shorter file leaves the missing bytes 0, as in a run
  [[maybe_unused]] const size_t read = std::fread(bytes, 1, sizeof bytes, *file);
  std::fclose(*file);
  return std::optional<uint32_t>(pf::LoadLE32(bytes));
}

// The image of the container file whose bytes are `file`.
Result<DataSet> LoadImage(pf::ByteBlock file) {
  auto reader = TransferFileReader::Load(std::move(file));
  if (!reader) return Fail(reader.Error());
  reader->AdjustByteOrder(ByteOrder::Little, 0);
  std::string name = reader->Name();
  // Base 0: every reference becomes its target's offset in the image.
  reader->Relocate(0, 0);
  const uint64_t payloadOffset = reader->PayloadOffset();
  const uint32_t size = reader->PayloadSize();
  pf::ByteBlock bytes = std::move(*reader).TakeFile();
  // The image stays where it was read; the file's head before it and
  // anything after it leave their pages unused for the rest of the process.
  pf::DiscardPages(bytes.Data(), payloadOffset);
  pf::DiscardPages(bytes.Data() + payloadOffset + size, bytes.Size() - payloadOffset - size);
  std::optional<DataSet> data = DataSet::FromImage(std::move(bytes), payloadOffset, size);
  if (!data)
    return Fail(ContainerError{ContainerError::Part::Payload, 0, payloadOffset,
                               "the runtime image has an unknown signature"});
  data->SetName(std::move(name));
  return std::move(*data);
}

Unexpected<WorkingCopyError> Refused(WorkingCopyError::Step step, const std::u16string& path, std::string reason) {
  return Fail(WorkingCopyError{step, path, {}, std::move(reason), {}});
}

}  // namespace

Result<DataSet> LoadImageFile(const std::u16string& path) {
  pf::SysResult<pf::FileSnapshot> file = pf::ReadSnapshot(path, limits::kDataFileBytes, true);
  if (!file) return Fail(file.Error());
  return LoadImage(std::move(file->bytes));
}

Result<DataSet> LoadWorkingCopy(WorkingCopy& copy) {
  Result<DataSet> data = LoadImage(copy.TakeDataBytes());
  if (!data) return data;
  const Expected<uint32_t, pf::SystemError> stored = ReadStoredLanguage(copy);
  if (!stored) return Fail(stored.Error());
  data->SetStoredLanguage(*stored);
  return data;
}

Result<DataSet> OpenDataSet(const std::u16string& dataFile, const platform::LockWait& wait) {
  Expected<WorkingCopy, WorkingCopyError> copy = WorkingCopy::Prepare(dataFile, wait);
  if (!copy) return Fail(copy.Error());
  Result<DataSet> data = LoadWorkingCopy(*copy);
  if (!data) {
    std::move(*copy).Discard();
    return data;
  }
  data->HoldWorkingFolder(std::move(*copy));
  return data;
}

Result<ReadOnlyDataSet> OpenDataSetReadOnly(const std::u16string& dataFile) {
  using Step = WorkingCopyError::Step;
  if (const pf::SysResult<uint64_t> size = pf::RegularFileSize(dataFile); !size)
    return Refused(Step::OpenData, dataFile, size.Error().Reason());
  // Linux names: only '/' separates.
  const size_t sep = dataFile.rfind(u'/');
  const std::u16string folder = sep == std::u16string::npos ? std::u16string() : dataFile.substr(0, sep + 1);
  const std::u16string fileName = dataFile.substr(folder.size());
  if (!std::u16string_view(fileName).ends_with(kDataFileSuffix))
    return Refused(Step::NotPrtName, dataFile, "the data file name must end in .prt");

  const std::u16string work = folder + std::u16string(kWorkFolderName) + u"/";
  const std::u16string base = work + fileName.substr(0, fileName.size() - kDataFileSuffix.size());
  const std::u16string languageFile = DataSetFileName(base, kFileLanguage);
  std::optional<uint32_t> stored;
  if (WorkingCopyIsCurrent(work, dataFile, fileName)) {
    Result<std::optional<uint32_t>> peeked = PeekStoredLanguage(languageFile);
    if (!peeked) return Fail(peeked.Error());
    stored = *peeked;
  }
  Result<DataSet> data = LoadImageFile(dataFile);
  if (!data) return Fail(data.Error());
  data->SetStoredLanguage(stored.value_or(0));
  return ReadOnlyDataSet{std::move(*data), languageFile, stored, DataSetFileName(base, kFileConnection)};
}

}  // namespace prt
