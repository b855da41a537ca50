#pragma once
// Builds a data set from a JSON description (format: docs/dataset-format.md).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/builder/ContainerWriter.h"
#include "tools/builder/ProjectBuilder.h"
#include "platform/Limits.h"

namespace prt::builder {

// What a description may ask for is bounded by platform/Limits.h: beyond
// those the build is refused with "<where>: <what> (limit N)" before
// anything large is allocated. The image and the container have their
// limits in ImageWriter and ContainerWriter.
struct BuildResult {
  bool ok = false;
  std::string error;                // set when !ok: where and what
  size_t line = 0, column = 0;      // where in the text, when known (from 1)
  std::vector<uint8_t> image;       // the image as the loader should end up with it
  std::vector<uint8_t> container;   // the .prt file
  std::optional<std::vector<uint8_t>> languageFile;
  std::optional<std::vector<uint8_t>> connectionFile;
};

// Never throws; a bad description or one beyond the limits gives ok == false
// and a message.
BuildResult BuildFromJson(const nlohmann::json& description);
BuildResult BuildFromJsonText(std::string_view text);

}  // namespace prt::builder
