// One entry point for fuzzing the whole reading road: container, image, data
// manager, control trees and documents. Whatever the bytes, nothing may crash
// or read outside the data.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "controls/ControlFactory.h"
#include "controls/IControlGroup.h"
#include "controls/ScreenDocument.h"
#include "data/image/TransferFileReader.h"
#include "data/manager/CPRDataManager.h"
#include "generator/text/QmlGenerator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  auto reader = prt::TransferFileReader::LoadBytes(std::vector<uint8_t>(bytes, bytes + size));
  if (!reader) return 0;
  reader->AdjustByteOrder(prt::ByteOrder::Little, 0);
  reader->Relocate(0, 0);
  const std::vector<uint8_t>& payload = reader->Payload();
  std::vector<uint8_t> image(payload.begin(), payload.begin() + std::min<size_t>(reader->PayloadSize(), payload.size()));

  prt::CPRDataManager& data = prt::CPRDataManager::GetInstance();
  if (!data.AdoptImage(std::move(image))) return 0;
  prt::QmlGenerator generator;
  for (uint8_t type : prt::ScreenTypes) {
    // A damaged count may be huge; a few screens of each type exercise the code.
    const uint32_t count = std::min<uint32_t>(data.GetObjectCount(type), 16);
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t reference = (static_cast<uint32_t>(type) << 24) | i;
      prt::ControlPtr screen = prt::CreateScreen(data.GetObjectRecord(reference));
      if (!screen) continue;
      if (auto* group = dynamic_cast<prt::IControlGroup*>(screen.get()); group && !group->LoadChildren()) continue;
      prt::WriteScreenDocument(*screen, generator);
    }
  }
  return 0;
}
