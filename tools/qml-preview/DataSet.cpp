#include "tools/qml-preview/DataSet.h"

#include <QFileInfo>

#include "cli/Messages.h"
#include "controls/ControlFactory.h"
#include "controls/ScreenDocument.h"
#include "data/set/OpenDataSet.h"

namespace prt::preview {

namespace {

std::optional<QString> CountedText(ImageRef found) {
  std::u16string text;
  if (!found || !found.ReadCountedString(text)) return std::nullopt;
  return QString::fromStdU16String(text);
}

}  // namespace

Expected<DataSet, QString> DataSet::Open(const std::u16string& dataFile) {
  auto opened = OpenDataSetReadOnly(dataFile);
  if (!opened) return Unexpected{QString::fromStdString(OpenErrorMessage(opened.Error(), dataFile, dataFile, {}))};
  QString name = QString::fromStdString(opened->data.Name());
  if (name.isEmpty()) name = QFileInfo(QString::fromStdU16String(dataFile)).completeBaseName();
  return DataSet(std::move(opened->data), std::move(name));
}

QString DataSet::LanguageName(int language) {
  return QString::number(data.LanguageEntry(static_cast<uint32_t>(language)).U32(0));
}

std::optional<QString> DataSet::Text(uint32_t number, int language) {
  if (language < 0 || static_cast<uint32_t>(language) >= data.LanguageCount()) return std::nullopt;
  return CountedText(data.Text(number, static_cast<uint32_t>(language)));
}

QString DataSet::ObjectText(uint32_t reference, int language) {
  return CountedText(data.ObjectText(reference, static_cast<uint32_t>(language))).value_or(QString());
}

std::map<QString, int> DataSet::StartLanguages() {
  std::map<QString, int> starts;
  uint32_t language = data.StoredLanguage();
  for (const uint8_t type : ScreenTypes) {
    const uint32_t count = data.ObjectCount(type);
    for (uint32_t i = 0; i < count; ++i) {
      const ControlPtr screen = CreateScreen(data.ObjectRecord((uint32_t{type} << 24) | (i & 0xFFFFFFu)));
      if (!screen) continue;
      // Templates all go to tmpl.qml: the last one's stands.
      const QString code = QString::fromUtf8(screen->GetTypeCode().data(), qsizetype(screen->GetTypeCode().size()));
      starts[code == QLatin1String("tmpl") ? QStringLiteral("tmpl.qml")
                                           : code + QString::number(static_cast<int32_t>(screen->GetObjID())) +
                                                 QStringLiteral(".qml")] = static_cast<int>(language);
      if (const auto leaves = LanguageLeftBy(data, *screen)) language = *leaves;
    }
  }
  return starts;
}

QJsonValue DataSet::Answer(const QJsonArray& question) {
  const QString kind = question.at(0).toString();
  const auto number = static_cast<uint32_t>(question.at(1).toInteger());
  const int language = question.at(2).toInt();
  if (kind == QLatin1String("text")) {
    const std::optional<QString> text = Text(number, language);
    return text ? QJsonValue(*text) : QJsonValue();
  }
  if (kind == QLatin1String("object") && language >= 0) return ObjectText(number, language);
  if (kind == QLatin1String("language")) return LanguageName(static_cast<int>(number));
  return {};
}

}  // namespace prt::preview
