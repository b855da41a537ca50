#pragma once
// Test data sets from JSON descriptions (format: docs/dataset-format.md).
// A bad description throws std::runtime_error with the builder's message,
// which fails the calling test.
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

#include "tools/builder/JsonBuilder.h"

namespace prt::test {

prt::builder::BuiltFiles BuildDataset(std::string_view json);
// The image as the loader should hold it after loading.
std::vector<uint8_t> ImageFromJson(std::string_view json);
// Writes the container to `prtPath` and, when the description has them, the
// language file and the connection file beside it under their data set
// names (<base>.rt_file.LANG, <base>.rt_file.CONN). Missing folders are created.
void WriteDataset(const std::filesystem::path& prtPath, std::string_view json);

}  // namespace prt::test
