#pragma once
// A file written for another program to read once the writer has ended.
#include <string>
#include <string_view>
#include <system_error>

namespace prt::platform {

// Writes `data` to a new file beside `path` (same folder, so that the
// rename cannot cross file systems), writes it out to the disk, renames it
// over `path` and writes the folder out: a reader sees the old file or the
// whole new one, also after a crash. Nothing of the new file stays on
// failure. A link at `path` is replaced, not followed.
std::error_code WriteFileDurably(const std::u16string& path, std::string_view data);

}  // namespace prt::platform
