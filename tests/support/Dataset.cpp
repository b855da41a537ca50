#include "tests/support/Dataset.h"

#include <fstream>
#include <stdexcept>

namespace prt::test {
namespace {

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

prt::builder::BuiltFiles BuildDataset(std::string_view json) {
  auto built = prt::builder::BuildFromJsonText(json);
  if (!built) throw std::runtime_error("bad data set description: " + built.Error().message);
  return std::move(*built);
}

std::vector<uint8_t> ImageFromJson(std::string_view json) { return BuildDataset(json).image; }

void WriteDataset(const std::filesystem::path& prtPath, std::string_view json) {
  const auto result = BuildDataset(json);
  if (prtPath.has_parent_path()) std::filesystem::create_directories(prtPath.parent_path());
  WriteFile(prtPath, result.container);
  std::filesystem::path base = prtPath;
  base.replace_extension();
  if (result.languageFile) WriteFile(base.string() + ".rt_file.LANG", *result.languageFile);
  if (result.connectionFile) WriteFile(base.string() + ".rt_file.CONN", *result.connectionFile);
}

}  // namespace prt::test
