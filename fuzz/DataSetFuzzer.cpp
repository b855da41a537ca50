// One entry point for fuzzing the reading road from raw bytes: the data
// file's working copy, the container, the image and the stored language,
// then the control trees and documents of up to 16 screens of each type,
// then the data manager's operations over the same set (SweepManager:
// objects, links, lists, texts, languages, fonts, settings, maps,
// connection records). Whatever the bytes, nothing may crash, hang or read
// outside the data, and a check of the sweep that fails aborts.
//
// Input: the first 4 bytes are the stored language file (little-endian
// index); the rest is the data file. When the index's top bit is clear the
// working copy is up to date and holds that language file; when it is set
// there is no working folder yet, so the road makes the copy (and drops
// any stored language). The connection file starts as a copy of the data
// file, so its record walk meets arbitrary heads. The files live in a
// private folder on tmpfs.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>

#include "controls/ControlFactory.h"
#include "controls/IControlGroup.h"
#include "controls/ScreenDocument.h"
#include "data/set/OpenDataSet.h"
#include "qml/QmlGenerator.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Text.h"
#include "tests/support/ManagerSweep.h"

namespace {

namespace pf = prt::platform;

// A folder of this process's own, removed at exit.
struct PrivateFolder {
  PrivateFolder() {
    const std::u16string root = pf::EntryExists(u"/dev/shm") ? u"/dev/shm" : u"/tmp";
    path = root + u"/prt2qml-fuzz-" + pf::Widen(std::to_string(std::random_device()()));
    if (!pf::MakeFolder(path)) std::abort();
  }
  ~PrivateFolder() { static_cast<void>(pf::RemoveTree(path).HasValue()); }
  std::u16string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size < 4) return 0;
  const std::string_view language(reinterpret_cast<const char*>(bytes), 4);
  const std::string_view dataFile(reinterpret_cast<const char*>(bytes) + 4, size - 4);

  // The fuzzer's own files must work: a failure there aborts.
  static const PrivateFolder own;
  const std::u16string& folder = own.path;
  const std::u16string work = folder + u"/SimWork";
  static_cast<void>(pf::RemoveTree(work).HasValue());
  if (!pf::WriteWholeFile(folder + u"/f.prt", dataFile)) std::abort();
  if ((bytes[3] & 0x80) == 0) {
    if (!pf::MakeFolder(work)) std::abort();
    const pf::SysResult<pf::FolderHandle> into = pf::FolderHandle::Open(work);
    if (!into || !into->CopyIn(folder + u"/f.prt", u"f.prt") || !pf::WriteWholeFile(work + u"/f.rt_file.LANG", language))
      std::abort();
  }

  prt::platform::LockWait once;
  once.bound = std::chrono::seconds(0);
  auto opened = prt::OpenDataSet(folder + u"/f.prt", once);
  if (!opened) return 0;
  {
    const prt::DataSet& data = *opened;
    prt::QmlGenerator generator(data, data.StoredLanguage());
    for (uint8_t type : prt::ScreenTypes) {
      // A damaged count may be huge; a few screens of each type exercise the code.
      const uint32_t count = std::min<uint32_t>(data.ObjectCount(type), 16);
      for (uint32_t i = 0; i < count; ++i) {
        const uint32_t reference = (static_cast<uint32_t>(type) << 24) | i;
        prt::ControlPtr screen = prt::CreateScreen(data.ObjectRecord(reference));
        if (!screen) continue;
        auto* group = dynamic_cast<prt::IControlGroup*>(screen.get());
        if (group && !group->LoadChildren(data)) continue;
        prt::WriteScreenDocument(*screen, generator);
      }
    }
  }
  if (!pf::WriteWholeFile(work + u"/f.rt_file.CONN", dataFile)) std::abort();
  prt::CPRDataManager manager;
  manager.Adopt(std::move(*opened), work + u"/f.rt_file.LANG", work + u"/f.rt_file.CONN");
  if (!prt::test::SweepManager(manager)) std::abort();
  return 0;
}
