#pragma once
// The data manager over the loaded runtime image. Operations that only
// read one field are written here; the others live in the .cpp files.
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "data/image/RuntimeImage.h"
#include "data/set/OpenDataSet.h"
#include "data/set/DefaultMapIndex.h"
#include "data/set/ImageLayout.h"
#include "data/manager/IPRDataManager.h"

namespace prt {

class CPRDataManager : public IPRDataManager {
 public:
  // The process-wide instance the tool uses.
  static CPRDataManager& GetInstance();

  CPRDataManager() = default;
  CPRDataManager(const CPRDataManager&) = delete;
  CPRDataManager& operator=(const CPRDataManager&) = delete;

  // Loads the working copy that the file name generator names (its
  // configuration file, then the stored language); on failure nothing is
  // loaded.
  Status Load();
  bool Initialize() override { return static_cast<bool>(Load()); }
  void Uninitialize() override;

  // Takes a data set loaded elsewhere, starting in its stored language;
  // without the paths of its language and connection files, storing a
  // language or a connection record fails instead of writing a file.
  void Adopt(DataSet data, std::u16string languageFile = {}, std::u16string connectionFile = {});
  // The same for a program that only reads: nothing is ever stored, and
  // the connection file at `connectionFile`, when there, is read without
  // being created, written or locked.
  void AdoptReadOnly(DataSet data, std::u16string connectionFile);
  // Loads an image given as bytes instead of the configuration file: the
  // magic check, then the state a fresh load has (language 0, no caches).
  bool AdoptImage(std::vector<uint8_t> image);

  const std::string& GetDataSetName() override {
    static const std::string none;
    return set_ ? set_->Name() : none;
  }
  bool IsInitialized() override { return set_.has_value(); }
  uint32_t GetImageSize() override { return set_ ? set_->ImageSize() : 0; }
  // The loaded data set; null when none is loaded.
  const DataSet* Set() const { return set_ ? &*set_ : nullptr; }

  // ---- Per-language resources and resource lists ----
  uint32_t GetLanguageResourceCount() override { return LanguageHeader().U32(layout::kResourceCountByte); }
  uint32_t GetResourceListSize(uint32_t list) override;
  ImageRef GetLanguageResourceTable() override;
  ImageRef GetLanguageResource(uint32_t number) override;
  int32_t MapResourceListValue(uint32_t list, const DataValue* value, uint32_t bit) override {
    return OrMinusOne(EvaluateList(kResourceLists, list, PayloadOf(value), kMapValue, bit));
  }
  int32_t MapResourceListPosition(uint32_t list, int32_t position) override {
    return OrMinusOne(EvaluateList(kResourceLists, list, position, kMapPosition));
  }
  int32_t FindResourceListEntry(uint32_t list, const DataValue* value, uint32_t bit) override {
    return OrMinusOne(EvaluateList(kResourceLists, list, PayloadOf(value), kFind, bit));
  }
  int32_t GetResourceListEntryValue(uint32_t list, int32_t position, uint8_t* status) override {
    return EntryValue(kResourceLists, list, position, status);
  }
  ImageRef GetResourceForPosition(uint32_t list, int32_t position) override;
  ImageRef GetResourceForValue(uint32_t list, const DataValue* value, uint32_t bit) override;
  int32_t MapResourceListInteger(uint32_t list, const DataValue* value, uint32_t bit) override;
  ImageRef GetResourceListDefault(uint32_t list) override;
  int32_t GetResourceListDefaultIndex(uint32_t list) override;

  // ---- Texts and text lists ----
  uint32_t GetTextCount() override { return LanguageHeader().U32(layout::kTextCountByte); }
  uint32_t GetTextListSize(uint32_t list) override;
  ImageRef GetTextForLanguage(uint32_t number, uint32_t languageId) override;
  ImageRef GetText(uint32_t number) override { return GetTextInLanguage(number, currentLanguage_); }
  ImageRef GetTextInLanguage(uint32_t number, uint32_t languageIndex) override {
    return set_ ? set_->Text(number, languageIndex) : ImageRef();
  }
  ImageRef GetTextByKey(uint32_t key, int32_t languageId) override;
  int32_t MapTextListValue(uint32_t list, const DataValue* value, uint32_t bit) override {
    return OrMinusOne(EvaluateList(kTextLists, list, PayloadOf(value), kMapValue, bit));
  }
  int32_t MapTextListPosition(uint32_t list, int32_t position) override {
    return OrMinusOne(EvaluateList(kTextLists, list, position, kMapPosition));
  }
  int32_t FindTextListEntry(uint32_t list, const DataValue* value, uint32_t bit) override {
    return OrMinusOne(EvaluateList(kTextLists, list, PayloadOf(value), kFind, bit));
  }
  int32_t GetTextListEntryValue(uint32_t list, int32_t position, uint8_t* status) override {
    return EntryValue(kTextLists, list, position, status);
  }
  ImageRef GetTextForPosition(uint32_t list, int32_t position) override;
  ImageRef GetTextForValue(uint32_t list, const DataValue* value, uint32_t bit) override;
  bool GetObjectTextEx(const uint32_t& reference, DataValue* value) override;
  bool GetListKind(uint32_t list, uint32_t which, uint16_t* kind) override;
  ImageRef GetTextListDefault(uint32_t list) override;

