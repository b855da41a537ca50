#include "convert/LanguageChoice.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "data/set/DataSet.h"

namespace prt {

namespace {

// Decimal digits only, within 32 bits: no sign, blank or trailing text.
std::optional<uint32_t> Number(std::string_view text) {
  uint32_t n = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (text.empty() || text.front() == '-' || text.front() == '+' || ec != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  return n;
}

std::string Listed(std::span<const uint32_t> ids) {
  if (ids.empty()) return "the project has no languages";
  std::string text = "the project's languages (index: id): ";
  for (size_t i = 0; i < ids.size(); ++i) text += (i ? ", " : "") + std::to_string(i) + ": " + std::to_string(ids[i]);
  return text;
}

}  // namespace

Expected<uint32_t, std::string> ResolveLanguage(std::string_view value, std::span<const uint32_t> ids) {
  const auto refuse = [&](const std::string& why) {
    return Unexpected<std::string>{"PRT2QML_LANGUAGE='" + std::string(value) + "' " + why + "; " + Listed(ids)};
  };
  const auto byId = [&](uint32_t id) -> std::optional<uint32_t> {
    const auto at = std::find(ids.begin(), ids.end(), id);
    if (at == ids.end()) return std::nullopt;
    return static_cast<uint32_t>(at - ids.begin());
  };
  const auto asIndex = [&](uint32_t n) -> std::optional<uint32_t> {
    return n < ids.size() ? std::optional(n) : std::nullopt;
  };
  const bool idForm = value.starts_with("id:"), indexForm = value.starts_with("index:");
  const std::optional<uint32_t> n = Number(value.substr(idForm ? 3 : indexForm ? 6 : 0));
  if (!n) return refuse("is not a language id or index (a number, id:<id> or index:<index>)");
  const std::optional<uint32_t> id = indexForm ? std::nullopt : byId(*n);
  const std::optional<uint32_t> index = idForm ? std::nullopt : asIndex(*n);
  if (id && index && *id != *index)
    return refuse("is ambiguous: the id of language " + std::to_string(*id) + " and the index of language " +
                  std::to_string(*index) + " (id " + std::to_string(ids[*index]) + "); write id:" +
                  std::to_string(*n) + " or index:" + std::to_string(*n));
  if (id) return *id;
  if (index) return *index;
  return refuse(idForm ? "names no language id" : indexForm ? "names no language index" : "names no language");
}

std::vector<uint32_t> LanguageIds(const DataSet& data) {
  std::vector<uint32_t> ids;
  for (uint32_t i = 0; i < data.LanguageCount(); ++i) ids.push_back(data.LanguageEntry(i).U32(0));
  return ids;
}

}  // namespace prt
