#include "app/RunStart.h"

namespace prt {

// The generation run is not wired in yet: the program ends quietly with 0.
int RunStart(bool /*encryptOptionSeen*/, const std::u16string& /*outputFolder*/) { return 0; }

}  // namespace prt
