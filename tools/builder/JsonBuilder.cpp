#include "tools/builder/JsonBuilder.h"

#include "tools/builder/ScreenForms.h"
#include "controls/TypeTable.h"
#include "platform/Endian.h"
#include "tools/builder/Synthetic.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <ranges>
#include <string_view>

namespace prt::builder {
namespace {

using nlohmann::json;

// The types whose objects link their children in: screens and the container.
constexpr bool LinksChildren(uint8_t type) { return IsScreenType(type) || IsGroupType(type); }

// The shape byte of a drawn shape's type row.
std::optional<uint8_t> ShapeOf(const TypeRow* row) {
  if (!row || row->shape < 0) return std::nullopt;
  return static_cast<uint8_t>(row->shape);
}

// Edits (insert, delete, replace, swap two neighbours) from a to b.
size_t Distance(std::string_view a, std::string_view b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t k = 0; k <= b.size(); ++k) d[0][k] = k;
  for (size_t i = 1; i <= a.size(); ++i)
    for (size_t k = 1; k <= b.size(); ++k) {
      d[i][k] = std::min({d[i - 1][k] + 1, d[i][k - 1] + 1, d[i - 1][k - 1] + (a[i - 1] != b[k - 1])});
      if (i > 1 && k > 1 && a[i - 1] == b[k - 2] && a[i - 2] == b[k - 1])
        d[i][k] = std::min(d[i][k], d[i - 2][k - 2] + 1);
    }
  return d[a.size()][b.size()];
}

// "; did you mean "x"?" for the nearest of `names` when it is near enough
// to be a slip (one edit in a short name, two in a longer one).
template <typename Names>
std::string DidYouMean(std::string_view word, const Names& names) {
  if (word.size() > 64) return {};
  const size_t allowed = word.size() >= 6 ? 2 : 1;
  std::string_view best;
  size_t bestDistance = allowed + 1;
  for (const auto& name : names) {
    const size_t distance = Distance(word, name);
    if (distance < bestDistance) best = name, bestDistance = distance;
  }
  return best.empty() ? std::string() : "; did you mean \"" + std::string(best) + "\"?";
}

[[noreturn]] void Fail(const std::string& path, const std::string& what) {
  throw BuildError((path.empty() ? std::string("description") : path) + ": " + what);
}

std::string Sub(const std::string& path, const std::string& key) {
  return path.empty() ? key : path + "." + key;
}
std::string Sub(const std::string& path, size_t i) { return path + "[" + std::to_string(i) + "]"; }

// Calls `each` with every element of an array and the element's path;
// anything but an array fails with `expected`.
template <typename Each>
void ForEach(const json& j, const std::string& path, const char* expected, Each each) {
  if (!j.is_array()) Fail(path, expected);
  for (size_t i = 0; i < j.size(); ++i) each(j[i], Sub(path, i));
}

// The elements of an array, each read by `read` from the element and its
// path; anything but an array fails with `expected`.
template <typename Read>
auto Map(const json& j, const std::string& path, const char* expected, Read read) {
  std::vector<decltype(read(j, path))> out;
  ForEach(j, path, expected, [&](const json& e, const std::string& p) { out.push_back(read(e, p)); });
  return out;
}

void CheckKeys(const json& j, const std::string& path, std::initializer_list<const char*> allowed) {
  if (!j.is_object()) Fail(path, "expected an object");
  for (const auto& item : j.items()) {
    const std::string& key = item.key();
    if (std::none_of(allowed.begin(), allowed.end(), [&](const char* a) { return key == a; }))
      Fail(path, "unknown key \"" + key + "\"" + DidYouMean(key, allowed));
  }
}

// Integers: JSON numbers or "0x..." strings, checked against [lo, hi].
int64_t Integer(const json& j, const std::string& path, int64_t lo, int64_t hi) {
  int64_t v = 0;
  if (j.is_number_unsigned()) {
    const uint64_t u = j.get<uint64_t>();
    if (u > static_cast<uint64_t>(INT64_MAX)) Fail(path, "number out of range");
    v = static_cast<int64_t>(u);
  } else if (j.is_number_integer()) {
    v = j.get<int64_t>();
  } else if (j.is_string()) {
    const std::string s = j.get<std::string>();
    size_t used = 0;
    try {
      v = static_cast<int64_t>(std::stoull(s, &used, 0));
    } catch (const std::exception&) {
      used = 0;
    }
    if (used == 0 || used != s.size()) Fail(path, "expected an integer, got \"" + s + "\"");
  } else {
    Fail(path, "expected an integer");
  }
  if (v < lo || v > hi) Fail(path, "value " + std::to_string(v) + " out of range");
  return v;
}

// A value of N bits, signed or not: [-2^(N-1), 2^N - 1].
template <typename T>
T Bits(const json& j, const std::string& path) {
  using Signed = std::make_signed_t<T>;
  using Unsigned = std::make_unsigned_t<T>;
  return static_cast<T>(Integer(j, path, std::numeric_limits<Signed>::min(), std::numeric_limits<Unsigned>::max()));
}
constexpr auto U8 = Bits<uint8_t>;
constexpr auto U16 = Bits<uint16_t>;
constexpr auto U32 = Bits<uint32_t>;
constexpr auto I32 = Bits<int32_t>;
// "<value> <unit> (limit <limit>)".
std::string OverLimit(uint64_t value, const char* unit, uint64_t limit) {
  return std::to_string(value) + " " + unit + " (limit " + std::to_string(limit) + ")";
}

// A size or offset that decides an allocation: refused above `limit`.
uint32_t Limited(const json& j, const std::string& path, uint32_t limit, const char* what) {
  const uint32_t v = U32(j, path);
  if (v > limit) Fail(path, std::string(what) + " " + std::to_string(v) + " too large (limit " + std::to_string(limit) + ")");
  return v;
}
uint64_t U64(const json& j, const std::string& path) {
  if (j.is_number_unsigned()) return j.get<uint64_t>();
  return static_cast<uint64_t>(Integer(j, path, INT64_MIN, INT64_MAX));
}
double Real(const json& j, const std::string& path) {
  if (!j.is_number()) Fail(path, "expected a number");
  return j.get<double>();
}
float Float(const json& j, const std::string& path) { return static_cast<float>(Real(j, path)); }
bool Bool(const json& j, const std::string& path) {
  if (!j.is_boolean()) Fail(path, "expected true or false");
  return j.get<bool>();
}
std::string String(const json& j, const std::string& path) {
  if (!j.is_string()) Fail(path, "expected a string");
  return j.get<std::string>();
}

// UTF-8 to UTF-16 code units; the builder must not depend on the tool's own
// conversion code, which it is used to test.
std::u16string Utf16(const std::string& s, const std::string& path) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    uint32_t cp;
    size_t n;
    if (c < 0x80) { cp = c; n = 1; }
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; n = 2; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; n = 3; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; n = 4; }
    else Fail(path, "invalid UTF-8");
    if (i + n > s.size()) Fail(path, "invalid UTF-8");
    for (size_t k = 1; k < n; ++k) {
      const auto cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) Fail(path, "invalid UTF-8");
      cp = cp << 6 | (cc & 0x3F);
    }
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::vector<uint8_t> ByteList(const json& j, const std::string& path) {
  if (j.is_string()) {  // plain 8-bit text
    const std::string s = j.get<std::string>();
    return {s.begin(), s.end()};
  }
  return Map(j, path, "expected an array of bytes or a string", U8);
}

