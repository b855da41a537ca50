#pragma once
// The process-wide generator: owns the text stream the controls write into,
// the object reference of the screen being written and the encrypt switch.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "qml/QmlStream.h"

namespace prt {

class QmlGenerator {
 public:
  // The one generator of the process; the first call creates it. Called on
  // the main thread before any worker exists, so it takes no lock.
  static std::shared_ptr<QmlGenerator> GetInstance();

  // Tests build their own generators; the tool uses GetInstance only.
  QmlGenerator() = default;
  QmlGenerator(const QmlGenerator&) = delete;
  QmlGenerator& operator=(const QmlGenerator&) = delete;

  // Empties the stream and clears its failed state before each screen.
  void ResetStream() { stream.Clear(); }

  // Output operations; narrow arguments are UTF-8.
  void WriteText(std::string_view s);
  void WriteQuoted(std::string_view s);
  void WriteQuotedLine(std::string_view s);
  void WriteTextLine(std::string_view s);
  void WriteNumberLine(uint16_t n);
  void WriteBoolLine(bool b);

  QmlStream stream;
  // Console text a control leaves while it writes (the failed font lookup's
  // line); the run prints it on standard output after the screen.
  std::string notices;
  bool encrypt = false;
  // The screen being written; meaningless before the first screen.
  uint32_t rootObjId = 0;
  // "rootObjID: " and rootObjId, with the line end: every control of a
  // screen writes the same line, so it is formed once per screen.
  std::u16string_view RootObjIdLine();

 private:
  std::u16string rootObjIdLine_;
  uint32_t rootObjIdOfLine_ = 0;
};

}  // namespace prt
