#pragma once
// The language a run is asked to start in (PRT2QML_LANGUAGE) instead of the
// stored one, named by a language id or an index of the project's languages.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Expected.h"

namespace prt {

class DataSet;

// The index of the language `value` names among the languages with ids
// `ids` (in index order): "id:<id>", "index:<index>", or a plain number,
// taken as an id when a language has it, else as an index. A plain number
// that is the id of one language and the index of another is refused as
// ambiguous. Refused with the message to print, which lists the languages.
Expected<uint32_t, std::string> ResolveLanguage(std::string_view value, std::span<const uint32_t> ids);

// The project's language ids in index order.
std::vector<uint32_t> LanguageIds(const DataSet& data);

}  // namespace prt