Colour ColourValue(const json& j, const std::string& path) {
  if (j.is_string()) {
    const auto c = ParseColour(j.get<std::string>());
    if (!c) Fail(path, "expected a colour \"#aarrggbb\" or \"#rrggbb\"");
    return *c;
  }
  if (j.is_array() && j.size() == 4) {
    const auto b = ByteList(j, path);
    return {b[0], b[1], b[2], b[3]};
  }
  if (j.is_number()) return ColourFromArgb(U32(j, path));
  Fail(path, "expected a colour");
}

class Parser {
 public:
  explicit Parser(ProjectBuilder& b) : b_(b) {}

  Ref RefValue(const json& j, const std::string& path) {
    if (j.is_null()) return Ref::None();
    if (j.is_string()) {
      blockUses_.emplace_back(j.get<std::string>(), path);
      return Ref::To(j.get<std::string>());
    }
    if (j.is_object()) {
      CheckKeys(j, path, {"label", "plus"});
      if (!j.contains("label")) Fail(path, "reference without \"label\"");
      const std::string label = String(j["label"], Sub(path, "label"));
      blockUses_.emplace_back(label, Sub(path, "label"));
      return Ref::To(label, j.contains("plus") ? U32(j["plus"], Sub(path, "plus")) : 0);
    }
    return Ref::Raw(U32(j, path));
  }

  Field FieldValue(const json& j, const std::string& path, uint32_t maxAt) {
    if (!j.is_object()) Fail(path, "expected a field {\"at\": n, \"<type>\": value}");
    if (!j.contains("at")) Fail(path, "field without \"at\"");
    const uint32_t at = Limited(j["at"], Sub(path, "at"), maxAt, "offset");
    if (j.size() != 2) Fail(path, "a field holds \"at\" and exactly one typed value");
    for (const auto& [key, v] : j.items()) {
      if (key == "at") continue;
      const std::string p = Sub(path, key);
      if (key == "u8") return Field::U8(at, U8(v, p));
      if (key == "u16") return Field::U16(at, U16(v, p));
      if (key == "u32") return Field::U32(at, U32(v, p));
      if (key == "i32") return Field::I32(at, I32(v, p));
      if (key == "u64") return Field::U64(at, U64(v, p));
      if (key == "f32") return Field::F32(at, Float(v, p));
      if (key == "f64") return Field::F64(at, Real(v, p));
      if (key == "bytes") return Field::Bytes(at, ByteList(v, p));
      if (key == "color" || key == "colour") {
        const Colour c = ColourValue(v, p);
        return Field::Bytes(at, {c.begin(), c.end()});
      }
      if (key == "ref") return Field::Pointer(at, RefValue(v, p));
      Fail(path, "unknown field type \"" + key + "\"");
    }
    Fail(path, "field without a value");
  }

  std::vector<Field> Fields(const json& j, const std::string& path, uint32_t maxAt = ImageWriter::kMaxSize) {
    return Map(j, path, "expected an array of fields",
               [&](const json& f, const std::string& p) { return FieldValue(f, p, maxAt); });
  }

  Gradient GradientValue(const json& j, const std::string& path) {
    Gradient g;
    if (j.is_string() || j.is_number()) {
      g.colours = std::vector<Colour>{ColourValue(j, path)};
      g.positions = std::vector<float>{0.0f};
      return g;
    }
    CheckKeys(j, path, {"count", "orientation", "stops", "positions", "colors", "colours"});
    if (j.contains("orientation")) {
      const json& o = j["orientation"];
      if (o == "horizontal") g.orientation = 1;
      else if (o == "vertical") g.orientation = 2;
      else g.orientation = U8(o, Sub(path, "orientation"));
    }
    if (j.contains("stops")) {
      g.positions.emplace();
      g.colours.emplace();
      const char* expected = "expected [[position, colour], ...]";
      ForEach(j["stops"], Sub(path, "stops"), expected, [&](const json& stop, const std::string& p) {
        if (!stop.is_array() || stop.size() != 2) Fail(p, "expected [position, colour]");
        g.positions->push_back(Float(stop[0], p));
        g.colours->push_back(ColourValue(stop[1], p));
      });
    }
    if (j.contains("positions")) {
      const json& s = j["positions"];
      const std::string p = Sub(path, "positions");
      if (s.is_null()) g.positions.reset();
      else g.positions = Map(s, p, "expected an array of numbers or null", Float);
    }
    for (const char* key : {"colors", "colours"}) {
      if (!j.contains(key)) continue;
      const json& s = j[key];
      const std::string p = Sub(path, key);
      if (s.is_null()) g.colours.reset();
      else g.colours = Map(s, p, "expected an array of colours or null", ColourValue);
    }
    if (j.contains("count")) g.count = U8(j["count"], Sub(path, "count"));
    return g;
  }

  PopupTitle TitleValue(const json& j, const std::string& path) {
    CheckKeys(j, path, {"icon", "textId", "textColor", "textColour", "background", "font", "height",
                        "closeButton", "flags"});
    PopupTitle t;
    if (j.contains("icon")) t.icon = I32(j["icon"], Sub(path, "icon"));
    if (j.contains("textId")) t.textId = U32(j["textId"], Sub(path, "textId"));
    for (const char* key : {"textColor", "textColour"})
      if (j.contains(key)) t.textColour = ColourValue(j[key], Sub(path, key));
    if (j.contains("background")) t.background = GradientValue(j["background"], Sub(path, "background"));
    if (j.contains("font")) {
      const json& f = j["font"];
      const std::string p = Sub(path, "font");
      if (f.is_array() && f.size() == 2) {
        t.fontNumber = U16(f[0], Sub(p, 0));
        t.fontStyle = U16(f[1], Sub(p, 1));
      } else {
        CheckKeys(f, p, {"number", "style"});
        if (f.contains("number")) t.fontNumber = U16(f["number"], Sub(p, "number"));
        if (f.contains("style")) t.fontStyle = U16(f["style"], Sub(p, "style"));
      }
    }
    if (j.contains("height")) t.height = U16(j["height"], Sub(path, "height"));
    if (j.contains("flags")) t.flags = U8(j["flags"], Sub(path, "flags"));
    if (j.contains("closeButton") && Bool(j["closeButton"], Sub(path, "closeButton"))) t.flags |= 1;
    return t;
  }

