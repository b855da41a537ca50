#pragma once
// Writes one screen's whole document into the generator's stream.
#include "controls/IControl.h"

namespace prt {

// Empties the stream, makes `generator` the screen's output, records the
// screen as the document's root and generates it. The text is left in
// generator.stream; false when any element failed.
bool WriteScreenDocument(IControl& screen, QmlGenerator& generator);

// The language a screen's document leaves current for the documents after
// it; none: the one it started in.
std::optional<uint32_t> LanguageLeftBy(const IControl& screen);

}  // namespace prt