  // ---- Fonts ----
  uint32_t GetFontCount() override { return layout::ReadCountedTable(HeaderRef(layout::kFontTable), 4).count; }
  ImageRef GetFontRecord(uint32_t index, ImageRef* record) override;
  ImageRef GetFontRecordForStyle(uint16_t fontNumber, uint16_t selector) override {
    return GetFontRecord(GetFontIndex(fontNumber, selector), nullptr);
  }
  uint16_t GetFontStyleSelector(uint16_t styleNumber) override {
    return set_ ? set_->StyleSelector(currentLanguage_, styleNumber) : 0;
  }
  uint16_t GetFontIndex(uint16_t fontNumber, uint16_t selector) override {
    return set_ ? set_->FontIndex(currentLanguage_, fontNumber, selector) : 0;
  }
  bool GetCurrentLanguageFontInfo(uint16_t fontNumber, uint16_t styleNumber, FontInfo* info) override {
    return info && set_ && set_->LanguageFontInfo(currentLanguage_, fontNumber, styleNumber, *info);
  }
  ImageRef GetFontTable() override { return HeaderRef(layout::kFontTable); }

  // ---- Objects and links ----
  ImageRef GetObjectRecord(const uint32_t& reference) override {
    return set_ ? set_->ObjectRecord(reference) : ImageRef();
  }
  const uint32_t* GetCurrentPageReference() override { return &currentPage_; }
  ImageRef GetObjectLink(const uint32_t& reference, uint32_t k) override {
    return set_ ? set_->ObjectLink(reference, k) : ImageRef();
  }
  uint32_t GetObjectLinkCount(const uint32_t& reference) override {
    return set_ ? set_->ObjectLinkCount(reference) : 0;
  }
  ImageRef FindObjectLink(const uint32_t& reference, uint8_t kind, uint8_t slot) override;
  uint32_t GetObjectCount(uint32_t typeNumber) override { return Records(typeNumber).count; }
  uint32_t* GetObjectReferenceAt(uint32_t* out, uint32_t typeNumber, uint32_t index) override {
    if (out) *out = Records(typeNumber).Record(index).U32(4);
    return out;
  }
  uint32_t GetObjectRecordSize(uint32_t typeNumber) override { return Records(typeNumber).size; }

  // ---- Settings and header blocks ----
  ImageRef GetHeaderBlock13() override { return HeaderRef(layout::kBlock13); }
  ImageRef GetProjectSettings() override { return HeaderRef(layout::kProjectSettings); }
  bool GetSettingsFlagBit0() override { return FlagBit(0); }
  bool GetSettingsFlagBit2() override { return FlagBit(2); }
  bool GetSettingsFlagBit5() override { return FlagBit(5); }
  bool GetSettingsFlagBit4() override { return FlagBit(4); }
  bool GetSettingsFlagBit12() override { return FlagBit(12); }
  bool GetSettingsFlagBit7() override { return FlagBit(7); }
  bool TestSettingsFlags(uint32_t mask) override { return (GetRuntimeSettings().U32(kFlagsByte) & mask) != 0; }
  bool GetProjectSettingsFlag() override { return (GetProjectSettings().U8(kProjectFlagByte) & 1u) != 0; }
  bool GetSettingsFlagBit10() override { return FlagBit(10); }
  bool GetSettingsFlagBit11() override { return FlagBit(11); }
  bool GetProjectSettingsWord19(uint32_t* out) override {
    return ReadWord(GetProjectSettings(), kProjectWord19Byte, out);
  }
  bool GetRuntimeSettingsWord1(uint32_t* out) override { return ReadWord(GetRuntimeSettings(), kWord1Byte, out); }
  uint32_t GetRuntimeSettingsWord2() override { return GetRuntimeSettings().U32(kWord2Byte); }
  uint8_t GetRuntimeSettingsByte() override { return GetRuntimeSettings().Ref(kByteRefByte).U8(0); }
  ImageRef GetProjectSettingsBlock() override { return GetProjectSettings(); }
  ImageRef GetRuntimeSettings() override { return HeaderRef(layout::kRuntimeSettings); }
  bool GetSettingsFlagBit6() override { return FlagBit(6); }
  bool GetSettingsFlagBit9() override { return FlagBit(9); }
  uint32_t GetProjectSettingsWord15() override { return GetProjectSettings().U32(kProjectWord15Byte); }
  bool GetRuntimeSettingsWord0(uint32_t which, uint32_t* out) override {
    return which == 1 && ReadWord(GetRuntimeSettings(), kFlagsByte, out);
  }
  ImageRef GetHeaderBlock11() override { return HeaderRef(layout::kBlock11); }
  ImageRef GetHeaderBlock11Entry(uint32_t number) override;
  ImageRef GetHeaderBlock11Item(uint32_t which, uint32_t index) override;

