#include "tools/inspect/JsonOutput.h"

#include <cmath>
#include <cstdio>

#include "controls/TypeTable.h"
#include "platform/Text.h"

namespace prt::inspect {

using namespace builder;

bool JsonOutput::IsEmpty(const ShapeOf& shape) {
  // A shape the type names is written by the type's name.
  const ControlForm& o = shape.value;
  return !o.shape || FindType(o.type, *o.shape);
}

JsonOutput::Json JsonOutput::Write(std::u16string& v) { return platform::Narrow(v); }

// "#aarrggbb", as the documents write a colour.
JsonOutput::Json JsonOutput::Write(Colour& colour) {
  char text[10];
  std::snprintf(text, sizeof text, "#%02x%02x%02x%02x", colour[3], colour[0], colour[1], colour[2]);
  return text;
}

JsonOutput::Json JsonOutput::Write(std::optional<FontVariants>& variants) {
  return variants ? Json(*variants) : Json(nullptr);
}

// One text for every language, one per language, or null for none.
JsonOutput::Json JsonOutput::Write(TextRow& row) {
  if (row.all) return Write(*row.all);
  if (row.perLanguage.empty()) return nullptr;
  return Write(row.perLanguage);
}

// One colour at 0 is what a colour alone gives.
JsonOutput::Json JsonOutput::Write(Gradient& fill) {
  const size_t colours = fill.colours ? fill.colours->size() : 0;
  const bool single = fill.count.value_or(static_cast<uint8_t>(colours)) == 1 && fill.orientation == 0 &&
                      fill.positions && fill.positions->size() == 1 && fill.positions->front() == 0.0f &&
                      !std::signbit(fill.positions->front()) && colours == 1;
  return single ? Write(fill.colours->front()) : Object(fill);
}

JsonOutput::Json JsonOutput::Write(TypeOf& type) {
  const ControlForm& o = type.value;
  if (const TypeRow* row = FindType(o.type, o.shape ? int{*o.shape} : -1)) return row->name;
  return o.shape ? Json("vector") : Json(o.type);
}

JsonOutput::Json JsonOutput::Write(SubRecordOf& sub) {
  return sub.value.subRecordWord ? Json(*sub.value.subRecordWord) : Write(*sub.value.subRecord);
}

JsonOutput::Json JsonOutput::Write(Ref& ref) {
  if (ref.label.empty()) return ref.offset ? Json(ref.offset) : Json(nullptr);
  if (ref.offset == 0) return ref.label;
  return Json{{"label", ref.label}, {"plus", ref.offset}};
}

JsonOutput::Json JsonOutput::Write(ChildrenOf& children) {
  Json array = Json::array();
  for (ControlForm& child : children.value.children) {
    if (child.rawLink) array.push_back(Json{{"link", Object(*child.rawLink)}});
    else array.push_back(Object(child));
  }
  return array;
}

JsonOutput::Json JsonOutput::Write(LinkTarget& target) {
  const Link& l = target.value;
  return l.object.empty() ? Json(l.target) : Json(l.object);
}

JsonOutput::Json JsonOutput::Write(RecordSizes& sizes) {
  Json object = Json::object();
  for (const auto& [type, size] : sizes.value) object[std::to_string(type)] = size;
  return object;
}

JsonOutput::Json JsonOutput::Write(LanguageFile& file) { return file.index ? Json(*file.index) : Object(file); }

}  // namespace prt::inspect
