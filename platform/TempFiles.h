#pragma once
// The temporary files of this program: a file is written unnamed, or under
// a name of the program's own, before it is put in place of its name in
// one step; a run that holds a folder's lock sweeps what a killed run left
// there under such names.
#include <string_view>

namespace prt::platform {

// ".prt2qml.tmp.<pid>.<n>": the names the temporary files take where the
// file system cannot make unnamed ones.
bool IsTemporaryName(std::u16string_view name);

}  // namespace prt::platform
