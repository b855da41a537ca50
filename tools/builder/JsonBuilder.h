#pragma once
// Builds a data set from a JSON description (format: docs/dataset-format.md).
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/builder/ImageWriter.h"

namespace prt::builder {

// What a description makes.
struct BuiltFiles {
  std::vector<uint8_t> image;      // the image as the loader should end up with it
  std::vector<uint8_t> container;  // the .prt file
  std::optional<std::vector<uint8_t>> languageFile;
  std::optional<std::vector<uint8_t>> connectionFile;
};

// The files, or why the description cannot make them: where and what, and
// for a text the line and column. What a description may ask for is bounded
// by platform/Limits.h: beyond those the build is refused with "<where>:
// <what> (limit N)" before anything large is allocated; the image and the
// container have their limits in ImageWriter and ContainerWriter.
Built<BuiltFiles> BuildFromJson(const nlohmann::json& description);
Built<BuiltFiles> BuildFromJsonText(std::string_view text);

}  // namespace prt::builder
