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
#include "data/image/TransferFileReader.h"
#include "data/manager/DefaultMapIndex.h"
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

  // Why a load failed: the file at fault and the system's reason, or the
  // container's error when its bytes were refused.
  struct LoadFailure {
    std::u16string path;
    std::error_code error;
    std::optional<ContainerError> container;
  };
  // Loads the working copy that the file name generator names (its
  // configuration file, then the stored language); on failure nothing is
  // loaded.
  std::optional<LoadFailure> Load();
  // Loads the data file at `path` as it stands, without a working copy and
  // starting in `language` (0 when the project has fewer). No language or
  // connection file is opened, so nothing is created or written.
  std::optional<LoadFailure> LoadReadOnly(const std::u16string& path, uint32_t language);
  bool Initialize() override { return !Load(); }
  void Uninitialize() override;

  // Loads an image given as bytes instead of the configuration file: the
  // magic check, then the state a fresh load has (language 0, no caches).
  bool AdoptImage(std::vector<uint8_t> image);
  // Paths of the language and connection files (Initialize takes them from
  // the file name generator).
  void SetStateFilePaths(const std::u16string& languageFile, const std::u16string& connectionFile);

  const std::string& GetDataSetName() override;
  bool IsInitialized() override;
  uint32_t GetImageSize() override { return image_ ? image_->Size() : 0; }
  // Offset 0 of the loaded image (null when none): for tools that read it as it is.
  ImageRef GetImageRoot() const { return image_ ? image_->Root() : ImageRef(); }

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
  bool GetLanguageFontInfo(uint32_t language, uint16_t fontNumber, uint16_t styleNumber, FontInfo* info) override;

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
  bool SelectLanguage(uint32_t index) override;

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
  struct RecordTable {
    ImageRef table;
    uint32_t count = 0;
    uint32_t size = 0;

    // Record i from word 0; null past the count.
    ImageRef Record(uint32_t i) const { return i < count ? table.At(4 + i * size) : ImageRef(); }
  };
  // The header pair of type t, validated against the image.
  RecordTable Records(uint32_t typeNumber) const;
  // Record word 0 of an object; null when the object is absent.
  ImageRef RecordStart(const uint32_t& reference);
  ImageRef LinkList(const uint32_t& reference, uint32_t* count);
  ImageRef HeaderRef(uint32_t word) const;
  // Language header with its N language entries inside the image.
  ImageRef LanguageHeader() const;
  ImageRef LanguageEntry(uint32_t language) const;
  uint16_t StyleSelector(uint32_t language, uint16_t styleNumber) const;
  uint16_t FontIndex(uint32_t language, uint16_t fontNumber, uint16_t selector) const;
  ImageRef TextOf(uint32_t number, uint32_t language) const;
  // A CountedString reference that lies wholly inside the image, or null.
  static ImageRef CheckedText(const ImageRef& text);
  // List n of the text (which 1) or resource (which 0) list table.
  ImageRef ListOf(uint32_t which, uint32_t number) const;
  int32_t EvaluateList(const ImageRef& list, int32_t v, int mode, bool byPosition, uint32_t bit, uint8_t* status,
                       bool* found);
  bool ListDefault(uint32_t group, uint32_t list, uint32_t* value);
  // The DefaultMaps looked up per object or list, each indexed on first use.
  enum DefaultMapSlot : uint32_t { kObjectTexts, kObjectTexts2, kListDefaults, kDefaultMapSlots };
  const DefaultMapIndex& DefaultMap(DefaultMapSlot slot);
  bool FindInDefaultMap(DefaultMapSlot slot, uint32_t key, uint32_t id, uint32_t* value);
  bool FlagBit(uint32_t bit);
  // Tables 16 and 20 of the runtime settings (only with flag bit 10).
  ImageRef SettingsTable(uint32_t word);
  void BuildNameMap();
  void BuildReverseTextMap();
  // The state before any load: no image, no caches.
  void BeginLoad();
  // Reads the configuration file at `path` and installs its image.
  std::optional<LoadFailure> ReadImage(const std::u16string& path);
  bool InstallImage(std::vector<uint8_t> bytes);
  void FinishLoad();
  void ClearCaches();
  void ClearCachesLocked();  // the caller holds lock_ exclusively
  // Empties the DefaultMap indexes; the caller holds the lock exclusively.
  void ClearDefaultMapsLocked();
  // The stored language index (0 when there is none); a failure when the
  // language file is there but is not a regular file.
  std::optional<LoadFailure> ReadStoredLanguage(uint32_t& index);

  std::atomic<uint8_t> loaded_{0};
  std::u16string languageFile_;
  std::u16string connectionFile_;
  std::unique_ptr<RuntimeImage> image_;
  uint32_t currentLanguage_ = 0;
  uint32_t currentPage_ = 1u << 24;
  std::string dataSetName_;

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