  Link LinkValue(const json& j, const std::string& path) {
    CheckKeys(j, path, {"kind", "present", "slot", "spare", "target"});
    Link l;
    if (j.contains("kind")) l.kind = U8(j["kind"], Sub(path, "kind"));
    if (j.contains("present")) {
      const json& p = j["present"];
      l.present = p.is_boolean() ? (p.get<bool>() ? 1 : 0) : U8(p, Sub(path, "present"));
    }
    if (j.contains("slot")) l.slot = U8(j["slot"], Sub(path, "slot"));
    if (j.contains("spare")) l.spare = U8(j["spare"], Sub(path, "spare"));
    if (!j.contains("target")) Fail(path, "link without \"target\"");
    if (j["target"].is_string() && !j["target"].get<std::string>().starts_with("0x")) {
      l.object = j["target"].get<std::string>();
      objectUses_.emplace_back(l.object, Sub(path, "target"));
    } else
      l.target = U32(j["target"], Sub(path, "target"));
    return l;
  }

  std::vector<std::optional<std::u16string>> TextColumns(const json& j, const std::string& path) {
    auto out = Map(j, path, "expected a text, an array of texts per language, or null",
                   [](const json& t, const std::string& p) -> std::optional<std::u16string> {
                     if (t.is_null()) return std::nullopt;
                     return Utf16(String(t, p), p);
                   });
    CheckTextCount(out.size(), path);
    return out;
  }

  // One object and, recursively, its children. `standard` writes the common
  // control fields (geometry, flags, sub-record) even when not given.
  ControlForm ObjectValue(const json& j, const std::string& path, bool standard) {
    CheckKeys(j, path, {"type", "shape", "label", "index", "text", "textId", "x", "y", "w", "h",
                        "flags", "word8", "hidden", "outside", "subRecord", "background",
                        "borderColor", "borderColour", "borderWidth", "borderRadius", "title",
                        "fields", "links", "children", "linked", "linkKind", "linkSlot",
                        "template", "emptyLinkList", "ownReference", "size", "textEx",
                        "recordWords", "recordBytes", "pageNumber", "namedEntries"});
    if (!j.contains("type")) Fail(path, "object without \"type\"");
    ControlForm o;
    o.standard = standard;
    bool namedType = false;
    const json& type = j["type"];
    if (type.is_string() && !type.get<std::string>().starts_with("0x")) {
      const TypeRow* named = FindTypeNamed(type.get<std::string>());
      if (!named)
        Fail(Sub(path, "type"), "unknown type \"" + type.get<std::string>() + "\"" +
                                    DidYouMean(type.get<std::string>(), std::views::transform(kTypeTable, &TypeRow::name)));
      namedType = true;
      o.type = named->number;
      o.shape = ShapeOf(named);
    } else {
      o.type = U8(type, Sub(path, "type"));
    }
    auto has = [&](const char* key) { return j.contains(key); };
    auto at = [&](const char* key) { return Sub(path, key); };
    if (has("shape")) {
      const json& s = j["shape"];
      const auto named = s.is_string() ? ShapeOf(FindTypeNamed(s.get<std::string>())) : std::nullopt;
      o.shape = named ? *named : U8(s, at("shape"));
    }
    if (has("label")) {
      o.label = String(j["label"], at("label"));
      Define(objectLabels_, o.label, at("label"));
    }
    if (has("index")) {
      o.index = static_cast<uint32_t>(Integer(j["index"], at("index"), 0, 0xFFFFFF));
      auto& [highest, where] = highestIndex_[o.type];
      if (where.empty() || *o.index > highest) highest = *o.index, where = at("index");
      const auto [first, added] = indexAt_.emplace(std::pair(o.type, *o.index), at("index"));
      if (!added)
        Fail(at("index"), "object of type " + std::to_string(o.type) + " with index " + std::to_string(*o.index) +
                              " is defined twice; first at " + first->second);
    }
    if (has("ownReference")) o.ownReference = U32(j["ownReference"], at("ownReference"));
    if (has("emptyLinkList")) o.emptyLinkList = Bool(j["emptyLinkList"], at("emptyLinkList"));
    if (has("size")) {
      o.recordSize = Limited(j["size"], at("size"), limits::kRecordSize, "record size");
      NoteRecordSize(o.type, at("size"));
    }
    if (has("text")) {
      const json& t = j["text"];
      if (t.is_string()) o.text = Utf16(t.get<std::string>(), at("text"));
      else if (!t.is_null()) o.texts = TextColumns(t, at("text"));
    }
    if (has("textId")) o.textId = U32(j["textId"], at("textId"));
    if (has("textEx")) {
      const json& t = j["textEx"];
      if (t.is_string()) o.textEx = Utf16(t.get<std::string>(), at("textEx"));
      else if (t.is_array()) o.textsEx = TextColumns(t, at("textEx"));
      else o.textExId = U32(t, at("textEx"));
    }
    if (has("x")) o.x = I32(j["x"], at("x"));
    if (has("y")) o.y = I32(j["y"], at("y"));
    if (has("w")) o.w = I32(j["w"], at("w"));
    if (has("h")) o.h = I32(j["h"], at("h"));
    if (has("flags")) o.flags = U32(j["flags"], at("flags"));
    if (has("word8")) o.word8 = U32(j["word8"], at("word8"));
    if (has("hidden")) o.hidden = Bool(j["hidden"], at("hidden"));
    if (has("outside")) o.outside = Bool(j["outside"], at("outside"));
    if (has("subRecord")) {
      if (j["subRecord"].is_number()) o.subRecordWord = U32(j["subRecord"], at("subRecord"));
      else o.subRecord = RefValue(j["subRecord"], at("subRecord"));
    }
    if (has("background")) o.background = GradientValue(j["background"], at("background"));
    for (const char* key : {"borderColor", "borderColour"})
      if (has(key)) o.borderColour = ColourValue(j[key], at(key));
    if (has("borderWidth")) o.borderWidth = U16(j["borderWidth"], at("borderWidth"));
    if (has("borderRadius")) o.borderRadius = U16(j["borderRadius"], at("borderRadius"));
    if (has("title")) {
      if (j["title"].is_null()) o.nullTitle = true;
      else o.title = TitleValue(j["title"], at("title"));
    }
    // Table-record numbering (word 0 = link list), as the data manager counts.
    if (has("recordWords")) {
      const json& words = j["recordWords"];
      const std::string p = at("recordWords");
      if (!words.is_object()) Fail(p, "expected {\"<word>\": value}");
      for (const auto& [key, v] : words.items()) {
        const uint32_t word = static_cast<uint32_t>(Integer(json(key), Sub(p, key), 2, 0xFFFF));
        if (v.is_object() && v.contains("ref"))
          o.fields.push_back(Field::Pointer(4 * word - 4, RefValue(v["ref"], Sub(Sub(p, key), "ref"))));
        else
          o.fields.push_back(Field::U32(4 * word - 4, U32(v, Sub(p, key))));
      }
    }
    if (has("recordBytes")) {
      const json& bytes = j["recordBytes"];
      const std::string p = at("recordBytes");
      if (!bytes.is_object()) Fail(p, "expected {\"<byte>\": value}");
      for (const auto& [key, v] : bytes.items())
        o.fields.push_back(Field::U8(static_cast<uint32_t>(Integer(json(key), Sub(p, key), 8, 0xFFFF)) - 4, U8(v, Sub(p, key))));
    }
    if (has("pageNumber")) o.fields.push_back(Field::U32(4 * 15 - 4, U32(j["pageNumber"], at("pageNumber"))));
    if (has("namedEntries")) o.fields.push_back(NamedEntries(j["namedEntries"], at("namedEntries")));
    if (has("fields"))
      for (Field& f : Fields(j["fields"], at("fields"), limits::kRecordSize)) o.fields.push_back(std::move(f));
    if (has("linked")) o.linked = Bool(j["linked"], at("linked"));
    if (has("linkKind")) o.linkKind = U8(j["linkKind"], at("linkKind"));
    if (has("linkSlot")) o.linkSlot = U8(j["linkSlot"], at("linkSlot"));
    if (has("template")) {
      o.templateLabel = String(j["template"], at("template"));
      objectUses_.emplace_back(o.templateLabel, at("template"));
    }
    if (has("children")) {
      const json& c = j["children"];
      // Only screens and containers link their children in; a named control
      // of another kind would drop them without a word.
      if (c.is_array() && namedType && !c.empty() && !LinksChildren(o.type))
        Fail(at("children"), "a " + type.get<std::string>() +
                                 " holds no children (only pages, templates, report pages, popups and containers do)");
      ForEach(c, at("children"), "expected an array", [&](const json& child, const std::string& p) {
        if (child.is_object() && child.contains("link")) {
          CheckKeys(child, p, {"link"});
          ControlForm raw;
          raw.rawLink = LinkValue(child["link"], Sub(p, "link"));
          o.children.push_back(std::move(raw));
        } else {
          o.children.push_back(ObjectValue(child, p, true));
        }
      });
    }
    if (has("links"))
      o.links = Map(j["links"], at("links"), "expected an array",
                    [&](const json& l, const std::string& p) { return LinkValue(l, p); });
    return o;
  }

