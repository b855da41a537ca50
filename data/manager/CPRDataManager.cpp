#include "data/manager/CPRDataManager.h"

#include <cerrno>
#include <mutex>

#include "data/manager/CPRFileNameGenerator.h"
#include "data/manager/CPRFileServices.h"
#include "data/image/TransferFileReader.h"
#include "data/set/ImageLayout.h"
#include "platform/SystemError.h"

namespace prt {

using layout::CountedTable;
using layout::FitsArray;
using layout::ReadCountedTable;

CPRDataManager& CPRDataManager::GetInstance() {
  static CPRDataManager instance;
  return instance;
}

void CPRDataManager::BeginLoad() {
  currentPage_ = 1u << 24;
  caches_ = std::make_unique<Caches>();
  set_.reset();
}

Status CPRDataManager::Load() {
  BeginLoad();
  auto& names = CPRFileNameGenerator::GetInstance();
  std::u16string configPath, languageFile, connectionFile;
  names.GetFileName(kFileConfig, configPath);
  // Without a working copy every name would be relative (".prt"): some
  // other file, or none.
  if (!names.ProjectPathSet())
    return Fail(platform::SystemError{platform::Op::Open, configPath, platform::ErrnoError(ENOENT)});
  auto data = LoadImageFile(configPath);
  if (!data) return Fail(data.Error());

  names.GetFileName(kFileLanguage, languageFile);
  names.GetFileName(kFileConnection, connectionFile);
  const auto stored = ReadStoredLanguage(*names.PreparedCopy());
  if (!stored) return Fail(stored.Error());
  data->SetStoredLanguage(*stored);
  Adopt(std::move(*data), std::move(languageFile), std::move(connectionFile));
  return {};
}

void CPRDataManager::Adopt(DataSet data, std::u16string languageFile, std::u16string connectionFile) {
  BeginLoad();
  set_.emplace(std::move(data));
  languageFile_ = std::move(languageFile);
  connectionFile_ = std::move(connectionFile);
  readOnly_ = false;
  currentLanguage_ = set_->StoredLanguage();
  std::unique_lock guard(lock_);
  resetCallbacks_.clear();
}

void CPRDataManager::AdoptReadOnly(DataSet data, std::u16string connectionFile) {
  Adopt(std::move(data), {}, std::move(connectionFile));
  readOnly_ = true;
}

bool CPRDataManager::AdoptImage(std::vector<uint8_t> image) {
  std::optional<DataSet> data = DataSet::FromImage(std::move(image));
  if (data) Adopt(std::move(*data));
  else BeginLoad();
  return data.has_value();
}

void CPRDataManager::Uninitialize() {
  currentPage_ = 0;
  if (!set_) return;
  set_.reset();
  std::unique_lock guard(lock_);
  caches_ = std::make_unique<Caches>();
  for (auto& callback : resetCallbacks_) callback();
  resetCallbacks_.clear();
}

// ---- Links and records ------------------------------------------------------

namespace {

// Stored link kinds that also answer a wanted kind, besides 0 and equal.
struct KindPair {
  uint8_t stored;
  uint8_t wanted;
};
constexpr KindPair kCompatibleKinds[] = {
    {6, 7},   {2, 24},  {11, 24}, {2, 23}, {11, 23}, {2, 14}, {2, 16},  {11, 16}, {2, 4},  {11, 4}, {2, 3},
    {11, 3},  {2, 22},  {11, 22}, {2, 9},  {11, 9},  {2, 26}, {11, 26}, {5, 27},  {2, 28}, {11, 28},
};

bool Compatible(uint8_t stored, uint8_t wanted) {
  if (stored == 0 || stored == wanted) return true;
  for (const KindPair& pair : kCompatibleKinds)
    if (pair.stored == stored && pair.wanted == wanted) return true;
  return false;
}

}  // namespace

ImageRef CPRDataManager::FindObjectLink(const uint32_t& reference, uint8_t kind, uint8_t slot) {
  for (uint32_t k = 0, count = GetObjectLinkCount(reference); k < count; ++k) {
    const ImageRef entry = GetObjectLink(reference, k);
    if (entry.U8(2) == slot && Compatible(entry.U8(0), kind)) return entry;
  }
  return {};
}

ImageRef CPRDataManager::FindRecord(uint32_t typeNumber, const std::function<bool(const ImageRef&)>& match) const {
  const RecordTable records = Records(typeNumber);
  for (uint32_t i = 0; i < records.count; ++i)
    if (const ImageRef record = records.Record(i); match(record)) return record;
  return {};
}

// ---- Pages ---------------------------------------------------------------

namespace {
constexpr uint32_t kPageType = 1;
constexpr uint32_t kPageNumberByte = 60;  // record word 15
}  // namespace

uint32_t* CPRDataManager::FindPageByNumber(uint32_t* out, uint32_t number) {
  if (out) {
    *out = FindRecord(kPageType, [&](const ImageRef& page) {
             return page.Has(kPageNumberByte, 4) && page.U32(kPageNumberByte) == number;
           }).U32(4);
  }
  return out;
}

uint32_t CPRDataManager::GetPageNumber(const uint32_t& reference) {
  return FindRecord(kPageType, [&](const ImageRef& page) { return page.U32(4) == reference; }).U32(kPageNumberByte);
}

uint32_t CPRDataManager::SelectPage(uint32_t number, uint32_t /*unused*/, int16_t languageIndex, bool store) {
  uint32_t found = 0;
  FindPageByNumber(&found, number);
  currentPage_ = (kPageType << 24) | (found & 0xFFFFFFu);
  if (languageIndex >= 0) return SetLanguage(languageIndex, store) ? 1 : 0;
  return currentPage_;
}

// ---- Settings blocks -------------------------------------------------------

namespace {
constexpr uint32_t kTable16Byte = 16;
constexpr uint32_t kTable20Byte = 20;
// Block 11.
constexpr uint32_t kBlock11LastEntryByte = 16;
constexpr uint32_t kBlock11Entries = 12;
constexpr uint32_t Block11EntryByte(uint32_t n) { return 68 - 4 * n; }
}  // namespace

ImageRef CPRDataManager::SettingsTable(uint32_t byte) {
  if (!GetSettingsFlagBit10()) return {};
  return GetRuntimeSettings().Ref(byte);
}

uint32_t CPRDataManager::FindSettingsEntryByName(const std::string& name) {
  const CountedTable table = ReadCountedTable(SettingsTable(kTable16Byte), 8);
  for (uint32_t i = 0; i < table.count; ++i) {
    const ImageRef entry = table.Item(i, 8);
    std::string entryName;
    for (uint32_t c = 0; c < 4 && entry.U8(4 + c) != 0; ++c) entryName.push_back(static_cast<char>(entry.U8(4 + c)));
    if (entryName == name) return entry.U32(0);
  }
  return 0;
}

ImageRef CPRDataManager::FindSettingsEntry(uint32_t number) {
  const CountedTable table = ReadCountedTable(SettingsTable(kTable16Byte), 8);
  for (uint32_t i = 0; i < table.count; ++i) {
    const ImageRef entry = table.Item(i, 8);
    if (entry.U32(0) == number) return entry.At(4);
  }
  return {};
}

bool CPRDataManager::GetSettingsTable20Entry(uint32_t index, uint32_t* out) {
  const ImageRef table = SettingsTable(kTable20Byte);
  const uint32_t count = table.U32(4);
  if (!table.Has(0, 8) || index >= count || !FitsArray(table, 8, count, 4)) return false;
  return ReadWord(table, 8 + 4 * index, out);
}

bool CPRDataManager::GetSettingsTable20Trailer(uint32_t* out) {
  const ImageRef table = SettingsTable(kTable20Byte);
  const uint64_t at = 4 * (static_cast<uint64_t>(table.U32(0)) + 2);
  return table.Has(0, 4) && at <= UINT32_MAX && ReadWord(table, static_cast<uint32_t>(at), out);
}

ImageRef CPRDataManager::GetHeaderBlock11Entry(uint32_t number) {
  const ImageRef block = GetHeaderBlock11();
  if (number < 1 || number > kBlock11Entries || number > block.U32(kBlock11LastEntryByte)) return {};
  return block.Ref(Block11EntryByte(number));
}

ImageRef CPRDataManager::GetHeaderBlock11Item(uint32_t which, uint32_t index) {
  if (which != 2 && which != 3) return {};
  const CountedTable list = ReadCountedTable(GetHeaderBlock11Entry(which), 4);
  if (index >= list.count) return {};
  return list.table.Ref(4 + 4 * index);
}

}  // namespace prt
