#include "tools/qml-preview/DataSet.h"

#include <QDir>
#include <QFileInfo>
#include <chrono>
#include <vector>

#include "app/Messages.h"
#include "controls/ControlFactory.h"
#include "controls/ScreenDocument.h"
#include "data/image/TransferFileReader.h"
#include "data/manager/CPRDataManager.h"
#include "data/manager/DataValue.h"
#include "platform/FileSystem.h"

namespace prt::preview {

namespace {

CPRDataManager& Data() { return CPRDataManager::GetInstance(); }

// The language the converter starts in: the one stored in the working copy,
// while the copy is of this data file (a fresh copy has none), else the first.
uint32_t StoredLanguage(const std::u16string& dataFile) {
  const QFileInfo file(QString::fromStdU16String(dataFile));
  const std::u16string work =
      file.dir().filePath(QStringLiteral("SimWork")).toStdU16String() + u'/' + file.completeBaseName().toStdU16String();
  const int64_t copied = platform::LastWriteTimeMs(work + u".prt");
  std::string bytes;
  if (copied == 0 || copied != platform::LastWriteTimeMs(dataFile) ||
      platform::ReadWholeFile(work + u".rt_file.LANG", bytes))
    return 0;
  uint32_t index = 0;
  for (size_t i = 0; i < std::min<size_t>(4, bytes.size()); ++i) index |= uint32_t{uint8_t(bytes[i])} << (8 * i);
  return index < Data().GetLanguageCount() ? index : 0;
}

}  // namespace

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
  if (!Data().AdoptImage(std::move(payload)))
    return failed({}, ContainerError{ContainerError::Place::Payload, 0, reader->PayloadOffset(),
                                     "the runtime image has an unknown signature"});
  std::unique_ptr<DataSet> dataSet(new DataSet);
  dataSet->dataFile = dataFile;
  dataSet->name = QString::fromStdString(reader->Name());
  if (dataSet->name.isEmpty()) dataSet->name = QFileInfo(QString::fromStdU16String(dataFile)).completeBaseName();
  return dataSet;
}

DataSet::~DataSet() { Data().Uninitialize(); }

QString DataSet::LanguageName(int language) {
  return QString::number(Data().GetLanguageId(static_cast<uint32_t>(language)));
}

std::optional<QString> DataSet::Text(uint32_t number, int language) {
  std::u16string text;
  if (!Data().SelectLanguage(static_cast<uint32_t>(language))) return std::nullopt;
  const ImageRef found = Data().GetText(number);
  if (!found || !found.ReadCountedString(text)) return std::nullopt;
  return QString::fromStdU16String(text);
}

QString DataSet::ObjectText(uint32_t reference, int language) {
  Data().SelectLanguage(static_cast<uint32_t>(language));
  DataValue value;
  if (Data().GetObjectText(reference, &value)) return {};  // it has none: a placeholder was made
  return QString::fromStdU16String(value.TextCopy().value_or(std::u16string()));
}

std::map<QString, int> DataSet::StartLanguages() {
  std::map<QString, int> starts;
  uint32_t language = StoredLanguage(dataFile);
  for (const uint8_t type : ScreenTypes) {
    const uint32_t count = Data().GetObjectCount(type);
    for (uint32_t i = 0; i < count; ++i) {
      const ControlPtr screen = CreateScreen(Data().GetObjectRecord((uint32_t{type} << 24) | (i & 0xFFFFFFu)));
      if (!screen) continue;
      // Templates all go to tmpl.qml: the last one's stands.
      const QString code = QString::fromUtf8(screen->GetTypeCode().data(), qsizetype(screen->GetTypeCode().size()));
      starts[code == QLatin1String("tmpl") ? QStringLiteral("tmpl.qml")
                                           : code + QString::number(static_cast<int32_t>(screen->GetObjID())) +
                                                 QStringLiteral(".qml")] = static_cast<int>(language);
      if (const auto leaves = LanguageLeftBy(*screen)) language = *leaves;
    }
  }
  return starts;
}

}  // namespace prt::preview
