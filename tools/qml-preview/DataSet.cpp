#include "tools/qml-preview/DataSet.h"

#include <QFileInfo>

#include "app/Messages.h"
#include "controls/ControlFactory.h"
#include "controls/ScreenDocument.h"
#include "data/load/OpenDataSet.h"
#include "data/manager/CPRDataManager.h"
#include "data/manager/DataValue.h"

namespace prt::preview {

namespace {

CPRDataManager& Data() { return CPRDataManager::GetInstance(); }

}  // namespace

Expected<std::unique_ptr<DataSet>, QString> DataSet::Open(const std::u16string& dataFile) {
  const auto opened = OpenDataSetReadOnly(dataFile);
  if (!opened) return Unexpected{QString::fromStdString(OpenErrorMessage(opened.Error(), dataFile, dataFile, {}))};
  std::unique_ptr<DataSet> dataSet(new DataSet);
  // Loaded in the stored language, as a run starts, before any text is looked up.
  dataSet->firstLanguage = opened->data->GetCurrentLanguageIndex();
  dataSet->name = QString::fromStdString(opened->data->GetDataSetName());
  if (dataSet->name.isEmpty()) dataSet->name = QFileInfo(QString::fromStdU16String(dataFile)).completeBaseName();
  return dataSet;
}

DataSet::~DataSet() { CloseDataSet(); }

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
  uint32_t language = firstLanguage;
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
