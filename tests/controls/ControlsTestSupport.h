#pragma once
// Loads data sets described in JSON (docs/dataset-format.md) into the data
// manager and generates elements or whole screen documents from them.
#include <cstdint>
#include <string>
#include <string_view>

#include "controls/IControl.h"

namespace prt::test {

constexpr uint32_t Reference(uint32_t type, uint32_t index) { return type << 24 | index; }
constexpr uint32_t kPage0 = Reference(1, 0);

// Builds the data set the helpers below use; a bad description throws,
// which fails the calling test.
bool Load(std::string_view json);
// The data set of the last Load.
const DataSet& Data();
// A data set made of the objects `screens` (a JSON list without brackets).
bool LoadScreens(const std::string& screens);
ImageRef RecordOf(uint32_t reference);

// The popup of popup.qml: index 2, one language, a title (`title` is its
// JSON, empty for none), the given border and children.
constexpr const char* kPopupTitle =
    R"({"icon": 17, "textId": 42, "background": "#ffc0c0c0", "height": 30, "closeButton": true})";
constexpr const char* kOkButton =
    R"({"type": "button", "index": 5, "text": "OK", "x": 150, "y": 200, "w": 100, "h": 40})";
std::string PopupJson(const std::string& title = kPopupTitle, int border = 2,
                      const std::string& children = kOkButton, const std::string& face = "\"Sans\"");

struct Written {
  bool ok = false;
  std::string text;     // UTF-8
  std::u16string wide;  // the stream's own units
  std::string notices;  // what the run would print after the screen
};
// One control's element, written with `root` as the document's root, in
// `language`.
Written GenerateControl(uint32_t reference, uint32_t root = kPage0, uint32_t language = 0);
// A whole screen document: created, loaded and written as the run does.
Written GenerateScreen(uint32_t reference);
std::string StreamText(const QmlGenerator& generator);

// Compares with tests/controls/golden/<name>; with PRT_UPDATE_GOLDEN set, rewrites it.
void ExpectGolden(const std::string& name, const std::string& actual);

}  // namespace prt::test
