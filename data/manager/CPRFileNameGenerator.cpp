#include "data/manager/CPRFileNameGenerator.h"

namespace prt {

CPRFileNameGenerator& CPRFileNameGenerator::GetInstance() {
  static CPRFileNameGenerator instance;
  return instance;
}

Status CPRFileNameGenerator::SetProjectPath(const std::u16string& path, const platform::LockWait& wait) {
  if (copy_) return {};
  auto prepared = WorkingCopy::Prepare(path, wait);
  if (!prepared) return Fail(prepared.Error());
  copy_.emplace(std::move(*prepared));
  return {};
}

void CPRFileNameGenerator::Discard() {
  if (copy_) std::move(*copy_).Discard();
  copy_.reset();
}

uint32_t CPRFileNameGenerator::GetFileName(uint32_t code, std::u16string& out) const {
  out = DataSetFileName(Base(), code);
  return 0;
}

}  // namespace prt
