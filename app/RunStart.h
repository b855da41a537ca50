#pragma once
// The second half of the driver: starts the generation run and turns its
// outcome into the exit code.
#include <string>

namespace prt {

int RunStart(bool encryptOptionSeen, const std::u16string& outputFolder);

}  // namespace prt
