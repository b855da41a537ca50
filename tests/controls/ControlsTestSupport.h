#pragma once
// Builds small projects for the control tests, loads them into the data
// manager and generates elements or whole screen documents from them.
#include <cstdint>
#include <string>
#include <vector>

#include "controls/IControl.h"
#include "tools/builder/ProjectBuilder.h"

namespace prt::test {

using builder::Field;
using builder::ObjectId;

struct Geometry {
  int32_t x = 0;
  int32_t y = 0;
  int32_t w = 0;
  int32_t h = 0;
};

constexpr uint32_t Reference(uint32_t type, uint32_t index) { return type << 24 | index; }

// A project with one language (id 0) unless the test adds its own.
class Scene {
 public:
  Scene();

  builder::ProjectBuilder& Project() { return project_; }

  // An object with its text (none when empty) and geometry at the base's
  // record offsets; `extra` adds further fields.
  ObjectId Add(uint8_t type, uint32_t index, const std::u16string& text, Geometry g,
               std::vector<Field> extra = {});
  // A link from parent to child (present flag as given).
  void Link(ObjectId parent, ObjectId child, uint8_t present = 1);
  // A link to a raw reference no object answers to.
  void LinkRaw(ObjectId parent, uint32_t target, uint8_t present = 1);

  // Builds the image and hands it to the data manager; false when either failed.
  bool Load();

 private:
  builder::ProjectBuilder project_;
  bool ownLanguage_ = true;
};

// The record the data manager answers for `reference`.
ImageRef RecordOf(uint32_t reference);

// One control's element, written with `root` as the document's root.
struct Written {
  bool ok = false;
  std::string text;     // UTF-8
  std::u16string wide;  // the stream's own units
};
Written GenerateControl(uint32_t reference, uint32_t root);
// A whole screen document: created, loaded and written as the run does.
Written GenerateScreen(uint32_t reference);
// The generator stream's text as UTF-8.
std::string StreamText(const QmlGenerator& generator);

// The expected file tests/controls/golden/<name>, byte for byte.
std::string Golden(const std::string& name);
// Compares with the golden file; with PRT_UPDATE_GOLDEN set, rewrites it.
void ExpectGolden(const std::string& name, const std::string& actual);

}  // namespace prt::test