  // Record word 4: a table {count; 24-byte entries whose word 0 refers to a
  // CountedString}.
  Field NamedEntries(const json& j, const std::string& path) {
    if (!j.is_array()) Fail(path, "expected an array of names");
    Block table{b_.NewLabel("named"), 4 + 24 * static_cast<uint32_t>(j.size()), 4,
                {Field::U32(0, static_cast<uint32_t>(j.size()))}};
    for (size_t i = 0; i < j.size(); ++i) {
      const std::string p = Sub(path, i);
      const uint32_t at = 4 + 24 * static_cast<uint32_t>(i);
      const json* name = &j[i];
      if (j[i].is_object()) {
        CheckKeys(j[i], p, {"name", "fields"});
        if (!j[i].contains("name")) Fail(p, "entry without \"name\"");
        name = &j[i]["name"];
        if (j[i].contains("fields"))
          for (Field f : Fields(j[i]["fields"], Sub(p, "fields"))) {
            f.at += at;
            table.fields.push_back(std::move(f));
          }
      }
      table.fields.push_back(Field::Pointer(at, Ref::To(b_.AddStringBlock(Utf16(String(*name, p), p)))));
    }
    const std::string label = table.label;
    b_.AddBlock(std::move(table));
    return Field::Pointer(4 * 4 - 4, Ref::To(label));
  }

  void Objects(const json& j, const std::string& path, bool standard) {
    ForEach(j, path, "expected an array", [&](const json& o, const std::string& p) {
      AddControl(b_, ObjectValue(o, p, standard));
    });
  }

  void BlockValue(const json& j, const std::string& path) {
    CheckKeys(j, path, {"label", "size", "align", "fields", "string", "bytes"});
    if (!j.contains("label")) Fail(path, "block without \"label\"");
    const std::string label = String(j["label"], Sub(path, "label"));
    Define(blockLabels_, label, Sub(path, "label"));
    if (j.contains("string")) {
      if (j.size() != 2) Fail(path, "a string block holds \"label\" and \"string\" only");
      b_.AddStringBlock(Utf16(String(j["string"], Sub(path, "string")), Sub(path, "string")), label);
      return;
    }
    Block b{label, 0, 4, {}};
    if (j.contains("size")) b.size = Limited(j["size"], Sub(path, "size"), ImageWriter::kMaxSize, "block size");
    if (j.contains("align")) b.align = static_cast<uint32_t>(Integer(j["align"], Sub(path, "align"), 1, 4096));
    if (j.contains("bytes")) b.fields.push_back(Field::Bytes(0, ByteList(j["bytes"], Sub(path, "bytes"))));
    if (j.contains("fields"))
      for (Field& f : Fields(j["fields"], Sub(path, "fields"))) b.fields.push_back(std::move(f));
    b_.AddBlock(std::move(b));
  }

  void Languages(const json& j, const std::string& path) {
    if (!j.is_array()) Fail(path, "expected an array");
    for (size_t i = 0; i < j.size(); ++i) {
      const std::string p = Sub(path, i);
      const json& l = j[i];
      CheckKeys(l, p, {"id", "fonts", "selectors"});
      Language lang;
      lang.id = l.contains("id") ? U32(l["id"], Sub(p, "id")) : static_cast<uint32_t>(i);
      if (l.contains("fonts"))
        lang.fonts = Map(l["fonts"], Sub(p, "fonts"), "expected an array",
                         [](const json& f, const std::string& fp) -> std::optional<FontVariants> {
                           if (f.is_null()) return std::nullopt;
                           if (!f.is_array()) {
                             const uint16_t v = U16(f, fp);
                             return FontVariants{v, v, v, v};
                           }
                           if (f.size() != 4) Fail(fp, "expected four font indexes");
                           return FontVariants{U16(f[0], fp), U16(f[1], fp), U16(f[2], fp), U16(f[3], fp)};
                         });
      if (l.contains("selectors")) lang.selectors = Map(l["selectors"], Sub(p, "selectors"), "expected an array", U16);
      b_.AddLanguage(std::move(lang));
    }
  }

  void Texts(const json& j, const std::string& path) {
    ForEach(j, path, "expected an array", [&](const json& t, const std::string& p) {
      if (t.is_string()) b_.AddText(Utf16(t.get<std::string>(), p));
      else if (t.is_null()) b_.AddTexts({});
      else b_.AddTexts(TextColumns(t, p));
    });
  }

  void Fonts(const json& j, const std::string& path) {
    ForEach(j, path, "expected an array", [&](const json& f, const std::string& p) {
      CheckKeys(f, p, {"face", "size", "bold", "italic", "flags", "byte0", "faceData"});
      FontRecord font;
      if (!f.contains("face")) Fail(p, "font without \"face\" (null for none)");
      if (!f["face"].is_null()) font.face = String(f["face"], Sub(p, "face"));
      if (f.contains("size")) font.size = U16(f["size"], Sub(p, "size"));
      if (f.contains("bold")) font.bold = Bool(f["bold"], Sub(p, "bold"));
      if (f.contains("italic")) font.italic = Bool(f["italic"], Sub(p, "italic"));
      if (f.contains("flags")) font.flags = U8(f["flags"], Sub(p, "flags"));
      if (f.contains("byte0")) font.byte0 = U8(f["byte0"], Sub(p, "byte0"));
      if (f.contains("faceData")) font.faceData = ByteList(f["faceData"], Sub(p, "faceData"));
      try {
        b_.AddFont(std::move(font));
      } catch (const BuildError& e) {
        Fail(p, e.what());
      }
    });
  }

