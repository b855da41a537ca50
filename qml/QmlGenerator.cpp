#include "qml/QmlGenerator.h"

namespace prt {

void QmlGenerator::WriteText(std::string_view s) { stream.WriteUtf8(s); }

void QmlGenerator::WriteTextLine(std::string_view s) {
  stream.WriteUtf8(s);
  stream << u"\n";
}

void QmlGenerator::WriteNumberLine(uint16_t n) {
  stream.WriteUnsigned(n);
  stream << u"\n";
}

void QmlGenerator::WriteBoolLine(bool b) { stream << (b ? u"true\n" : u"false\n"); }

std::u16string_view QmlGenerator::RootObjIdLine() {
  if (rootObjIdLine_.empty() || rootObjIdOfLine_ != rootObjId) {
    rootObjIdLine_ = u"rootObjID: " + UnsignedText(rootObjId) + u"\n";
    rootObjIdOfLine_ = rootObjId;
  }
  return rootObjIdLine_;
}

}  // namespace prt
