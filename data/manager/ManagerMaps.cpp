// The lazily built lookup maps, the reset callbacks and the connection file.
#include <cstring>
#include <mutex>
#include <string_view>

#include "data/manager/CPRFileServices.h"
#include "data/manager/CPRDataManager.h"
#include "data/set/ImageLayout.h"
#include "platform/Endian.h"

namespace prt {

using layout::CountedTable;
using layout::ReadCountedTable;

namespace {

constexpr uint32_t kNamedObjectType = 49;
constexpr uint32_t kNameTextType = 4;
constexpr uint32_t kNamedTargetType = 48;
constexpr uint32_t kType15 = 15;
constexpr uint32_t kType15NumberByte = 20;  // record word 5
constexpr uint32_t kType15SelectorByte = 11;
constexpr uint32_t kNamedTableByte = 12;  // record word 4, seen from word 1
constexpr uint32_t kNamedEntrySize = 24;

std::u16string TextAt(const ImageRef& text) {
  std::u16string out;
  text.ReadCountedString(out);
  return out;
}

}  // namespace

// ---- Name map and reverse text map ------------------------------------------

bool CPRDataManager::FindObjectByName(const uint8_t* name, uint32_t* out) {
  if (!name) return false;
  std::call_once(caches_->nameMapBuilt, [this] {
    for (uint32_t i = 0, count = GetObjectCount(kNamedObjectType); i < count; ++i) {
      const uint32_t owner = (kNamedObjectType << 24) | i;
      DataValue text;
      for (uint32_t k = 0; const ImageRef link = GetObjectLink(owner, k); ++k) {
        const uint32_t target = link.U32(4);
        const uint32_t type = target >> 24;
        if (type == kNameTextType) {
          GetObjectText(target, &text);
        } else if (type == kNamedTargetType) {
          if (auto copy = text.TextCopy()) caches_->nameMap.emplace(std::move(*copy), target);
        } else {
          break;
        }
      }
    }
  });
  const auto it = caches_->nameMap.find(ReadCountedString(name));
  if (it == caches_->nameMap.end()) return false;
  if (out) *out = it->second;
  return true;
}

bool CPRDataManager::FindReferencesByText(uint32_t typeNumber, const char16_t* text, uint32_t length,
                                          std::vector<uint32_t>* out) {
  if (!out || (!text && length != 0)) return false;
  std::call_once(caches_->reverseTextMapBuilt, [this] {
    const CountedTable groups = ReadCountedTable(HeaderRef(layout::kObjectTextMap), 8);
    for (uint32_t g = 0; g < groups.count; ++g) {
      const ImageRef group = groups.Item(g, 8);
      auto& texts = caches_->reverseTextMap[group.U32(0)];
      const CountedTable entries = ReadCountedTable(group.Ref(4), 8);
      for (uint32_t e = 0; e < entries.count; ++e) {
        const ImageRef entry = entries.Item(e, 8);
        if (const ImageRef found = GetText(entry.U32(4))) texts.emplace(TextAt(found), entry.U32(0));
      }
    }
  });
  const std::u16string_view key = length ? std::u16string_view(text, length) : std::u16string_view();
  const auto map = caches_->reverseTextMap.find(typeNumber);
  if (map == caches_->reverseTextMap.end()) return false;
  const auto [first, last] = map->second.equal_range(key);
  out->clear();
  out->reserve(static_cast<size_t>(std::distance(first, last)));
  for (auto it = first; it != last; ++it) out->push_back(it->second);
  return !out->empty();
}

// ---- DefaultMap indexes -----------------------------------------------------

const DefaultMapIndex& CPRDataManager::DefaultMap(DefaultMapSlot slot) {
  static constexpr uint32_t kHeaderWord[kDefaultMapSlots] = {layout::kObjectTextMap2, layout::kListDefaultMap};
  std::call_once(caches_->defaultMapBuilt[slot],
                 [&] { caches_->defaultMaps[slot] = DefaultMapIndex::Build(HeaderRef(kHeaderWord[slot])); });
  return caches_->defaultMaps[slot];
}

// ---- Two-key cache ------------------------------------------------------------

ImageRef CPRDataManager::FindCachedReference(const uint32_t& reference, const std::u16string& name) {
  {
    std::shared_lock guard(lock_);
    const auto names = caches_->twoKeyCache.find(reference);
    if (names != caches_->twoKeyCache.end()) {
      const auto it = names->second.find(name);
      if (it != names->second.end()) return it->second;
    }
  }
  const ImageRef record = GetObjectRecord(reference);
  if (!record) return {};
  std::map<std::u16string, ImageRef, std::less<>> named;
  const CountedTable table = ReadCountedTable(record.Ref(kNamedTableByte), kNamedEntrySize);
  for (uint32_t i = 0; i < table.count; ++i) {
    const ImageRef entry = table.Item(i, kNamedEntrySize);
    if (const ImageRef text = layout::CheckedText(entry.Ref(0))) named.emplace(TextAt(text), entry);
  }
  const auto it = named.find(name);
  const ImageRef found = it == named.end() ? ImageRef() : it->second;
  std::unique_lock guard(lock_);
  caches_->twoKeyCache[reference] = std::move(named);
  return found;
}

// ---- Type-15 objects ----------------------------------------------------------

uint32_t CPRDataManager::FindType15Reference(uint32_t* out, uint32_t number, uint8_t byte) {
  const uint32_t key = (static_cast<uint32_t>(byte) << 24) | number;
  std::optional<uint32_t> found;
  {
    std::shared_lock guard(lock_);
    if (const auto it = caches_->type15Cache.find(key); it != caches_->type15Cache.end()) found = it->second;
  }
  if (!found) {
    found = FindRecord(kType15, [&](const ImageRef& record) {
              return record.U32(kType15NumberByte) == number && record.U8(kType15SelectorByte) == byte;
            }).U32(4);
    std::unique_lock guard(lock_);
    caches_->type15Cache[key] = *found;
  }
  if (out) *out = *found;
  return *found;
}

ImageRef CPRDataManager::GetType15Text(uint32_t number) {
  const uint32_t reference = FindType15Reference(nullptr, number, 12);
  if ((reference >> 24) == 0) return {};
  // Record word 6, seen from word 1.
  const ImageRef record = GetObjectRecord(reference);
  if (!record.Has(20, 4)) return {};
  return GetText(record.U32(20));
}

// ---- Connection records ---------------------------------------------------------

namespace {

constexpr uint32_t kRecordHead = 8;
// Record positions are 16-bit: no record may end past this.
constexpr uint32_t kConnectionFileLimit = 0xFFFF;

using platform::LoadLE32;
using platform::StoreLE32;

// Walks the record heads of an open connection file.
struct RecordScan {
  enum Outcome { kFound, kEnd, kOverflow };
  Outcome outcome = kEnd;
  uint32_t position = 0;  // of the found head, or where a new one goes
  uint16_t length = 0;    // of the found record
};

RecordScan ScanFor(CPRFileServices& files, FileHandle* file, uint32_t key) {
  uint32_t position = 0;
  uint8_t head[kRecordHead];
  while (files.Seek(file, static_cast<int32_t>(position)) == 0 &&
         files.Read(file, head, kRecordHead) == static_cast<int32_t>(kRecordHead)) {
    const uint16_t length = static_cast<uint16_t>(LoadLE32(head + 4));
    if (LoadLE32(head) == key) return {RecordScan::kFound, position, length};
    position += kRecordHead + length;
    if (position > kConnectionFileLimit) return {RecordScan::kOverflow};
  }
  return {RecordScan::kEnd, position};
}

// Opens the connection file, finds the record of `key` and hands the scan to
// `act`; the file is closed whatever `act` answers.
template <typename Act>
bool WithRecord(const std::u16string& path, uint32_t key, Act act) {
  auto& files = CPRFileServices::GetInstance();
  FileHandle* file = files.Open(path, kOpenUpdate, kPathKindProject);
  if (!file) return false;
  const bool ok = act(files, file, ScanFor(files, file, key));
  files.Close(file);
  return ok;
}

// Walks the record heads lying wholly in `bytes`, the start of a file, as
// ScanFor walks the file; `visit(position, key, length)` answers true to
// stop. Answers where the walk ended.
template <typename Visit>
uint32_t WalkHeads(std::string_view bytes, Visit visit) {
  uint32_t position = 0;
  while (position + kRecordHead <= bytes.size()) {
    const auto* head = reinterpret_cast<const uint8_t*>(bytes.data()) + position;
    const uint16_t length = static_cast<uint16_t>(LoadLE32(head + 4));
    if (visit(position, LoadLE32(head), length)) break;
    position += kRecordHead + length;
    if (position > kConnectionFileLimit) break;
  }
  return position;
}

// The connection file's first bytes, one more than the format reaches so
// that a longer file shows.
platform::SysResult<std::string> ReadConnectionFile(const std::u16string& path) {
  return CPRFileServices::GetInstance().ReadExisting(path, kPathKindProject, kConnectionFileLimit + 1);
}

}  // namespace

bool CPRDataManager::StoreConnectionRecord(const uint32_t* key, const void* data, uint16_t length) {
  if (!key || (!data && length != 0) || readOnly_) return false;
  return WithRecord(connectionFile_, *key, [&](CPRFileServices& files, FileHandle* file, const RecordScan& scan) {
    if (scan.outcome == RecordScan::kFound) {
      return scan.length == length && files.Seek(file, static_cast<int32_t>(scan.position + kRecordHead)) == 0 &&
             files.Write(file, data, length) == length;
    }
    if (scan.outcome != RecordScan::kEnd || scan.position + kRecordHead + length > kConnectionFileLimit) return false;
    uint8_t head[kRecordHead];
    StoreLE32(head, *key);
    StoreLE32(head + 4, length);
    return files.Seek(file, static_cast<int32_t>(scan.position)) == 0 &&
           files.Write(file, head, kRecordHead) == static_cast<int32_t>(kRecordHead) &&
           (length == 0 || files.Write(file, data, length) == length);
  });
}

bool CPRDataManager::LoadConnectionRecord(const uint32_t* key, void* buffer, uint16_t* length) {
  if (!key || !length) return false;
  if (readOnly_) {
    const platform::SysResult<std::string> bytes = ReadConnectionFile(connectionFile_);
    if (!bytes) return false;
    bool loaded = false;
    WalkHeads(*bytes, [&](uint32_t position, uint32_t k, uint16_t stored) {
      if (k != *key) return false;
      *length = stored;
      loaded = stored == 0 || (buffer && position + kRecordHead + stored <= bytes->size());
      if (loaded && stored != 0) std::memcpy(buffer, bytes->data() + position + kRecordHead, stored);
      return true;
    });
    return loaded;
  }
  return WithRecord(connectionFile_, *key, [&](CPRFileServices& files, FileHandle* file, const RecordScan& scan) {
    if (scan.outcome != RecordScan::kFound) return false;
    *length = scan.length;
    return scan.length == 0 || (buffer && files.Seek(file, static_cast<int32_t>(scan.position + kRecordHead)) == 0 &&
                                files.Read(file, buffer, scan.length) == scan.length);
  });
}

platform::SysResult<CPRDataManager::ConnectionRecords> CPRDataManager::ListConnectionRecords() {
  platform::SysResult<std::string> bytes = ReadConnectionFile(connectionFile_);
  if (!bytes) return Fail(bytes.Error());
  ConnectionRecords out;
  out.longer = bytes->size() > kConnectionFileLimit;
  if (out.longer) bytes->resize(kConnectionFileLimit);
  out.bytes = static_cast<uint32_t>(bytes->size());
  const uint32_t end = WalkHeads(*bytes, [&](uint32_t, uint32_t key, uint16_t length) {
    out.records.push_back({key, length});
    return false;
  });
  out.cut = end > out.bytes;
  return out;
}

}  // namespace prt