  std::vector<MapGroup> DefaultMapValue(const json& j, const std::string& path) {
    return Map(j, path, "expected an array of groups", [](const json& group, const std::string& p) {
      CheckKeys(group, p, {"key", "entries", "nullTable"});
      MapGroup g;
      g.key = group.contains("key") ? U32(group["key"], Sub(p, "key")) : 0;
      if (group.contains("nullTable")) g.nullTable = Bool(group["nullTable"], Sub(p, "nullTable"));
      if (group.contains("entries"))
        g.entries = Map(group["entries"], Sub(p, "entries"), "expected [[identifier, value], ...]",
                        [](const json& e, const std::string& ep) {
                          if (!e.is_array() || e.size() != 2) Fail(ep, "expected [identifier, value]");
                          return std::pair(U32(e[0], ep), U32(e[1], ep));
                        });
      return g;
    });
  }

  std::vector<std::optional<ValueList>> Lists(const json& j, const std::string& path) {
    return Map(j, path, "expected an array of lists", [](const json& list, const std::string& p) -> std::optional<ValueList> {
      if (list.is_null()) return std::nullopt;
      CheckKeys(list, p, {"kind", "entries", "count"});
      ValueList l;
      if (list.contains("kind")) {
        const json& k = list["kind"];
        if (k == "bit") l.kind = 1;
        else if (k == "value") l.kind = 2;
        else if (k == "range") l.kind = 3;
        else l.kind = U16(k, Sub(p, "kind"));
      }
      const size_t width = l.kind == 3 ? 3 : 2;
      if (list.contains("entries"))
        l.entries = Map(list["entries"], Sub(p, "entries"), "expected an array of entries",
                        [&](const json& e, const std::string& ep) {
                          if (!e.is_array() || e.size() != width)
                            Fail(ep, width == 3 ? "expected [upper, lower, result]" : "expected [value, result]");
                          // Each word's message names the entry.
                          return Map(e, ep, "", [&](const json& w, const std::string&) { return U32(w, ep); });
                        });
      if (list.contains("count")) l.count = U16(list["count"], Sub(p, "count"));
      return l;
    });
  }

  static std::optional<Resource> ResourceValue(const json& j, const std::string& path) {
    if (j.is_null()) return std::nullopt;
    Resource r;
    if (j.is_object()) {
      CheckKeys(j, path, {"first", "bytes"});
      if (j.contains("first")) r.first = U32(j["first"], Sub(path, "first"));
      if (j.contains("bytes")) r.data = ByteList(j["bytes"], Sub(path, "bytes"));
      return r;
    }
    r.data = ByteList(j, path);
    return r;
  }

  void Resources(const json& j, const std::string& path) {
    ForEach(j, path, "expected an array of resources", [&](const json& r, const std::string& p) {
      if (!r.is_object() || !r.contains("languages")) {
        b_.AddResource({ResourceValue(r, p)});
        return;
      }
      CheckKeys(r, p, {"languages"});
      auto row = Map(r["languages"], Sub(p, "languages"), "expected an array", ResourceValue);
      // A row of one entry would apply to every language: pad it.
      if (row.size() == 1) row.emplace_back();
      b_.AddResource(std::move(row));
    });
  }

  void Settings(const json& root) {
    if (root.contains("projectSettings")) {
      const json& j = root["projectSettings"];
      const std::string p = "projectSettings";
      CheckKeys(j, p, {"word15", "word19", "flag", "byte23", "size"});
      ProjectSettings s;
      if (j.contains("word15")) s.word15 = U32(j["word15"], Sub(p, "word15"));
      if (j.contains("word19")) s.word19 = U32(j["word19"], Sub(p, "word19"));
      if (j.contains("byte23")) s.byte23 = U8(j["byte23"], Sub(p, "byte23"));
      if (j.contains("flag") && Bool(j["flag"], Sub(p, "flag"))) s.byte23 |= 1;
      if (j.contains("size")) s.size = Limited(j["size"], Sub(p, "size"), ImageWriter::kMaxSize, "block size");
      b_.given.projectSettings = s;
    }
    if (root.contains("runtimeSettings")) {
      const json& j = root["runtimeSettings"];
      const std::string p = "runtimeSettings";
      CheckKeys(j, p, {"flags", "word1", "word2", "byte", "table16", "table20"});
      RuntimeSettings s;
      if (j.contains("flags")) s.flags = U32(j["flags"], Sub(p, "flags"));
      if (j.contains("word1")) s.word1 = U32(j["word1"], Sub(p, "word1"));
      if (j.contains("word2")) s.word2 = U32(j["word2"], Sub(p, "word2"));
      if (j.contains("byte") && !j["byte"].is_null()) s.byte = U8(j["byte"], Sub(p, "byte"));
      if (j.contains("table16")) {
        const json& t = j["table16"];
        s.table16 = Map(t, Sub(p, "table16"), "expected [[number, \"name\"], ...]", [](const json& e, const std::string& ep) {
          if (!e.is_array() || e.size() != 2) Fail(ep, "expected [number, \"name\"]");
          const std::string name = String(e[1], ep);
          if (name.size() > 4) Fail(ep, "name longer than 4 bytes");
          return std::pair(U32(e[0], ep), name);
        });
      }
      if (j.contains("table20")) {
        const json& t = j["table20"];
        const std::string tp = Sub(p, "table20");
        if (t.is_array()) {
          s.table20 = Map(t, tp, "", U32);
        } else {
          CheckKeys(t, tp, {"first", "values", "trailer"});
          const auto words = [&](const char* key) {
            return t.contains(key) ? Map(t[key], Sub(tp, key), "expected an array", U32) : std::vector<uint32_t>{};
          };
          const std::vector<uint32_t> values = words("values"), trailer = words("trailer");
          s.table20.emplace();
          s.table20->push_back(t.contains("first") ? U32(t["first"], Sub(tp, "first"))
                                                   : static_cast<uint32_t>(values.size()));
          s.table20->push_back(static_cast<uint32_t>(values.size()));
          s.table20->insert(s.table20->end(), values.begin(), values.end());
          s.table20->insert(s.table20->end(), trailer.begin(), trailer.end());
        }
      }
      b_.given.runtimeSettings = std::move(s);
    }
    if (root.contains("block11")) {
      const json& j = root["block11"];
      const std::string p = "block11";
      CheckKeys(j, p, {"highest", "entries"});
      Block11 b;
      if (j.contains("highest")) b.highest = U32(j["highest"], Sub(p, "highest"));
      if (j.contains("entries")) {
        const json& e = j["entries"];
        if (!e.is_object()) Fail(Sub(p, "entries"), "expected {\"<n>\": reference or [references]}");
        for (const auto& [key, v] : e.items()) {
          const std::string ep = Sub(Sub(p, "entries"), key);
          const uint32_t n = static_cast<uint32_t>(Integer(json(key), ep, 1, 12));
          if (v.is_array()) {
            auto& list = b.lists[n];
            for (size_t i = 0; i < v.size(); ++i) list.push_back(RefValue(v[i], Sub(ep, i)));
          } else {
            b.entries[n] = RefValue(v, ep);
          }
        }
      }
      b_.given.block11 = std::move(b);
    }
  }

