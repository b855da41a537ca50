#include "controls/ScreenDocument.h"

namespace prt {

bool WriteScreenDocument(IControl& screen, QmlGenerator& generator) {
  generator.ResetStream();
  screen.SetStream(&generator);
  generator.rootObjId = screen.GetObjID();
  return screen.Generate();
}

}  // namespace prt
