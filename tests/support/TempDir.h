#pragma once
// A fresh folder under the system's temporary folder, removed with
// everything in it when the object goes.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>

#include "platform/Text.h"

namespace prt::test {

class TempDir {
 public:
  TempDir() {
    std::string name = (std::filesystem::temp_directory_path() / "prt2qml-test-XXXXXX").string();
    if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
    path_ = name;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& sub) const { return path_ / sub; }
  // The folder (or a path inside it) as the tool's wide path.
  std::u16string Wide(const std::filesystem::path& sub = {}) const {
    return platform::FromPath(sub.empty() ? path_ : path_ / sub);
  }

 private:
  std::filesystem::path path_;
};

inline void WriteFile(const std::filesystem::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// The whole file; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every path under a folder, for checks that a run made or left nothing.
inline std::set<std::filesystem::path> Tree(const std::filesystem::path& folder) {
  std::set<std::filesystem::path> paths;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) paths.insert(entry.path());
  return paths;
}

// Every regular file of a folder by name, with its bytes; empty for a missing folder.
inline std::map<std::string, std::string> Files(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file()) files[it->path().filename().string()] = ReadFile(it->path());
  return files;
}

}  // namespace prt::test
