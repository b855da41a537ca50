#include "data/set/OpenDataSet.h"

#include <algorithm>
#include <cstdio>

#include "data/image/ByteCursor.h"
#include "data/image/TransferFileReader.h"
#include "platform/Endian.h"
#include "platform/FileCheck.h"
#include "platform/FileSystem.h"
#include "platform/Limits.h"

namespace prt {

namespace {

Error DataFileError(Error::Step step, const std::u16string& path, std::string reason) {
  Error error;
  error.step = step;
  error.path = path;
  error.rule = std::move(reason);
  return error;
}

// The first four bytes, little-endian, as a run reads them; nullopt when
// the file cannot be opened (a run then starts in language 0). Nothing is
// created.
Error ReadError(const std::u16string& path, std::error_code code) {
  Error error;
  error.step = Error::Step::Read;
  error.path = path;
  error.code = code;
  return error;
}

Result<std::optional<uint32_t>> PeekStoredLanguage(const std::u16string& path) {
  std::error_code error;
  std::FILE* file = platform::OpenStream(path, "rb", &error);
  if (!file) {
    // A FIFO, device or folder in its place is refused, as a run refuses it.
    if (error != std::errc::no_such_device_or_address && error != std::errc::is_a_directory)
      return std::optional<uint32_t>();
    return Fail(ReadError(path, error));
  }
  uint8_t bytes[4] = {};  // a shorter file leaves the missing bytes 0, as in a run
  [[maybe_unused]] const size_t read = std::fread(bytes, 1, sizeof bytes, file);
  std::fclose(file);
  return std::optional<uint32_t>(platform::LoadLE32(bytes));
}

// The image of the container file `path` whose bytes are `file`.
Result<DataSet> LoadImage(platform::ByteBlock file, const std::u16string& path) {
  auto reader = TransferFileReader::Load(std::move(file));
  if (!reader) {
    Error refused = reader.Error();
    refused.path = path;
    return Fail(std::move(refused));
  }
  reader->AdjustByteOrder(ByteOrder::Little, 0);
  std::string name = reader->Name();
  // Base 0: every reference becomes its target's offset in the image.
  reader->Relocate(0, 0);
  const uint64_t payloadOffset = reader->PayloadOffset();
  const uint32_t size = reader->PayloadSize();
  platform::ByteBlock bytes = std::move(*reader).TakeFile();
  // The image stays where it was read; the file's head before it and
  // anything after it leave their pages unused for the rest of the process.
  platform::DiscardPages(bytes.Data(), payloadOffset);
  platform::DiscardPages(bytes.Data() + payloadOffset + size, bytes.Size() - payloadOffset - size);
  std::optional<DataSet> data = DataSet::FromImage(std::move(bytes), payloadOffset, size);
  if (!data) {
    Error wrong = ContainerFault(Error::Part::Payload, 0, payloadOffset, "the runtime image has an unknown signature");
    wrong.path = path;
    return Fail(std::move(wrong));
  }
  data->SetName(std::move(name));
  return std::move(*data);
}

}  // namespace

Result<DataSet> LoadImageFile(const std::u16string& path) {
  platform::FileSnapshot file;
  if (const std::error_code error = platform::ReadSnapshot(path, limits::kDataFileBytes, file, true))
    return Fail(ReadError(path, error));
  return LoadImage(std::move(file.bytes), path);
}

Result<DataSet> OpenDataSet(const std::u16string& dataFile, const platform::LockWait& wait) {
  platform::ByteBlock bytes;
  auto copy = WorkingCopy::Prepare(dataFile, wait, &bytes);
  if (!copy) return Fail(copy.Error());
  return OpenDataSet(std::move(*copy), std::move(bytes));
}

Result<DataSet> OpenDataSet(WorkingCopy prepared, platform::ByteBlock bytes) {
  std::optional<WorkingCopy> copy(std::move(prepared));
  // The working copy's bytes, as read for it, are not read again.
  auto data = bytes.Valid() ? LoadImage(std::move(bytes), copy->FileName(kFileConfig))
                            : LoadImageFile(copy->FileName(kFileConfig));
  if (!data) {
    std::move(*copy).Discard();
    return Fail(data.Error());
  }
  const auto stored = ReadStoredLanguage(copy->FileName(kFileLanguage));
  if (!stored) {
    std::move(*copy).Discard();
    return Fail(stored.Error());
  }
  data->SetStoredLanguage(*stored);
  data->Keep(std::move(*copy));
  return std::move(*data);
}

Result<ReadOnlyDataSet> OpenDataSetReadOnly(const std::u16string& dataFile) {
  using Step = Error::Step;
  const platform::FileCheck check = platform::CheckRegularFile(dataFile);
  if (check.kind != platform::FileKind::Regular)
    return Fail(DataFileError(Step::OpenData, dataFile, check.reason));
  // Linux names: only '/' separates.
  const size_t sep = dataFile.rfind(u'/');
  const std::u16string folder = sep == std::u16string::npos ? std::u16string() : dataFile.substr(0, sep + 1);
  const std::u16string fileName = dataFile.substr(folder.size());
  constexpr std::u16string_view kDataSuffix = u".prt";
  if (!std::u16string_view(fileName).ends_with(kDataSuffix))
    return Fail(DataFileError(Step::NotPrtName, dataFile, "the data file name must end in .prt"));

  const std::u16string work = folder + u"SimWork/";
  const std::u16string languageFile =
      work + fileName.substr(0, fileName.size() - kDataSuffix.size()) + u".rt_file.LANG";
  std::optional<uint32_t> stored;
  if (WorkingCopyIsCurrent(work, dataFile, fileName)) {
    auto peeked = PeekStoredLanguage(languageFile);
    if (!peeked) return Fail(peeked.Error());
    stored = *peeked;
  }
  auto data = LoadImageFile(dataFile);
  if (!data) return Fail(data.Error());
  data->SetStoredLanguage(stored.value_or(0));
  return ReadOnlyDataSet{std::move(*data), languageFile, stored};
}

}  // namespace prt
