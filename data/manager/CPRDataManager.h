#pragma once
// The data manager over the loaded runtime image.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "data/image/RuntimeImage.h"
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

  bool Initialize() override;
  void Uninitialize() override;
  bool IsInitialized();

  // Loads an image given as bytes instead of the configuration file: the
  // magic check, then the state a fresh load has (language 0, no caches).
  bool AdoptImage(std::vector<uint8_t> image);
  // Paths of the language and connection files (Initialize takes them from
  // the file name generator).
  void SetStateFilePaths(const std::u16string& languageFile, const std::u16string& connectionFile);

  uint32_t GetObjectCount(uint32_t typeNumber) override;
  ImageRef GetObjectRecord(const uint32_t& reference) override;
  ImageRef GetObjectLink(const uint32_t& reference, uint32_t k) override;
  bool GetObjectText(const uint32_t& reference, DataValue* value) override;
  uint32_t GetLanguageCount() override;
  bool SetLanguage(int16_t index, bool store) override;
  bool GetCurrentLanguageFontInfo(uint16_t fontNumber, uint16_t styleNumber, FontInfo* info) override;

  // Texts, languages and fonts.
  uint32_t GetTextCount();
  ImageRef GetText(uint32_t number);
  uint16_t GetFontStyleSelector(uint16_t styleNumber);
  uint16_t GetFontIndex(uint16_t fontNumber, uint16_t selector);
  ImageRef GetFontRecord(uint32_t index, ImageRef* record);
  uint32_t GetFontCount();
  uint32_t GetCurrentLanguageIndex();
  uint32_t GetObjectIndex(const uint32_t& reference);

 private:
  struct RecordTable {
    ImageRef table;
    uint32_t count = 0;
    uint32_t size = 0;
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
  // A CountedString reference that lies wholly inside the image, or null.
  static ImageRef CheckedText(const ImageRef& text);
  bool InstallImage(std::vector<uint8_t> bytes);
  void FinishLoad();
  void ClearCaches();
  uint32_t ReadStoredLanguage();

  std::atomic<uint8_t> loaded_{0};
  std::u16string languageFile_;
  std::u16string connectionFile_;
  std::unique_ptr<RuntimeImage> image_;
  uint32_t currentLanguage_ = 0;
  uint32_t currentPage_ = 1u << 24;
  std::string dataSetName_;

  std::shared_mutex lock_;
  std::map<uint32_t, std::multimap<std::u16string, uint32_t>> reverseTextMap_;
  std::atomic<uint8_t> reverseTextMapBuilt_{0};
  std::map<std::u16string, uint32_t> nameMap_;
  std::atomic<uint8_t> nameMapBuilt_{0};
  std::unordered_map<uint32_t, std::map<std::u16string, ImageRef>> twoKeyCache_;
  std::unordered_map<uint32_t, uint32_t> type15Cache_;
  std::vector<std::function<void()>> resetCallbacks_;
};

}  // namespace prt
