#pragma once
// The data manager over the loaded runtime image.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "data/image/RuntimeImage.h"
#include "data/set/OpenDataSet.h"
#include "data/set/DefaultMapIndex.h"
#include "data/manager/IPRDataManager.h"

namespace prt {

class CPRDataManager : public IPRDataManager {
 public:
  // The process-wide instance the tool uses.
  static CPRDataManager& GetInstance();

  CPRDataManager() = default;
  ~CPRDataManager() override;
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
  // Loads an image given as bytes instead of the configuration file: the
  // magic check, then the state a fresh load has (language 0, no caches).
  bool AdoptImage(std::vector<uint8_t> image);

  const std::string& GetDataSetName() override;
  bool IsInitialized() override;
  uint32_t GetImageSize() override { return set_ ? set_->ImageSize() : 0; }
  // The loaded data set; null when none is loaded.
  const DataSet* Set() const { return set_ ? &*set_ : nullptr; }

  // ---- Per-language resources and resource lists ----
  uint32_t GetLanguageResourceCount() override;
  uint32_t GetResourceListSize(uint32_t list) override;
  ImageRef GetLanguageResourceTable() override;
  ImageRef GetLanguageResource(uint32_t number) override;
  int32_t MapResourceListValue(uint32_t list, const DataValue* value, uint32_t bit) override;
  int32_t MapResourceListPosition(uint32_t list, int32_t position) override;
  int32_t FindResourceListEntry(uint32_t list, const DataValue* value, uint32_t bit) override;
  int32_t GetResourceListEntryValue(uint32_t list, int32_t position, uint8_t* status) override;
  ImageRef GetResourceForPosition(uint32_t list, int32_t position) override;
  ImageRef GetResourceForValue(uint32_t list, const DataValue* value, uint32_t bit) override;
  int32_t MapResourceListInteger(uint32_t list, const DataValue* value, uint32_t bit) override;
  ImageRef GetResourceListDefault(uint32_t list) override;
  int32_t GetResourceListDefaultIndex(uint32_t list) override;

  // ---- Texts and text lists ----
  uint32_t GetTextCount() override;
  uint32_t GetTextListSize(uint32_t list) override;
  ImageRef GetTextForLanguage(uint32_t number, uint32_t languageId) override;
  ImageRef GetText(uint32_t number) override;
  ImageRef GetTextByKey(uint32_t key, int32_t languageId) override;
  int32_t MapTextListValue(uint32_t list, const DataValue* value, uint32_t bit) override;
  int32_t MapTextListPosition(uint32_t list, int32_t position) override;
  int32_t FindTextListEntry(uint32_t list, const DataValue* value, uint32_t bit) override;
  int32_t GetTextListEntryValue(uint32_t list, int32_t position, uint8_t* status) override;
  ImageRef GetTextForPosition(uint32_t list, int32_t position) override;
  ImageRef GetTextForValue(uint32_t list, const DataValue* value, uint32_t bit) override;
  bool GetObjectTextEx(const uint32_t& reference, DataValue* value) override;
  bool GetListKind(uint32_t list, uint32_t which, uint16_t* kind) override;
  ImageRef GetTextListDefault(uint32_t list) override;

  // ---- Fonts ----
  uint32_t GetFontCount() override;
  ImageRef GetFontRecord(uint32_t index, ImageRef* record) override;
  ImageRef GetFontRecordForStyle(uint16_t fontNumber, uint16_t selector) override;
  uint16_t GetFontStyleSelector(uint16_t styleNumber) override;
  uint16_t GetFontIndex(uint16_t fontNumber, uint16_t selector) override;
  bool GetCurrentLanguageFontInfo(uint16_t fontNumber, uint16_t styleNumber, FontInfo* info) override;

  // ---- Objects and links ----
  ImageRef GetObjectRecord(const uint32_t& reference) override;
  const uint32_t* GetCurrentPageReference() override;
  ImageRef GetObjectLink(const uint32_t& reference, uint32_t k) override;
  uint32_t GetObjectLinkCount(const uint32_t& reference) override;
  ImageRef FindObjectLink(const uint32_t& reference, uint8_t kind, uint8_t slot) override;
  uint32_t GetObjectCount(uint32_t typeNumber) override;
  uint32_t* GetObjectReferenceAt(uint32_t* out, uint32_t typeNumber, uint32_t index) override;

  // ---- Settings and header blocks ----
  ImageRef GetHeaderBlock13() override;
  ImageRef GetProjectSettings() override;
  bool GetSettingsFlagBit0() override;
  bool GetSettingsFlagBit2() override;
  bool GetSettingsFlagBit5() override;
  bool GetSettingsFlagBit4() override;
  bool GetSettingsFlagBit12() override;
  bool GetSettingsFlagBit7() override;
  bool TestSettingsFlags(uint32_t mask) override;
  bool GetProjectSettingsFlag() override;
  bool GetSettingsFlagBit10() override;
  bool GetSettingsFlagBit11() override;
  bool GetProjectSettingsWord19(uint32_t* out) override;
  bool GetRuntimeSettingsWord1(uint32_t* out) override;
  uint32_t GetRuntimeSettingsWord2() override;
  uint8_t GetRuntimeSettingsByte() override;
  ImageRef GetProjectSettingsBlock() override;
  ImageRef GetRuntimeSettings() override;
  bool GetSettingsFlagBit6() override;
  bool GetSettingsFlagBit9() override;
  uint32_t GetProjectSettingsWord15() override;
  bool GetRuntimeSettingsWord0(uint32_t which, uint32_t* out) override;
  ImageRef GetHeaderBlock11() override;
  ImageRef GetHeaderBlock11Entry(uint32_t number) override;
  ImageRef GetHeaderBlock11Item(uint32_t which, uint32_t index) override;