  // ---- Pages and type-15 objects ----
  uint32_t* FindPageByNumber(uint32_t* out, uint32_t number) override;
  uint32_t GetPageNumber(const uint32_t& reference) override;
  uint32_t FindType15Reference(uint32_t* out, uint32_t number, uint8_t byte) override;
  ImageRef GetType15Text(uint32_t number) override;

  // ---- Object texts and languages ----
  bool GetObjectText(const uint32_t& reference, DataValue* value) override;
  std::optional<uint32_t> GetObjectTextNumber(const uint32_t& reference) override {
    return set_ ? set_->ObjectTextNumber(reference) : std::nullopt;
  }
  uint32_t GetLanguageCount() override { return LanguageHeader().U32(layout::kLanguageCountByte); }
  uint32_t GetLanguageFontNumberCount() override { return LanguageHeader().U32(layout::kFontNumberCountByte); }
  uint32_t GetLanguageStyleCount() override { return LanguageHeader().U32(layout::kStyleCountByte); }
  ImageRef GetLanguageFontArray(uint32_t languageIndex) override {
    return LanguageArray(languageIndex, layout::kFontArrayByte, GetLanguageFontNumberCount(), 4);
  }
  ImageRef GetLanguageStyleArray(uint32_t languageIndex) override {
    return LanguageArray(languageIndex, layout::kStyleArrayByte, GetLanguageStyleCount(), 2);
  }
  uint32_t FindSettingsEntryByName(const std::string& name) override;
  ImageRef FindSettingsEntry(uint32_t number) override;
  bool SetLanguage(int16_t index, bool store) override;

  // ---- Connection file ----
  bool StoreConnectionRecord(const uint32_t* key, const void* data, uint16_t length) override;
  bool LoadConnectionRecord(const uint32_t* key, void* buffer, uint16_t* length) override;
  // A record's key and stored length, in file order.
  struct ConnectionRecord {
    uint32_t key = 0;
    uint16_t length = 0;
  };
  struct ConnectionRecords {
    std::vector<ConnectionRecord> records;
    uint32_t bytes = 0;     // of the file read, at most the format's 65,535
    bool longer = false;    // the file holds more, which is never read
    bool cut = false;       // the last record's data passes the end
  };
  // Reads the connection file as AdoptReadOnly reads it, whatever the
  // adoption: a missing file fails (ENOENT) and is not created.
  platform::SysResult<ConnectionRecords> ListConnectionRecords();
  uint32_t GetLanguageId(uint32_t index) override { return LanguageEntry(index).U32(0); }
  int32_t FindLanguageIndex(uint32_t languageId) override;
  uint32_t GetCurrentLanguageId() override { return GetLanguageId(currentLanguage_); }
  uint32_t GetCurrentLanguageIndex() override { return currentLanguage_; }
  uint32_t SelectPage(uint32_t number, uint32_t unused, int16_t languageIndex, bool store) override;
  bool GetSettingsTable20Entry(uint32_t index, uint32_t* out) override;
  bool GetSettingsTable20Trailer(uint32_t* out) override;

  // Lists in the table `which` (as GetListKind's); not of the interface.
  uint32_t GetListCount(uint32_t which);

  // ---- Lazily built maps ----
  bool FindReferencesByText(uint32_t typeNumber, const char16_t* text, uint32_t length,
                            std::vector<uint32_t>* out) override;
  bool FindObjectByName(const uint8_t* name, uint32_t* out) override;
  void AddResetCallback(std::function<void()> callback) override {
    std::unique_lock guard(lock_);
    resetCallbacks_.push_back(std::move(callback));
  }
  ImageRef FindCachedReference(const uint32_t& reference, const std::u16string& name) override;
  uint32_t GetObjectIndex(const uint32_t& reference) override { return reference & 0xFFFFFFu; }

 private:
  // Runtime settings words.
  static constexpr uint32_t kFlagsByte = 0;
  static constexpr uint32_t kWord1Byte = 4;
  static constexpr uint32_t kWord2Byte = 8;
  static constexpr uint32_t kByteRefByte = 12;
  // Project settings (packed).
  static constexpr uint32_t kProjectWord15Byte = 15;
  static constexpr uint32_t kProjectWord19Byte = 19;
  static constexpr uint32_t kProjectFlagByte = 23;

