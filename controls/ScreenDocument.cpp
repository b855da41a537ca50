#include "controls/ScreenDocument.h"

#include "controls/PopupScreen.h"

namespace prt {

bool WriteScreenDocument(IControl& screen, QmlGenerator& generator) {
  generator.ResetStream();
  screen.SetStream(&generator);
  generator.rootObjId = screen.GetObjID();
  return screen.Generate();
}

std::optional<uint32_t> LanguageLeftBy(const IControl& screen) {
  const auto* popup = dynamic_cast<const PopupScreen*>(&screen);
  return popup ? popup->LanguageLeft() : std::nullopt;
}

}  // namespace prt
