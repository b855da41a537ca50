#pragma once
// The data manager's contract: every question about the project's runtime
// image goes through this interface.
//
// SKELETON: only the operations the generator calls are declared so far;
// the full interface (all operations, in contract order) replaces this.
#include <cstdint>
#include <string>

#include "data/image/RuntimeImage.h"
#include "data/manager/DataValue.h"
#include "data/files/IPRSingleton.h"

namespace prt {

// Font information of one font number for the current language.
struct FontInfo {
  std::string faceName;        // 8-bit face name
  ImageRef faceData;           // face block byte 36
  uint32_t pointSize = 0;
  uint8_t bold = 0;
  uint8_t italic = 0;
  uint8_t underline = 0;
};

class IPRDataManager : public IPRSingleton {
 public:
  // Record count of object type t; 0 when absent.
  virtual uint32_t GetObjectCount(uint32_t typeNumber) = 0;
  // The record of an object, positioned at record word 1 (the object's own
  // reference); null when absent.
  virtual ImageRef GetObjectRecord(const uint32_t& reference) = 0;
  // Link entry k of the object's link list (8 bytes: kind, present flag,
  // slot, unused, u32 target reference); null past the end.
  virtual ImageRef GetObjectLink(const uint32_t& reference, uint32_t k) = 0;
  // Object text or the "%d#%d" placeholder; true when the placeholder was made.
  virtual bool GetObjectText(const uint32_t& reference, DataValue* value) = 0;
  virtual uint32_t GetLanguageCount() = 0;
  // index -1: next language (wrapping); store: also write the language file.
  virtual bool SetLanguage(int16_t index, bool store) = 0;
  virtual bool GetCurrentLanguageFontInfo(uint16_t fontNumber, uint16_t styleNumber, FontInfo* info) = 0;
};

}  // namespace prt