  void KeyTexts(const json& j, const std::string& path, bool sort) {
    auto entries = Map(j, path, "expected [[key, text], ...]", [&](const json& pair, const std::string& p) {
      if (!pair.is_array() || pair.size() != 2) Fail(p, "expected [key, text number or text]");
      const uint32_t key = U32(pair[0], p);
      const json& t = pair[1];
      if (t.is_string() && !t.get<std::string>().starts_with("0x")) return std::pair(key, b_.AddText(Utf16(t.get<std::string>(), p)));
      if (t.is_array()) return std::pair(key, b_.AddTexts(TextColumns(t, p)));
      return std::pair(key, U32(t, p));
    });
    if (sort)
      std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    b_.given.keyTable = std::move(entries);
  }

  void Header(const json& j, const std::string& path) {
    if (!j.is_object()) Fail(path, "expected an object of word numbers");
    for (const auto& [key, v] : j.items()) {
      const std::string p = Sub(path, key);
      const uint32_t word = static_cast<uint32_t>(Integer(json(key), p, 0, 0xFFFF));
      if (v.is_number() || (v.is_string() && v.get<std::string>().starts_with("0x")))
        b_.given.headerValues[word] = U32(v, p);
      else if (v.is_object() && v.contains("ref"))
        b_.given.headerRefs[word] = RefValue(v["ref"], Sub(p, "ref"));
      else
        b_.given.headerRefs[word] = RefValue(v, p);
    }
  }

  void NoteRecordSize(uint8_t type, const std::string& path) { sizeSetter_[type] = path; }

  // Every label used names an object or a block, each defined once; the
  // message names both places of a clash.
  void Define(std::map<std::string, std::string>& defined, const std::string& label, const std::string& path) {
    const auto [first, added] = defined.emplace(label, path);
    if (!added) Fail(path, "label \"" + label + "\" is defined twice; first at " + first->second);
  }
  void CheckLabelUses() const {
    for (const auto& [label, path] : objectUses_)
      if (!b_.FindObject(label))
        Fail(path, "no object has the label \"" + label + "\"" + DidYouMean(label, std::views::keys(objectLabels_)));
    for (const auto& [label, path] : blockUses_)
      if (!b_.HasBlock(label))
        Fail(path, "no block has the label \"" + label + "\"" + DidYouMean(label, std::views::keys(blockLabels_)));
  }

  // A text per language: more would never be shown.
  void CheckTextCount(size_t texts, const std::string& path) const {
    const size_t languages = b_.Languages().size();
    if (languages > 0 && texts > languages)
      Fail(path, std::to_string(texts) + " texts for " + std::to_string(languages) +
                     (languages == 1 ? " language" : " languages"));
  }

  // A record table takes its highest index times its record size: refused
  // here, where the place in the description is still known.
  void CheckRecordTables() const {
    std::map<uint8_t, std::string> where = sizeSetter_;
    for (const auto& [type, index] : highestIndex_) where[type] = index.second;
    for (const auto& [type, path] : where) {
      const uint64_t bytes = b_.RecordTableBytes(type);
      if (bytes > ImageWriter::kMaxSize)
        Fail(path, "the record table of type " + std::to_string(type) + " would take " +
                       OverLimit(bytes, "bytes", ImageWriter::kMaxSize));
    }
  }

 private:
  ProjectBuilder& b_;
  std::map<uint8_t, std::pair<uint32_t, std::string>> highestIndex_;  // explicit indexes
  std::map<uint8_t, std::string> sizeSetter_;
  std::map<std::pair<uint8_t, uint32_t>, std::string> indexAt_;      // explicit type and index -> where
  std::map<std::string, std::string> objectLabels_, blockLabels_;  // label -> where defined
  std::vector<std::pair<std::string, std::string>> objectUses_, blockUses_;  // label, where used
};

PositionList Positions(const json& j, const std::string& path, bool withWord,
                       const std::map<std::string, uint32_t>& labels) {
  PositionList list;
  const json* entries = &j;
  if (withWord && j.is_object()) {
    CheckKeys(j, path, {"word", "positions"});
    if (j.contains("word")) list.word = U32(j["word"], Sub(path, "word"));
    if (!j.contains("positions")) return list;
    entries = &j["positions"];
  }
  list.positions = Map(*entries, path, "expected an array of positions", [&](const json& e, const std::string& p) {
    if (!e.is_string() || e.get<std::string>().starts_with("0x")) return U32(e, p);
    const auto it = labels.find(e.get<std::string>());
    if (it == labels.end()) Fail(p, "unknown label \"" + e.get<std::string>() + "\"");
    return it->second;
  });
  return list;
}

ContainerOptions ContainerValue(const json& root, const std::map<std::string, uint32_t>& labels) {
  ContainerOptions o;
  const std::string path = "container";
  if (root.contains("name")) o.name = Utf16(String(root["name"], "name"), "name");
  if (!root.contains("container")) return o;
  const json& j = root["container"];
  CheckKeys(j, path, {"byteOrder", "mode", "pointerBase", "nullValue", "name", "reserved",
                      "headerBytes", "listA", "listB", "listC", "listD", "sections", "layoutInserts",
                      "trailing", "corrupt"});
  if (j.contains("byteOrder")) {
    const std::string s = String(j["byteOrder"], Sub(path, "byteOrder"));
    if (s == "little") o.order = Endian::Little;
    else if (s == "big") o.order = Endian::Big;
    else Fail(Sub(path, "byteOrder"), "expected \"little\" or \"big\"");
  }
  if (j.contains("mode")) o.mode = U8(j["mode"], Sub(path, "mode"));
  if (j.contains("pointerBase")) o.pointerBase = U32(j["pointerBase"], Sub(path, "pointerBase"));
  if (j.contains("nullValue")) o.nullValue = U32(j["nullValue"], Sub(path, "nullValue"));
  if (j.contains("name")) {
    if (j["name"].is_null()) o.name.reset();
    else o.name = Utf16(String(j["name"], Sub(path, "name")), Sub(path, "name"));
  }
  auto fixed = [&](const char* key, auto& dest) {
    if (!j.contains(key)) return;
    const auto b = ByteList(j[key], Sub(path, key));
    if (b.size() != dest.size()) Fail(Sub(path, key), "expected " + std::to_string(dest.size()) + " bytes");
    std::copy(b.begin(), b.end(), dest.begin());
  };
  fixed("reserved", o.reserved);
  fixed("headerBytes", o.headerBytes);
  if (j.contains("listA")) o.listA = Positions(j["listA"], Sub(path, "listA"), true, labels);
  if (j.contains("listB")) o.listB = Positions(j["listB"], Sub(path, "listB"), true, labels);
  if (j.contains("listC")) o.listC = Positions(j["listC"], Sub(path, "listC"), false, labels);
  if (j.contains("listD")) o.listD = Positions(j["listD"], Sub(path, "listD"), false, labels);
  if (j.contains("sections"))
    o.extraSections = Map(j["sections"], Sub(path, "sections"), "expected an array", [](const json& s, const std::string& p) {
      CheckKeys(s, p, {"type", "headBytes", "bytes", "length", "at"});
      RawSection r;
      if (!s.contains("type")) Fail(p, "section without \"type\"");
      r.type = U32(s["type"], Sub(p, "type"));
      if (s.contains("bytes")) r.body = ByteList(s["bytes"], Sub(p, "bytes"));
      if (s.contains("length")) r.length = U32(s["length"], Sub(p, "length"));
      if (s.contains("at")) r.insertAt = U32(s["at"], Sub(p, "at"));
      if (s.contains("headBytes")) {
        const auto b = ByteList(s["headBytes"], Sub(p, "headBytes"));
        if (b.size() != 4) Fail(Sub(p, "headBytes"), "expected 4 bytes");
        std::copy(b.begin(), b.end(), r.headBytes.begin());
      }
      return r;
    });
  if (j.contains("layoutInserts"))
    o.layoutInserts = Map(j["layoutInserts"], Sub(path, "layoutInserts"), "expected an array", [](const json& s, const auto& p) {
      CheckKeys(s, p, {"at", "kind", "count"});
      LayoutInsert ins;
      if (s.contains("at")) ins.at = U32(s["at"], Sub(p, "at"));
      if (s.contains("kind")) ins.entry.kind = U8(s["kind"], Sub(p, "kind"));
      if (s.contains("count")) ins.entry.count = U8(s["count"], Sub(p, "count"));
      return ins;
    });
  if (j.contains("trailing")) o.trailing = ByteList(j["trailing"], Sub(path, "trailing"));
  if (j.contains("corrupt")) {
    const std::string name = String(j["corrupt"], Sub(path, "corrupt"));
    const auto c = CorruptionFromName(name);
    if (!c) Fail(Sub(path, "corrupt"), "unknown corruption \"" + name + "\"");
    o.corrupt = *c;
  }
  return o;
}

