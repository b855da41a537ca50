#pragma once
// Builds a data set from a JSON description (format: docs/dataset-format.md).
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/builder/ContainerWriter.h"
#include "tools/builder/ProjectBuilder.h"

namespace prt::builder {

// What a description may ask for; beyond these the build is refused with
// "<where>: <what> (limit N)" before anything large is allocated. The image
// and the container have their limits in ImageWriter and ContainerWriter.
namespace limits {
constexpr size_t kDescriptionBytes = 64u << 20;  // JSON text (benchmark project: 16 MB)
constexpr size_t kDepth = 256;                   // nesting of arrays and objects
constexpr size_t kValues = 5'000'000;            // values in the text (benchmark: 1.6 million)
constexpr uint32_t kRecordSize = 1u << 20;       // record size and record field offsets
constexpr uint32_t kSyntheticScreens = 20'000;   // pages, templates, report pages and popups
constexpr uint32_t kSyntheticControls = 250'000;  // the largest such project takes about 1 GB
constexpr uint32_t kSyntheticLanguages = 4;
}  // namespace limits

struct BuildResult {
  bool ok = false;
  std::string error;                // set when !ok: where and what
  size_t line = 0, column = 0;      // where in the text, when known (from 1)
  std::vector<uint8_t> image;       // the image as the loader should end up with it
  std::vector<uint8_t> container;   // the .prt file
  std::optional<std::vector<uint8_t>> languageFile;
  std::optional<std::vector<uint8_t>> connectionFile;
  std::map<std::string, uint32_t> labels;  // block label -> image offset
};

// Never throws; a bad description or one beyond the limits gives ok == false
// and a message.
BuildResult BuildFromJson(const nlohmann::json& description);
BuildResult BuildFromJsonText(std::string_view text);

// Type number for a control/screen type name ("page", "button", ...), with
// the vector shape for the shape names; nullopt for an unknown name.
struct TypeName {
  uint8_t type;
  std::optional<uint8_t> shape;
};
std::optional<TypeName> TypeFromName(std::string_view name);

}  // namespace prt::builder
