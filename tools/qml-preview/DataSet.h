#pragma once
// The project's data set, for what the documents leave to the runtime: the
// texts a popup title fetches, the template's name, the project's name and
// the language each document was written in. Read in place and only read
// (OpenDataSetReadOnly): no working copy, no lock.
#include <QJsonArray>
#include <QJsonValue>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "data/set/DataSet.h"
#include "platform/Expected.h"

namespace prt::preview {

class DataSet {
 public:
  // The data set of `dataFile`, or why it cannot be read.
  static Expected<DataSet, QString> Open(const std::u16string& dataFile);

  QString ProjectName() const { return name; }
  // "1033", the language's id, for captions.
  QString LanguageName(int language);
  std::optional<QString> Text(uint32_t number, int language);
  // The object's text in `language`; empty when it has none.
  QString ObjectText(uint32_t reference, int language);
  // The language each document (by file name) starts in, as the converter
  // writes them: the first starts in the stored language, each other in the
  // one the documents before it in object order leave current.
  std::map<QString, int> StartLanguages();
  // The answer to what a drawing asked of the data set, so a later run can
  // tell whether it would still get the same: ["text", number, language]
  // (Text), ["object", reference, language] (ObjectText) or ["language",
  // index] (LanguageName). Null when there is none or the question is not
  // one of these.
  QJsonValue Answer(const QJsonArray& question);

 private:
  DataSet(prt::DataSet data, QString name) : data(std::move(data)), name(std::move(name)) {}

  prt::DataSet data;
  QString name;
};

}  // namespace prt::preview
