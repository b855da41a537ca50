#pragma once
// The data manager's contract: every question about the project's runtime
// image goes through this interface. The order of the operations is part
// of the contract. Addresses in the image are ImageRef (null = none).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "data/manager/IPRSingleton.h"
#include "data/image/RuntimeImage.h"
#include "data/manager/DataValue.h"
#include "data/set/DataSet.h"

namespace prt {

// "Not found" of the list evaluations.
inline constexpr int32_t kListNotFound = 2147483647;

class IPRDataManager : public IPRSingleton {
 public:
  // Initialize, Uninitialize and the destructor come from IPRSingleton.

  virtual const std::string& GetDataSetName() = 0;
  virtual bool IsInitialized() = 0;
  // Bytes in the loaded image; 0 when none is loaded.
  virtual uint32_t GetImageSize() = 0;

  // ---- Per-language resources and resource lists ----
  virtual uint32_t GetLanguageResourceCount() = 0;
  virtual uint32_t GetResourceListSize(uint32_t list) = 0;
  virtual ImageRef GetLanguageResourceTable() = 0;
  // Byte 4 of resource n of the current language.
  virtual ImageRef GetLanguageResource(uint32_t number) = 0;
  virtual int32_t MapResourceListValue(uint32_t list, const DataValue* value, uint32_t bit) = 0;
  virtual int32_t MapResourceListPosition(uint32_t list, int32_t position) = 0;
  virtual int32_t FindResourceListEntry(uint32_t list, const DataValue* value, uint32_t bit) = 0;
  // Raw result: kListNotFound when absent; status 0 found, 128 not.
  virtual int32_t GetResourceListEntryValue(uint32_t list, int32_t position, uint8_t* status) = 0;
  virtual ImageRef GetResourceForPosition(uint32_t list, int32_t position) = 0;
  virtual ImageRef GetResourceForValue(uint32_t list, const DataValue* value, uint32_t bit) = 0;
  virtual int32_t MapResourceListInteger(uint32_t list, const DataValue* value, uint32_t bit) = 0;
  virtual ImageRef GetResourceListDefault(uint32_t list) = 0;
  virtual int32_t GetResourceListDefaultIndex(uint32_t list) = 0;

  // ---- Texts and text lists ----
  virtual uint32_t GetTextCount() = 0;
  virtual uint32_t GetTextListSize(uint32_t list) = 0;
  // Texts are CountedStrings lying wholly inside the image.
  virtual ImageRef GetTextForLanguage(uint32_t number, uint32_t languageId) = 0;
  virtual ImageRef GetText(uint32_t number) = 0;
  // By the language's index, where GetTextForLanguage takes its id (ids
  // may repeat).
  virtual ImageRef GetTextInLanguage(uint32_t number, uint32_t languageIndex) = 0;
  // languageId -1: the current language.
  virtual ImageRef GetTextByKey(uint32_t key, int32_t languageId) = 0;
  virtual int32_t MapTextListValue(uint32_t list, const DataValue* value, uint32_t bit) = 0;
  virtual int32_t MapTextListPosition(uint32_t list, int32_t position) = 0;
  virtual int32_t FindTextListEntry(uint32_t list, const DataValue* value, uint32_t bit) = 0;
  virtual int32_t GetTextListEntryValue(uint32_t list, int32_t position, uint8_t* status) = 0;
  virtual ImageRef GetTextForPosition(uint32_t list, int32_t position) = 0;
  virtual ImageRef GetTextForValue(uint32_t list, const DataValue* value, uint32_t bit) = 0;
  virtual bool GetObjectTextEx(const uint32_t& reference, DataValue* value) = 0;
  // which: 0 resource list, 1 text list.
  virtual bool GetListKind(uint32_t list, uint32_t which, uint16_t* kind) = 0;
  virtual ImageRef GetTextListDefault(uint32_t list) = 0;

  // ---- Fonts ----
  virtual uint32_t GetFontCount() = 0;
  // Answers the face block; `record` (optional) receives the font record.
  virtual ImageRef GetFontRecord(uint32_t index, ImageRef* record) = 0;
  virtual ImageRef GetFontRecordForStyle(uint16_t fontNumber, uint16_t selector) = 0;
  virtual uint16_t GetFontStyleSelector(uint16_t styleNumber) = 0;
  virtual uint16_t GetFontIndex(uint16_t fontNumber, uint16_t selector) = 0;
  // The font table as stored: a u32 count, then font record references.
  virtual ImageRef GetFontTable() = 0;
  virtual bool GetCurrentLanguageFontInfo(uint16_t fontNumber, uint16_t styleNumber, FontInfo* info) = 0;

  // ---- Objects and links ----
  // The record of an object, positioned at record word 1 (the object's own
  // reference); null when absent.
  virtual ImageRef GetObjectRecord(const uint32_t& reference) = 0;
  virtual const uint32_t* GetCurrentPageReference() = 0;
  // Link entry k of the object's link list (8 bytes: kind, present flag,
  // slot, unused, u32 target reference); null past the end.
  virtual ImageRef GetObjectLink(const uint32_t& reference, uint32_t k) = 0;
  virtual uint32_t GetObjectLinkCount(const uint32_t& reference) = 0;
  virtual ImageRef FindObjectLink(const uint32_t& reference, uint8_t kind, uint8_t slot) = 0;
  // Record count of object type t; 0 when absent.
  virtual uint32_t GetObjectCount(uint32_t typeNumber) = 0;
  virtual uint32_t* GetObjectReferenceAt(uint32_t* out, uint32_t typeNumber, uint32_t index) = 0;
  // Record bytes of object type t; 0 when it has no records.
  virtual uint32_t GetObjectRecordSize(uint32_t typeNumber) = 0;