  // The word at `byte` of a block; false when the block lacks it.
  static bool ReadWord(const ImageRef& block, uint32_t byte, uint32_t* out) {
    if (!out || !block.Has(byte, 4)) return false;
    *out = block.U32(byte);
    return true;
  }
  bool FlagBit(uint32_t bit) { return TestSettingsFlags(1u << bit); }

  using RecordTable = DataSet::RecordTable;
  // The header pair of type t, validated against the image.
  RecordTable Records(uint32_t typeNumber) const { return set_ ? set_->Records(typeNumber) : RecordTable{}; }
  // The reference in header word `word`; null when none is loaded.
  ImageRef HeaderRef(uint32_t word) const { return set_ ? set_->HeaderRef(word) : ImageRef(); }
  // Language header with its N language entries inside the image.
  ImageRef LanguageHeader() const { return set_ ? set_->LanguageHeader() : ImageRef(); }
  ImageRef LanguageEntry(uint32_t language) const { return set_ ? set_->LanguageEntry(language) : ImageRef(); }
  // The array a language entry references at `byte`: `count` items of
  // `width` bytes inside the image, or null.
  ImageRef LanguageArray(uint32_t language, uint32_t byte, uint32_t count, uint32_t width) const {
    const ImageRef array = LanguageEntry(language).Ref(byte);
    return layout::FitsArray(array, 0, count, width) ? array : ImageRef();
  }

  // The two list tables, numbered as GetListKind's `which`.
  enum ListTable : uint32_t { kResourceLists = 0, kTextLists = 1 };
  // A list maps a value (or with kFind answers the matching entry's
  // position), or maps a position, or answers an entry's own value.
  enum ListMode { kMapValue, kMapPosition, kFind, kEntryValue };
  ImageRef ListOf(ListTable table, uint32_t number) const;
  // Evaluates list n of a list table; nullopt when nothing matches.
  std::optional<uint32_t> EvaluateList(ListTable table, uint32_t list, int32_t v, ListMode mode, uint32_t bit = 0);
  int32_t EntryValue(ListTable table, uint32_t list, int32_t position, uint8_t* status);
  static int32_t PayloadOf(const DataValue* value) { return value ? static_cast<int32_t>(value->payload) : 0; }
  // An answer, or -1 when none; an entry holding kListNotFound also answers -1.
  static int32_t OrMinusOne(std::optional<uint32_t> found) {
    const int32_t raw = static_cast<int32_t>(found.value_or(kListNotFound));
    return raw == kListNotFound ? -1 : raw;
  }
  bool ListDefault(uint32_t group, uint32_t list, uint32_t* value);

  // Tables 16 and 20 of the runtime settings (only with flag bit 10).
  ImageRef SettingsTable(uint32_t word);
  // The first record of a type that `match` accepts; null when none does.
  ImageRef FindRecord(uint32_t typeNumber, const std::function<bool(const ImageRef&)>& match) const;

  // The DefaultMaps looked up per object or list, each indexed on first use.
  enum DefaultMapSlot : uint32_t { kObjectTexts2, kListDefaults, kDefaultMapSlots };
  const DefaultMapIndex& DefaultMap(DefaultMapSlot slot);
  // The state before any load: no image, no caches.
  void BeginLoad();

  std::u16string languageFile_;
  std::u16string connectionFile_;
  bool readOnly_ = false;
  std::optional<DataSet> set_;
  uint32_t currentLanguage_ = 0;
  uint32_t currentPage_ = 1u << 24;

  // What is built on first use holds positions in the image: it goes
  // whenever the image does. The maps are read without a lock once built;
  // the two caches that grow per question are guarded by lock_.
  struct Caches {
    std::once_flag nameMapBuilt, reverseTextMapBuilt;
    std::array<std::once_flag, kDefaultMapSlots> defaultMapBuilt;
    std::map<std::u16string, uint32_t, std::less<>> nameMap;
    std::map<uint32_t, std::multimap<std::u16string, uint32_t, std::less<>>> reverseTextMap;
    std::array<DefaultMapIndex, kDefaultMapSlots> defaultMaps;
    std::unordered_map<uint32_t, std::map<std::u16string, ImageRef, std::less<>>> twoKeyCache;
    std::unordered_map<uint32_t, uint32_t> type15Cache;
  };
  std::unique_ptr<Caches> caches_ = std::make_unique<Caches>();
  std::shared_mutex lock_;
  std::vector<std::function<void()>> resetCallbacks_;
};

}  // namespace prt
