#include "tools/qml-preview/DataSet.h"

#include <QFileInfo>
#include <chrono>
#include <vector>

#include "app/Messages.h"
#include "data/image/TransferFileReader.h"
#include "data/manager/DataValue.h"
#include "platform/FileSystem.h"

namespace prt::preview {

Expected<std::unique_ptr<DataSet>, QString> DataSet::Open(const std::u16string& dataFile) {
  // The loading road's steps on the file itself; its messages for failures.
  auto failed = [&](std::error_code error, std::optional<ContainerError> container) {
    const OpenError why = CPRDataManager::LoadFailure{dataFile, error, std::move(container)};
    return Unexpected{QString::fromStdString(OpenErrorMessage(why, dataFile, dataFile, std::chrono::seconds(0)))};
  };
  std::vector<uint8_t> file;
  if (const std::error_code error = platform::ReadWholeFile(dataFile, file)) return failed(error, std::nullopt);
  auto reader = TransferFileReader::LoadBytes(std::move(file));
  if (!reader) return failed({}, reader.Error());
  reader->AdjustByteOrder(ByteOrder::Little, 0);
  reader->Relocate(0, 0);
  std::vector<uint8_t>& payload = reader->Payload();
  payload.resize(std::min<size_t>(reader->PayloadSize(), payload.size()));
  auto dataSet = std::make_unique<DataSet>();
  dataSet->name = QString::fromStdString(reader->Name());
  if (dataSet->name.isEmpty()) dataSet->name = QFileInfo(QString::fromStdU16String(dataFile)).completeBaseName();
  if (!dataSet->data.AdoptImage(std::move(payload)))
    return failed({}, ContainerError{ContainerError::Place::Payload, 0, reader->PayloadOffset(),
                                     "the runtime image has an unknown signature"});
  return dataSet;
}

QString DataSet::ProjectName() { return name; }

int DataSet::LanguageCount() { return static_cast<int>(data.GetLanguageCount()); }

QString DataSet::LanguageName(int language) {
  return QString::number(data.GetLanguageId(static_cast<uint32_t>(language)));
}

std::optional<QString> DataSet::Text(uint32_t number, int language) {
  if (!data.SetLanguage(static_cast<int16_t>(language), false)) return std::nullopt;
  std::u16string text;
  const ImageRef found = data.GetText(number);
  if (!found || !found.ReadCountedString(text)) return std::nullopt;
  return QString::fromStdU16String(text);
}

QString DataSet::ObjectText(uint32_t reference, int language) {
  data.SetLanguage(static_cast<int16_t>(language), false);
  DataValue value;
  if (data.GetObjectText(reference, &value)) return {};  // it has none: a placeholder was made
  return QString::fromStdU16String(value.TextCopy().value_or(std::u16string()));
}

}  // namespace prt::preview
