#include "data/manager/CPRDataManager.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "data/files/CPRFileNameGenerator.h"
#include "data/files/CPRFileServices.h"
#include "data/image/TransferFileReader.h"
#include "data/manager/ImageLayout.h"

namespace prt {

using layout::CountedTable;
using layout::FitsArray;
using layout::ReadCountedTable;

namespace {
// Path kind of the state files: relative paths resolve beside the data set.
constexpr uint32_t kPathKindDataSet = 1;
}  // namespace

CPRDataManager& CPRDataManager::GetInstance() {
  static CPRDataManager instance;
  return instance;
}

CPRDataManager::~CPRDataManager() = default;

bool CPRDataManager::Initialize() {
  currentPage_ = 1u << 24;
  loaded_.store(0);
  ClearCaches();
  image_.reset();

  auto& names = CPRFileNameGenerator::GetInstance();
  names.InitializeOnce();
  std::u16string configPath;
  names.GetFileName(kFileConfig, configPath);

  std::unique_ptr<TransferFileReader> reader = TransferFileReader::Load(configPath);
  if (!reader) return false;
  reader->AdjustByteOrder(ByteOrder::Little, 0);
  dataSetName_ = reader->Name();
  // Base 0: every reference becomes its target's offset in the image.
  reader->Relocate(0, 0);
  const std::vector<uint8_t>& payload = reader->Payload();
  const size_t size = std::min<size_t>(reader->PayloadSize(), payload.size());
  std::vector<uint8_t> bytes(payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(size));
  reader.reset();
  if (!InstallImage(std::move(bytes))) return false;

  names.GetFileName(kFileLanguage, languageFile_);
  currentLanguage_ = 0;
  const uint32_t stored = ReadStoredLanguage();
  currentLanguage_ = stored < GetLanguageCount() ? stored : 0;

  names.GetFileName(kFileConnection, connectionFile_);
  FinishLoad();
  return true;
}

bool CPRDataManager::AdoptImage(std::vector<uint8_t> image) {
  currentPage_ = 1u << 24;
  loaded_.store(0);
  ClearCaches();
  image_.reset();
  if (!InstallImage(std::move(image))) return false;
  currentLanguage_ = 0;
  FinishLoad();
  return true;
}

bool CPRDataManager::InstallImage(std::vector<uint8_t> bytes) {
  if (bytes.size() < layout::kImageMagicLength ||
      std::memcmp(bytes.data(), layout::kImageMagic, layout::kImageMagicLength) != 0)
    return false;
  // References are 32-bit offsets: a larger block could not be addressed.
  if (bytes.size() > UINT32_MAX) return false;
  image_ = std::make_unique<RuntimeImage>(std::move(bytes));
  return true;
}

void CPRDataManager::FinishLoad() {
  {
    std::unique_lock guard(lock_);
    reverseTextMapBuilt_.store(0);
    nameMapBuilt_.store(0);
    resetCallbacks_.clear();
  }
  loaded_.store(1);
}

void CPRDataManager::SetStateFilePaths(const std::u16string& languageFile,
                                       const std::u16string& connectionFile) {
  languageFile_ = languageFile;
  connectionFile_ = connectionFile;
}

void CPRDataManager::Uninitialize() {
  currentPage_ = 0;
  if (!image_) {
    loaded_.store(0);
    return;
  }
  image_.reset();
  {
    std::unique_lock guard(lock_);
    reverseTextMap_.clear();
    reverseTextMapBuilt_.store(0);
    nameMap_.clear();
    nameMapBuilt_.store(0);
    twoKeyCache_.clear();
    type15Cache_.clear();
    for (auto& callback : resetCallbacks_) callback();
    resetCallbacks_.clear();
  }
  loaded_.store(0);
}

bool CPRDataManager::IsInitialized() { return loaded_.load() != 0; }

// Caches hold positions in the image: they go whenever the image does.
void CPRDataManager::ClearCaches() {
  std::unique_lock guard(lock_);
  reverseTextMap_.clear();
  reverseTextMapBuilt_.store(0);
  nameMap_.clear();
  nameMapBuilt_.store(0);
  twoKeyCache_.clear();
  type15Cache_.clear();
}

uint32_t CPRDataManager::ReadStoredLanguage() {
  auto& files = CPRFileServices::GetInstance();
  FileHandle* file = files.Open(languageFile_, kOpenRead, kPathKindDataSet);
  if (!file) return 0;
  uint8_t bytes[4] = {};
  files.Read(file, bytes, 4);
  files.Close(file);
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

// ---- Records and links ----------------------------------------------------

ImageRef CPRDataManager::HeaderRef(uint32_t word) const {
  if (!image_) return {};
  return image_->Root().Ref(4 * word);
}

CPRDataManager::RecordTable CPRDataManager::Records(uint32_t typeNumber) const {
  if (!image_ || typeNumber > 0xFF) return {};
  const ImageRef root = image_->Root();
  if (!root.Has(layout::RecordSizeByte(typeNumber), 8)) return {};
  const uint32_t size = root.U32(layout::RecordSizeByte(typeNumber));
  const ImageRef table = root.Ref(layout::RecordTableByte(typeNumber));
  if (!table.Has(0, 4)) return {};
  const uint32_t count = table.U32(0);
  // Every record holds at least its link list and its own reference.
  if (count > 0 && size < 8) return {};
  if (!FitsArray(table, 4, count, size)) return {};
  return {table, count, size};
}

uint32_t CPRDataManager::GetObjectIndex(const uint32_t& reference) { return reference & 0xFFFFFFu; }

ImageRef CPRDataManager::RecordStart(const uint32_t& reference) {
  const RecordTable records = Records(reference >> 24);
  const uint32_t i = GetObjectIndex(reference);
  if (i >= records.count) return {};
  return records.table.At(4 + i * records.size);
}

ImageRef CPRDataManager::GetObjectRecord(const uint32_t& reference) { return RecordStart(reference).At(4); }

ImageRef CPRDataManager::LinkList(const uint32_t& reference, uint32_t* count) {
  const CountedTable links = ReadCountedTable(RecordStart(reference).Ref(0), 8);
  if (count) *count = links.count;
  return links.count ? links.table : ImageRef();
}

ImageRef CPRDataManager::GetObjectLink(const uint32_t& reference, uint32_t k) {
  uint32_t count = 0;
  const ImageRef list = LinkList(reference, &count);
  if (k >= count) return {};
  return list.At(4 + 8 * k);
}

uint32_t CPRDataManager::GetObjectCount(uint32_t typeNumber) { return Records(typeNumber).count; }

}  // namespace prt