std::string TooDeep() {
  return "nested deeper than " + OverLimit(limits::kDescriptionDepth, "levels", limits::kDescriptionDepth);
}

std::vector<uint8_t> Le32(uint32_t v) {
  std::vector<uint8_t> bytes(4);
  platform::StoreLE32(bytes.data(), v);
  return bytes;
}

// Records {u32 key, u32 length, data}, little-endian; or raw bytes.
std::vector<uint8_t> ConnectionFile(const json& j) {
  const std::string path = "connection";
  if (j.is_object()) {
    CheckKeys(j, path, {"bytes"});
    return j.contains("bytes") ? ByteList(j["bytes"], Sub(path, "bytes")) : std::vector<uint8_t>{};
  }
  std::vector<uint8_t> out;
  ForEach(j, path, "expected an array of records or {\"bytes\": [...]}", [&](const json& r, const std::string& p) {
    CheckKeys(r, p, {"key", "data", "length"});
    if (!r.contains("key")) Fail(p, "record without \"key\"");
    const auto data = r.contains("data") ? ByteList(r["data"], Sub(p, "data")) : std::vector<uint8_t>{};
    const uint32_t length =
        r.contains("length") ? U32(r["length"], Sub(p, "length")) : static_cast<uint32_t>(data.size());
    for (uint32_t v : {U32(r["key"], Sub(p, "key")), length}) {
      const auto le = Le32(v);
      out.insert(out.end(), le.begin(), le.end());
    }
    out.insert(out.end(), data.begin(), data.end());
  });
  return out;
}