  // ---- Pages and type-15 objects ----
  uint32_t* FindPageByNumber(uint32_t* out, uint32_t number) override;
  uint32_t GetPageNumber(const uint32_t& reference) override;
  uint32_t FindType15Reference(uint32_t* out, uint32_t number, uint8_t byte) override;
  ImageRef GetType15Text(uint32_t number) override;

  // ---- Object texts and languages ----
  bool GetObjectText(const uint32_t& reference, DataValue* value) override;
  uint32_t GetLanguageCount() override;
  uint32_t FindSettingsEntryByName(const std::string& name) override;
  ImageRef FindSettingsEntry(uint32_t number) override;
  bool SetLanguage(int16_t index, bool store) override;

  // ---- Connection file ----
  bool StoreConnectionRecord(const uint32_t* key, const void* data, uint16_t length) override;
  bool LoadConnectionRecord(const uint32_t* key, void* buffer, uint16_t* length) override;
  uint32_t GetLanguageId(uint32_t index) override;
  int32_t FindLanguageIndex(uint32_t languageId) override;
  uint32_t GetCurrentLanguageId() override;
  uint32_t GetCurrentLanguageIndex() override;
  uint32_t SelectPage(uint32_t number, uint32_t unused, int16_t languageIndex, bool store) override;
  bool GetSettingsTable20Entry(uint32_t index, uint32_t* out) override;
  bool GetSettingsTable20Trailer(uint32_t* out) override;

  // ---- Lazily built maps ----
  bool FindReferencesByText(uint32_t typeNumber, const char16_t* text, uint32_t length,
                            std::vector<uint32_t>* out) override;
  bool FindObjectByName(const uint8_t* name, uint32_t* out) override;
  void AddResetCallback(std::function<void()> callback) override;
  ImageRef FindCachedReference(const uint32_t& reference, const std::u16string& name) override;
  uint32_t GetObjectIndex(const uint32_t& reference) override;

 private:
  using RecordTable = DataSet::RecordTable;
  // The header pair of type t, validated against the image.
  RecordTable Records(uint32_t typeNumber) const;
  // Record word 0 of an object; null when the object is absent.
  ImageRef HeaderRef(uint32_t word) const { return set_ ? set_->HeaderRef(word) : ImageRef(); }
  // Language header with its N language entries inside the image.
  ImageRef LanguageHeader() const { return set_ ? set_->LanguageHeader() : ImageRef(); }
  ImageRef LanguageEntry(uint32_t language) const { return set_ ? set_->LanguageEntry(language) : ImageRef(); }
  // List n of the text (which 1) or resource (which 0) list table.
  ImageRef ListOf(uint32_t which, uint32_t number) const;
  // Evaluates list n of the resource (which 0) or text (which 1) list table.
  int32_t EvaluateList(uint32_t which, uint32_t list, int32_t v, int mode, bool byPosition, uint32_t bit = 0,
                       bool* found = nullptr, uint8_t* status = nullptr);
  bool ListDefault(uint32_t group, uint32_t list, uint32_t* value);
  // The DefaultMaps looked up per object or list, each indexed on first use.
  enum DefaultMapSlot : uint32_t { kObjectTexts2, kListDefaults, kDefaultMapSlots };
  const DefaultMapIndex& DefaultMap(DefaultMapSlot slot);
  bool FlagBit(uint32_t bit);
  // Tables 16 and 20 of the runtime settings (only with flag bit 10).
  ImageRef SettingsTable(uint32_t word);
  void BuildNameMap();
  void BuildReverseTextMap();
  // The state before any load: no image, no caches.
  void BeginLoad();
  void ClearCachesLocked();  // the caller holds lock_ exclusively

  std::atomic<uint8_t> loaded_{0};
  std::u16string languageFile_;
  std::u16string connectionFile_;
  std::optional<DataSet> set_;
  uint32_t currentLanguage_ = 0;
  uint32_t currentPage_ = 1u << 24;

  std::shared_mutex lock_;
  std::map<uint32_t, std::multimap<std::u16string, uint32_t, std::less<>>> reverseTextMap_;
  std::atomic<uint8_t> reverseTextMapBuilt_{0};
  std::map<std::u16string, uint32_t, std::less<>> nameMap_;
  std::atomic<uint8_t> nameMapBuilt_{0};
  std::unordered_map<uint32_t, std::map<std::u16string, ImageRef, std::less<>>> twoKeyCache_;
  std::unordered_map<uint32_t, uint32_t> type15Cache_;
  std::vector<std::function<void()>> resetCallbacks_;
  std::array<DefaultMapIndex, kDefaultMapSlots> defaultMaps_;
  std::array<std::atomic<uint8_t>, kDefaultMapSlots> defaultMapBuilt_{};
};

}  // namespace prt
