#pragma once
// The file services through which the data manager reads and writes its
// small state files (language and connection files).
#include <cstdint>
#include <string>

#include "data/manager/IPRSingleton.h"
#include "platform/Descriptor.h"

namespace prt {

struct FileHandle;  // owns the open stream; made by Open, destroyed by Close
class CPRFileNameGenerator;

inline constexpr uint32_t kFileError = 0x80000015;

// Access flags of Open (bit numbers as the data manager uses them).
inline constexpr uint32_t kOpenRead = 1u << 0;    // "rb"
inline constexpr uint32_t kOpenUpdate = 1u << 2;  // with no other bits: "rb+"
// Path kind of Open and NormalizePath: a relative path resolves in the data set's folder.
inline constexpr uint32_t kPathKindProject = 1;

class CPRFileServices : public IPRSingleton {
 public:
  static CPRFileServices& GetInstance();

  // Relative paths of kind 1 resolve against the folder of `names`; the
  // default is the process-wide file name generator.
  CPRFileServices() = default;
  explicit CPRFileServices(const CPRFileNameGenerator& names) : names_(&names) {}

  bool Initialize() override { return true; }
  void Uninitialize() override {}

  // nullptr (errno set) when the path is invalid or the file cannot be
  // opened, also when it is not a regular file (ENXIO); a missing file is
  // created empty.
  FileHandle* Open(const std::u16string& path, uint32_t accessFlags, uint32_t pathKind);
  uint32_t Close(FileHandle* handle);
  int32_t Read(FileHandle* handle, void* buffer, int32_t count);
  int32_t Write(FileHandle* handle, const void* buffer, int32_t count);
  uint32_t Seek(FileHandle* handle, int32_t offsetFromStart);
  // At most the first `maxBytes` bytes of the regular file `path`, which
  // must exist: nothing is created, written or locked, and a link in the
  // place of the file or of its folder is refused, not followed.
  platform::SysResult<std::string> ReadExisting(const std::u16string& path, uint32_t pathKind, size_t maxBytes);
  uint32_t NormalizePath(std::u16string& out, const std::u16string& in, uint32_t pathKind);

 private:
  const CPRFileNameGenerator* names_ = nullptr;
};

}  // namespace prt