BuildResult Build(const json& root) {
  CheckKeys(root, "", {"name", "languages", "texts", "fonts", "screens", "records", "blocks",
                       "header", "headerTypes", "recordSizes", "emptyTables", "objectTextMap",
                       "container", "languageFile", "connection", "textLists", "resourceLists",
                       "listDefaults", "listDefaultMap", "secondTextMap", "keyTexts", "keyTextsUnsorted",
                       "resources", "languageCounts", "projectSettings", "runtimeSettings", "block11",
                       "block13", "synthetic"});
  ProjectBuilder b;
  Parser p(b);
  if (root.contains("languages")) p.Languages(root["languages"], "languages");
  else if (!root.contains("synthetic")) b.AddLanguage(Language{1, {}, {}});
  if (root.contains("texts")) p.Texts(root["texts"], "texts");
  if (root.contains("fonts")) p.Fonts(root["fonts"], "fonts");
  if (root.contains("blocks"))
    ForEach(root["blocks"], "blocks", "expected an array", [&](const json& j, const std::string& path) {
      p.BlockValue(j, path);
    });
  if (root.contains("recordSizes")) {
    const json& j = root["recordSizes"];
    if (!j.is_object()) Fail("recordSizes", "expected an object of type numbers");
    for (const auto& [key, v] : j.items()) {
      const std::string path = Sub("recordSizes", key);
      const uint8_t type = U8(json(key), path);
      b.given.recordSizes[type] = Limited(v, path, limits::kRecordSize, "record size");
      p.NoteRecordSize(type, path);
    }
  }
  if (root.contains("emptyTables")) b.given.emptyTables = Map(root["emptyTables"], "emptyTables", "expected an array of type numbers", U8);
  if (root.contains("headerTypes"))
    b.given.headerTypes = static_cast<uint32_t>(Integer(root["headerTypes"], "headerTypes", 0, 256));
  if (root.contains("screens")) p.Objects(root["screens"], "screens", true);
  if (root.contains("records")) p.Objects(root["records"], "records", false);
  if (root.contains("synthetic")) {
    const json& j = root["synthetic"];
    const std::string sp = "synthetic";
    CheckKeys(j, sp, {"pages", "templates", "reportPages", "popups", "controls", "languages", "maxDepth", "seed",
                      "varied"});
    SyntheticOptions o;
    const std::pair<const char*, uint32_t*> keys[] = {
        {"pages", &o.pages},         {"templates", &o.templates}, {"reportPages", &o.reportPages},
        {"popups", &o.popups},       {"controls", &o.controls},   {"languages", &o.languages},
        {"maxDepth", &o.maxDepth},   {"seed", &o.seed}};
    for (const auto& [key, dest] : keys)
      if (j.contains(key)) *dest = static_cast<uint32_t>(Integer(j[key], Sub(sp, key), 0, 0xFFFFFF));
    if (j.contains("varied")) o.varied = Bool(j["varied"], Sub(sp, "varied"));
    // The generator holds the whole project in memory before it is laid out.
    const uint64_t screens = uint64_t{o.pages} + o.templates + o.reportPages + o.popups;
    if (screens > limits::kSyntheticScreens) Fail(sp, OverLimit(screens, "screens", limits::kSyntheticScreens));
    if (o.controls > limits::kSyntheticControls)
      Fail(Sub(sp, "controls"), OverLimit(o.controls, "controls", limits::kSyntheticControls));
    if (o.languages > limits::kSyntheticLanguages)
      Fail(Sub(sp, "languages"), OverLimit(o.languages, "languages", limits::kSyntheticLanguages));
    AddSyntheticProject(b, o);
  }
  if (root.contains("objectTextMap")) b.given.objectTextMap = p.DefaultMapValue(root["objectTextMap"], "objectTextMap");
  if (root.contains("secondTextMap")) b.given.secondTextMap = p.DefaultMapValue(root["secondTextMap"], "secondTextMap");
  if (root.contains("listDefaultMap"))
    b.given.listDefaultMap = p.DefaultMapValue(root["listDefaultMap"], "listDefaultMap");
  if (root.contains("listDefaults")) {
    const json& j = root["listDefaults"];
    CheckKeys(j, "listDefaults", {"text", "resource"});
    std::vector<MapGroup> groups;
    uint32_t key = 0;
    for (const char* which : {"text", "resource"}) {
      MapGroup g{key++, {}, false};
      if (j.contains(which)) {
        const json wrapped = json::array({{{"key", g.key}, {"entries", j[which]}}});
        g = p.DefaultMapValue(wrapped, Sub("listDefaults", which)).front();
      }
      groups.push_back(std::move(g));
    }
    b.given.listDefaultMap = std::move(groups);
  }
  if (root.contains("textLists")) b.given.textLists = p.Lists(root["textLists"], "textLists");
  if (root.contains("resourceLists")) b.given.resourceLists = p.Lists(root["resourceLists"], "resourceLists");
  if (root.contains("resources")) p.Resources(root["resources"], "resources");
  if (root.contains("keyTexts")) p.KeyTexts(root["keyTexts"], "keyTexts", true);
  if (root.contains("keyTextsUnsorted")) p.KeyTexts(root["keyTextsUnsorted"], "keyTextsUnsorted", false);
  if (root.contains("languageCounts")) {
    const json& j = root["languageCounts"];
    CheckKeys(j, "languageCounts", {"T", "R", "F", "S", "N"});
    LanguageCounts& c = b.given.languageCounts;
    for (auto [key, count] : {std::pair{"T", &c.texts}, {"R", &c.resources}, {"F", &c.fonts}, {"S", &c.selectors},
                              {"N", &c.languages}})
      if (j.contains(key)) *count = U32(j[key], Sub("languageCounts", key));
  }
  p.Settings(root);
  if (root.contains("block13")) {
    json block = root["block13"];
    if (!block.is_object()) Fail("block13", "expected a block");
    if (!block.contains("label")) block["label"] = "#block13";
    p.BlockValue(block, "block13");
    b.given.headerRefs[13] = Ref::To(block["label"].get<std::string>());
  }
  if (root.contains("header")) p.Header(root["header"], "header");

  p.CheckRecordTables();
  p.CheckLabelUses();
  // Failures of the layout belong to the description as a whole.
  FinishedImage image;
  try {
    image = b.Build();
  } catch (const BuildError& e) {
    Fail("", e.what());
  }
  const ContainerOptions options = ContainerValue(root, image.labels);
  BuildResult r;
  try {
    r.container = ContainerWriter::Write(image, options);
  } catch (const BuildError& e) {
    Fail("", e.what());
  }
  r.image = std::move(image.bytes);
  if (root.contains("languageFile")) {
    const json& j = root["languageFile"];
    if (j.is_object()) {
      CheckKeys(j, "languageFile", {"bytes"});
      r.languageFile = j.contains("bytes") ? ByteList(j["bytes"], "languageFile.bytes") : std::vector<uint8_t>{};
    } else {
      r.languageFile = Le32(U32(j, "languageFile"));
    }
  }
  if (root.contains("connection")) r.connectionFile = ConnectionFile(root["connection"]);
  r.ok = true;
  return r;
}

}  // namespace

BuildResult BuildFromJson(const nlohmann::json& description) {
  BuildResult r;
  try {
    // The builder walks some parts recursively; the text path has checked
    // this before parsing.
    std::vector<std::pair<const json*, size_t>> pending{{&description, 1}};
    while (!pending.empty()) {
      const auto [value, depth] = pending.back();
      pending.pop_back();
      if (depth > limits::kDescriptionDepth) Fail("", TooDeep());
      if (value->is_structured())
        for (const json& child : *value) pending.emplace_back(&child, depth + 1);
    }
    return Build(description);
  } catch (const std::bad_alloc&) {
    r.error = "description: out of memory";
  } catch (const std::exception& e) {
    r.error = e.what();
  }
  return r;
}

namespace {

// Nesting depth and number of values of a JSON text, checked before the
// parser builds a document of it; true when within the limits. A malformed
// text is left to the parser, which names the place.
bool CheckShape(std::string_view text, BuildResult& r) {
  if (text.size() > limits::kDescriptionBytes) {
    r.error = "description: larger than " + OverLimit(limits::kDescriptionBytes, "bytes", limits::kDescriptionBytes);
    return false;
  }
  size_t depth = 0, values = 0, line = 1, column = 0;
  bool inString = false, escaped = false, inToken = false;
  for (const char c : text) {
    ++column;
    if (c == '\n') line += 1, column = 0;
    if (inString) {
      if (escaped) escaped = false;
      else if (c == '\\') escaped = true;
      else if (c == '"') inString = false;
      continue;
    }
    const bool tokenChar = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           c == '-' || c == '+' || c == '.';
    if (tokenChar && !inToken) ++values;  // number, true, false, null
    inToken = tokenChar;
    if (c == '"') {
      inString = true;
      ++values;
    } else if (c == ':' && values) {
      --values;  // the string before it was a key
    } else if (c == '[' || c == '{') {
      ++values;
      if (++depth > limits::kDescriptionDepth) {
        r.line = line, r.column = column;
        r.error = TooDeep();
        return false;
      }
    } else if ((c == ']' || c == '}') && depth) {
      --depth;
    }
    if (values > limits::kDescriptionValues) {
      r.error = "description: more than " + OverLimit(limits::kDescriptionValues, "values", limits::kDescriptionValues);
      return false;
    }
  }
  return true;
}

// The parser's message without its own prefix ("[json.exception...] parse
// error at line 3, column 5: "), and the place it names.
void SyntaxError(const nlohmann::json::parse_error& e, BuildResult& r) {
  const std::string what = e.what();
  const size_t at = what.find(" at line ");
  if (at == std::string::npos || std::sscanf(what.c_str() + at, " at line %zu, column %zu", &r.line, &r.column) != 2)
    r.line = r.column = 0;
  const size_t text = what.find(": ", at == std::string::npos ? 0 : at);
  r.error = text == std::string::npos ? what : what.substr(text + 2);
}

}  // namespace

BuildResult BuildFromJsonText(std::string_view text) {
  BuildResult r;
  if (!CheckShape(text, r)) return r;
  nlohmann::json j;
  try {
    j = nlohmann::json::parse(text);
  } catch (const nlohmann::json::parse_error& e) {
    SyntaxError(e, r);
    return r;
  } catch (const std::bad_alloc&) {
    r.error = "description: out of memory";
    return r;
  }
  return BuildFromJson(j);
}

}  // namespace prt::builder
