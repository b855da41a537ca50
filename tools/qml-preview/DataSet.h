#pragma once
// The project's data set, for what the documents leave to the runtime: the
// texts a popup title fetches, the template's name, the project's name and
// the languages. Read in place and only read: no working copy, no lock.
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "data/Expected.h"
#include "data/manager/CPRDataManager.h"

namespace prt::preview {

class DataSet {
 public:
  // The data set of `dataFile`, or why it cannot be read.
  static Expected<std::unique_ptr<DataSet>, QString> Open(const std::u16string& dataFile);

  QString ProjectName();
  int LanguageCount();
  // "1033", the language's id, for captions.
  QString LanguageName(int language);
  std::optional<QString> Text(uint32_t number, int language);
  // The object's text in `language`; empty when it has none.
  QString ObjectText(uint32_t reference, int language);

 private:
  CPRDataManager data;
  QString name;
};

}  // namespace prt::preview