  // ---- Settings and header blocks ----
  virtual ImageRef GetHeaderBlock13() = 0;
  virtual ImageRef GetProjectSettings() = 0;
  virtual bool GetSettingsFlagBit0() = 0;
  virtual bool GetSettingsFlagBit2() = 0;
  virtual bool GetSettingsFlagBit5() = 0;
  virtual bool GetSettingsFlagBit4() = 0;
  virtual bool GetSettingsFlagBit12() = 0;
  virtual bool GetSettingsFlagBit7() = 0;
  virtual bool TestSettingsFlags(uint32_t mask) = 0;
  virtual bool GetProjectSettingsFlag() = 0;
  virtual bool GetSettingsFlagBit10() = 0;
  virtual bool GetSettingsFlagBit11() = 0;
  virtual bool GetProjectSettingsWord19(uint32_t* out) = 0;
  virtual bool GetRuntimeSettingsWord1(uint32_t* out) = 0;
  virtual uint32_t GetRuntimeSettingsWord2() = 0;
  virtual uint8_t GetRuntimeSettingsByte() = 0;
  virtual ImageRef GetProjectSettingsBlock() = 0;
  virtual ImageRef GetRuntimeSettings() = 0;
  virtual bool GetSettingsFlagBit6() = 0;
  virtual bool GetSettingsFlagBit9() = 0;
  virtual uint32_t GetProjectSettingsWord15() = 0;
  virtual bool GetRuntimeSettingsWord0(uint32_t which, uint32_t* out) = 0;
  virtual ImageRef GetHeaderBlock11() = 0;
  virtual ImageRef GetHeaderBlock11Entry(uint32_t number) = 0;
  virtual ImageRef GetHeaderBlock11Item(uint32_t which, uint32_t index) = 0;

  // ---- Pages and type-15 objects ----
  virtual uint32_t* FindPageByNumber(uint32_t* out, uint32_t number) = 0;
  virtual uint32_t GetPageNumber(const uint32_t& reference) = 0;
  // Also stored into `out` when given.
  virtual uint32_t FindType15Reference(uint32_t* out, uint32_t number, uint8_t byte) = 0;
  virtual ImageRef GetType15Text(uint32_t number) = 0;

  // ---- Object texts and languages ----
  // Object text or the "%d#%d" placeholder; true when the placeholder was made.
  virtual bool GetObjectText(const uint32_t& reference, DataValue* value) = 0;
  // The object's number in the object text map; nullopt when it has none.
  virtual std::optional<uint32_t> GetObjectTextNumber(const uint32_t& reference) = 0;
  virtual uint32_t GetLanguageCount() = 0;
  // Font numbers and styles every language maps, and a language's arrays of
  // them (font variant references; u16 selectors); null when the array
  // leaves the image.
  virtual uint32_t GetLanguageFontNumberCount() = 0;
  virtual uint32_t GetLanguageStyleCount() = 0;
  virtual ImageRef GetLanguageFontArray(uint32_t languageIndex) = 0;
  virtual ImageRef GetLanguageStyleArray(uint32_t languageIndex) = 0;
  virtual uint32_t FindSettingsEntryByName(const std::string& name) = 0;
  virtual ImageRef FindSettingsEntry(uint32_t number) = 0;
  // index -1: next language (wrapping); store: also write the language file.
  virtual bool SetLanguage(int16_t index, bool store) = 0;

  // ---- Connection file ----
  virtual bool StoreConnectionRecord(const uint32_t* key, const void* data, uint16_t length) = 0;
  // `buffer` must hold the stored length (at most 65535 bytes).
  virtual bool LoadConnectionRecord(const uint32_t* key, void* buffer, uint16_t* length) = 0;

  virtual uint32_t GetLanguageId(uint32_t index) = 0;
  virtual int32_t FindLanguageIndex(uint32_t languageId) = 0;
  virtual uint32_t GetCurrentLanguageId() = 0;
  virtual uint32_t GetCurrentLanguageIndex() = 0;
  // The new page reference, or SetLanguage's result when languageIndex >= 0.
  virtual uint32_t SelectPage(uint32_t number, uint32_t unused, int16_t languageIndex, bool store) = 0;
  virtual bool GetSettingsTable20Entry(uint32_t index, uint32_t* out) = 0;
  virtual bool GetSettingsTable20Trailer(uint32_t* out) = 0;

  // ---- Lazily built maps ----
  virtual bool FindReferencesByText(uint32_t typeNumber, const char16_t* text, uint32_t length,
                                    std::vector<uint32_t>* out) = 0;
  // `name` is the address of a CountedString's length word.
  virtual bool FindObjectByName(const uint8_t* name, uint32_t* out) = 0;
  virtual void AddResetCallback(std::function<void()> callback) = 0;
  virtual ImageRef FindCachedReference(const uint32_t& reference, const std::u16string& name) = 0;
  virtual uint32_t GetObjectIndex(const uint32_t& reference) = 0;
};

}  // namespace prt
