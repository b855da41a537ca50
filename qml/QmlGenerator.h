#pragma once
// The writer of one document: the text stream the controls write into, the
// object reference of the screen being written, and the text context, the
// data set with the language whose texts the document is written in.
#include <cstdint>
#include <string>
#include <string_view>

#include "data/set/DataSet.h"
#include "qml/QmlStream.h"

namespace prt {

class QmlGenerator {
 public:
  // Texts and fonts come from `data`, in `language` until a control moves it.
  explicit QmlGenerator(const DataSet& data, uint32_t language = 0) : language(language), data_(&data) {}
  QmlGenerator(const QmlGenerator&) = delete;
  QmlGenerator& operator=(const QmlGenerator&) = delete;

  const DataSet& Data() const { return *data_; }

  // Empties the stream and clears its failed state before each screen.
  void ResetStream() { stream.Clear(); }

  // Output operations; narrow arguments are UTF-8.
  void WriteText(std::string_view s);
  void WriteTextLine(std::string_view s);
  void WriteNumberLine(uint16_t n);
  void WriteBoolLine(bool b);

  // The language of the texts written from now on; a font array leaves the
  // last language it selected here.
  uint32_t language;
  QmlStream stream;
  // Console text a control leaves while it writes (the failed font lookup's
  // line); the run prints it on standard output after the screen.
  std::string notices;
  // The screen being written; meaningless before the first screen.
  uint32_t rootObjId = 0;
  // "rootObjID: " and rootObjId, with the line end: every control of a
  // screen writes the same line, so it is formed once per screen.
  std::u16string_view RootObjIdLine();

 private:
  const DataSet* data_;
  std::u16string rootObjIdLine_;
  uint32_t rootObjIdOfLine_ = 0;
};

}  // namespace prt
