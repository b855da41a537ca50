#pragma once
// The environment variables a run is steered by.
#include <optional>
#include <string>

namespace prt::platform {

// Whether the variable `name` is set to exactly "1".
bool SwitchedOn(const char* name);
// Its value; none when it is unset.
std::optional<std::string> EnvironmentValue(const char* name);

}  // namespace prt::platform
