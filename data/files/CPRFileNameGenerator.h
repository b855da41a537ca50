#pragma once
// Turns four-character file codes into the paths of the data set's files,
// inside the working copy ("SimWork") beside the project data file.
#include <cstdint>
#include <string>

#include "data/files/IPRSingleton.h"

namespace prt {

// A file code: four characters, most significant byte first ('@CFG').
constexpr uint32_t FileCode(char a, char b, char c, char d) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(a)) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 8) | static_cast<uint32_t>(static_cast<uint8_t>(d));
}
inline constexpr uint32_t kFileConfig = FileCode('@', 'C', 'F', 'G');
inline constexpr uint32_t kFileLanguage = FileCode('L', 'A', 'N', 'G');
inline constexpr uint32_t kFileConnection = FileCode('C', 'O', 'N', 'N');

class CPRFileNameGenerator : public IPRSingleton {
 public:
  static CPRFileNameGenerator& GetInstance();

  bool Initialize() override { return true; }
  void Uninitialize() override {}

  // Once per process: prepares the working copy and sets the base path.
  void SetProjectPath(const std::u16string& path);
  // Full path for a file code; always answers 0.
  uint32_t GetFileName(uint32_t code, std::u16string& out) const;

  const std::u16string& Base() const { return base_; }
  const std::u16string& Folder() const { return folder_; }
  const std::u16string& Name() const { return name_; }
  const std::u16string& FolderCopy() const { return folderCopy_; }

 private:
  std::u16string base_;
  std::u16string folder_;
  std::u16string name_;
  std::u16string folderCopy_;
  bool projectPathSet_ = false;
};

}  // namespace prt
