#include "tools/builder/JsonInput.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ranges>

#include "controls/TypeTable.h"

namespace prt::builder {
namespace {

constexpr std::string_view kFieldValueKeys[] = {"u8", "u16", "u32", "i32", "u64", "f32",
                                                "f64", "bytes", "color", "colour", "ref"};

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


// A string not spelling a number: a name or a label.
bool IsName(const Json& node) { return node.is_string() && !node.get_ref<const std::string&>().starts_with("0x"); }

// The types whose objects link their children in: screens and the container.
constexpr bool LinksChildren(uint8_t type) { return IsScreenType(type) || IsGroupType(type); }

std::vector<std::string_view> TypeNames() {
  std::vector<std::string_view> names;
  for (const TypeRow& row : kTypeTable) names.push_back(row.name);
  return names;
}

}  // namespace

std::optional<std::u16string> Utf16(const std::string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return std::nullopt;
    uint32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
      const auto cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return std::nullopt;
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

std::span<const std::string_view> FieldValueKeys() { return kFieldValueKeys; }

std::string DidYouMean(std::string_view word, const std::vector<std::string_view>& names) {
  if (word.size() > 64) return {};
  const size_t allowed = word.size() >= 6 ? 2 : 1;
  std::string_view best;
  size_t bestDistance = allowed + 1;
  for (const std::string_view name : names) {
    const size_t distance = Distance(word, name);
    if (distance < bestDistance) best = name, bestDistance = distance;
  }
  return best.empty() ? std::string() : "; did you mean \"" + std::string(best) + "\"?";
}

// ---- Reading ------------------------------------------------------------------

Built<Description> JsonInput::Read(const Json& root) {
  *this = JsonInput();
  // Texts per language are counted against the languages known when they
  // are read: without "languages", the default one, or none until a
  // synthetic project brings its own.
  context_.languages = root.is_object() && !root.contains("languages") && !root.contains("synthetic") ? 1 : 0;
  Description d;
  Json outer = Json::object();  // the description is the value of no key
  object_ = &outer;
  ReadObject(root, "", d);
  if (error_) return Unexpected(*error_);
  return d;
}

void JsonInput::Fail(const std::string& path, const std::string& what) {
  if (!error_) error_ = BuildError{(path.empty() ? std::string("description") : path) + ": " + what};
}

std::string JsonInput::Sub(const std::string& path, std::string_view key) {
  return path.empty() ? std::string(key) : path + "." + std::string(key);
}

std::string JsonInput::Sub(const std::string& path, size_t index) { return path + "[" + std::to_string(index) + "]"; }

bool JsonInput::KnownKeys(const Json& node, const std::string& path, const std::vector<std::string_view>& keys) {
  for (const auto& item : node.items()) {
    const std::string& key = item.key();
    if (std::ranges::find(keys, key) == keys.end()) {
      Fail(path, "unknown key \"" + key + "\"" + DidYouMean(key, keys));
      return false;
    }
  }
  return true;
}

int64_t JsonInput::Integer(const Json& node, const std::string& path, int64_t lo, int64_t hi) {
  int64_t v = 0;
  if (node.is_number_unsigned()) {
    const auto u = node.get<uint64_t>();
    if (u > static_cast<uint64_t>(INT64_MAX)) return Fail(path, "number out of range"), 0;
    v = static_cast<int64_t>(u);
  } else if (node.is_number_integer()) {
    v = node.get<int64_t>();
  } else if (node.is_string()) {
    // As strtoull reads it: "0x" hexadecimal, a leading 0 octal.
    const std::string& s = node.get_ref<const std::string&>();
    char* end = nullptr;
    errno = 0;
    v = static_cast<int64_t>(std::strtoull(s.c_str(), &end, 0));
    const size_t used = errno == ERANGE ? 0 : static_cast<size_t>(end - s.c_str());
    if (used == 0 || used != s.size()) return Fail(path, "expected an integer, got \"" + s + "\""), 0;
  } else {
    return Fail(path, "expected an integer"), 0;
  }
  if (v < lo || v > hi) return Fail(path, "value " + std::to_string(v) + " out of range"), 0;
  return v;
}

void JsonInput::Read(const Json& node, const std::string& path, uint64_t& value) {
  value = node.is_number_unsigned() ? node.get<uint64_t>() : static_cast<uint64_t>(Integer(node, path, INT64_MIN, INT64_MAX));
}

void JsonInput::Read(const Json& node, const std::string& path, bool& value) {
  if (!node.is_boolean()) return Fail(path, "expected true or false");
  value = node.get<bool>();
}

void JsonInput::Read(const Json& node, const std::string& path, double& value) {
  if (!node.is_number()) return Fail(path, "expected a number");
  value = node.get<double>();
}

void JsonInput::Read(const Json& node, const std::string& path, float& value) {
  double v = 0;
  Read(node, path, v);
  value = static_cast<float>(v);
}

void JsonInput::Read(const Json& node, const std::string& path, std::string& value) {
  if (!node.is_string()) return Fail(path, "expected a string");
  value = node.get<std::string>();
}

void JsonInput::Read(const Json& node, const std::string& path, std::u16string& value) {
  std::string text;
  Read(node, path, text);
  if (error_) return;
  auto converted = Utf16(text);
  if (!converted) return Fail(path, "invalid UTF-8");
  value = std::move(*converted);
}

void JsonInput::Read(const Json& node, const std::string& path, std::vector<uint8_t>& bytes) {
  if (node.is_string()) {  // plain 8-bit text
    const std::string& s = node.get_ref<const std::string&>();
    bytes.assign(s.begin(), s.end());
    return;
  }
  ReadArray(node, path, bytes, "expected an array of bytes or a string");
}

void JsonInput::Read(const Json& node, const std::string& path, Colour& colour) {
  if (node.is_string()) {
    const auto c = ParseColour(node.get<std::string>());
    if (!c) return Fail(path, "expected a colour \"#aarrggbb\" or \"#rrggbb\"");
    colour = *c;
  } else if (node.is_array() && node.size() == 4) {
    std::vector<uint8_t> b;
    Read(node, path, b);
    if (!error_) colour = {b[0], b[1], b[2], b[3]};
  } else if (node.is_number()) {
    uint32_t argb = 0;
    Read(node, path, argb);
    colour = ColourFromArgb(argb);
  } else {
    Fail(path, "expected a colour");
  }
}

void JsonInput::Read(const Json& node, const std::string& path, Bounded& value) {
  value.value = static_cast<uint32_t>(Integer(node, path, value.lo, value.hi));
}

void JsonInput::Read(const Json& node, const std::string& path, Limited& value) {
  uint32_t v = 0;
  Read(node, path, v);
  if (!error_ && v > value.limit)
    Fail(path, std::string(value.what) + " " + std::to_string(v) + " too large (limit " + std::to_string(value.limit) +
                   ")");
  value.value = v;
}

void JsonInput::Read(const Json& node, const std::string& path, Ref& ref) {
  if (node.is_null()) {
    ref = Ref::None();
  } else if (node.is_string()) {
    ref = Ref::To(node.get<std::string>());
    context_.uses[static_cast<int>(LabelKind::Block)].emplace_back(ref.label, path);
  } else if (node.is_object()) {
    LabelRef labelled;
    ReadObject(node, path, labelled);
    ref = Ref::To(labelled.label, labelled.plus);
  } else {
    uint32_t target = 0;
    Read(node, path, target);
    ref = Ref::Raw(target);
  }
}

void JsonInput::Read(const Json& node, const std::string& path, DefineLabel& label) {
  Read(node, path, label.value);
  if (error_) return;
  const auto [first, added] = context_.labels[static_cast<int>(label.kind)].emplace(label.value, path);
  if (!added) Fail(path, "label \"" + label.value + "\" is defined twice; first at " + first->second);
}

void JsonInput::Read(const Json& node, const std::string& path, UseLabel& label) {
  Read(node, path, label.value);
  context_.uses[static_cast<int>(label.kind)].emplace_back(label.value, path);
}

// ---- Languages and texts ----

void JsonInput::Read(const Json& node, const std::string& path, std::vector<Language>& languages) {
  ReadArray(node, path, languages, "expected an array");
  context_.languages = languages.size();
}

void JsonInput::Read(const Json& node, const std::string& path, std::optional<FontVariants>& variants) {
  if (node.is_null()) return variants.reset();
  FontVariants& v = variants.emplace();
  if (!node.is_array()) {
    Read(node, path, v[0]);
    v = {v[0], v[0], v[0], v[0]};
  } else if (node.size() != 4) {
    Fail(path, "expected four font indexes");
  } else {
    for (size_t i = 0; i < 4; ++i) Read(node[i], path, v[i]);
  }
}

void JsonInput::Read(const Json& node, const std::string& path, TextRow& row) {
  if (node.is_null()) return;
  if (node.is_string()) return Read(node, path, row.all.emplace());
  ReadColumns(node, path, row);
}

// Texts per language: more than there are languages would never be shown.
void JsonInput::ReadColumns(const Json& node, const std::string& path, TextRow& row) {
  ReadArray(node, path, row.perLanguage, "expected a text, an array of texts per language, or null",
            [this](const Json& n, const std::string& p, std::optional<std::u16string>& text) {
              if (!n.is_null()) Read(n, p, text.emplace());
            });
  const size_t texts = row.perLanguage.size(), languages = context_.languages;
  if (!error_ && languages > 0 && texts > languages)
    Fail(path, std::to_string(texts) + " texts for " + std::to_string(languages) +
                   (languages == 1 ? " language" : " languages"));
}

void JsonInput::Read(const Json& node, const std::string& path, TextRef& text) {
  if (node.is_string()) return Read(node, path, text.text.emplace().all.emplace());
  if (node.is_array()) return ReadColumns(node, path, text.text.emplace());
  Read(node, path, text.number);
}

void JsonInput::Read(const Json& node, const std::string& path, KeyText& entry) {
  if (!node.is_array() || node.size() != 2) return Fail(path, "expected [key, text number or text]");
  Read(node[0], path, entry.key);
  if (IsName(node[1]) || node[1].is_array()) return Read(node[1], path, entry.text);
  Read(node[1], path, entry.text.number);
}

// ---- Fills ----

void JsonInput::Read(const Json& node, const std::string& path, Gradient& fill) {
  if (!node.is_string() && !node.is_number()) return ReadObject(node, path, fill);
  Read(node, path, fill.colours.emplace(1).front());
  fill.positions = std::vector<float>{0.0f};
}

void JsonInput::Read(const Json& node, const std::string& path, Orientation& orientation) {
  if (node == "horizontal") orientation.value = 1;
  else if (node == "vertical") orientation.value = 2;
  else Read(node, path, orientation.value);
}

void JsonInput::Read(const Json& node, const std::string& path, Stops& stops) {
  std::vector<std::pair<float, Colour>> read;
  ReadArray(node, path, read, "expected [[position, colour], ...]",
            [this](const Json& n, const std::string& p, std::pair<float, Colour>& stop) {
              if (!n.is_array() || n.size() != 2) return Fail(p, "expected [position, colour]");
              Read(n[0], p, stop.first);
              Read(n[1], p, stop.second);
            });
  Gradient& g = stops.value;
  g.positions.emplace();
  g.colours.emplace();
  for (const auto& [position, colour] : read) g.positions->push_back(position), g.colours->push_back(colour);
}

void JsonInput::Read(const Json& node, const std::string& path, TitleFont& font) {
  if (!node.is_array() || node.size() != 2) return ReadObject(node, path, font);
  Read(node[0], Sub(path, size_t{0}), font.number);
  Read(node[1], Sub(path, size_t{1}), font.style);
}

// ---- Objects ----

void JsonInput::Read(const Json& node, const std::string& path, TypeOf& type) {
  ControlForm& o = type.value;
  if (!IsName(node)) return Read(node, path, o.type);
  const std::string& name = node.get_ref<const std::string&>();
  const TypeRow* row = FindTypeNamed(name);
  if (!row) return Fail(path, "unknown type \"" + name + "\"" + DidYouMean(name, TypeNames()));
  o.type = row->number;
  o.typeName = name;
  if (row->shape >= 0) o.shape = static_cast<uint8_t>(row->shape);
}

void JsonInput::Read(const Json& node, const std::string& path, ShapeOf& shape) {
  const TypeRow* row = node.is_string() ? FindTypeNamed(node.get_ref<const std::string&>()) : nullptr;
  if (row && row->shape >= 0) shape.value.shape = static_cast<uint8_t>(row->shape);
  else Read(node, path, shape.value.shape.emplace());
}

void JsonInput::Read(const Json& node, const std::string& path, IndexOf& index) {
  ControlForm& o = index.value;
  const auto value = static_cast<uint32_t>(Integer(node, path, 0, layout::kIndexMask));
  if (error_) return;
  o.index = value;
  auto& [highest, where] = context_.highestIndex[o.type];
  if (where.empty() || value > highest) highest = value, where = path;
  const auto [first, added] = context_.indexAt.emplace(std::pair(o.type, value), path);
  if (!added)
    Fail(path, "object of type " + std::to_string(o.type) + " with index " + std::to_string(value) +
                   " is defined twice; first at " + first->second);
}

void JsonInput::Read(const Json& node, const std::string& path, RecordSizeOf& size) {
  Limited limited{size.value.recordSize.emplace(), limits::kRecordSize, "record size"};
  Read(node, path, limited);
  context_.objectSizeAt[size.value.type] = path;
}

void JsonInput::Read(const Json& node, const std::string& path, SubRecordOf& sub) {
  if (node.is_number()) return Read(node, path, sub.value.subRecordWord.emplace());
  Read(node, path, sub.value.subRecord.emplace());
}

void JsonInput::Read(const Json& node, const std::string& path, TitleOf& title) {
  if (node.is_null()) title.value.nullTitle = true;
  else Read(node, path, title.value.title.emplace());
}

// Only screens and containers link their children in: a named control of
// another kind would drop them without a word.
void JsonInput::Read(const Json& node, const std::string& path, ChildrenOf& children) {
  ControlForm& o = children.value;
  if (node.is_array() && !o.typeName.empty() && !node.empty() && !LinksChildren(o.type))
    return Fail(path, "a " + o.typeName +
                          " holds no children (only pages, templates, report pages, popups and containers do)");
  ReadArray(node, path, o.children, "expected an array", [this](const Json& n, const std::string& p, ControlForm& child) {
    if (!n.is_object() || !n.contains("link")) return Read(n, p, child);
    LinkEntry entry;
    ReadObject(n, p, entry);
    child.rawLink = entry.link;
  });
}

// Table-record numbering (word 0 = link list), as the data manager counts.
void JsonInput::Read(const Json& node, const std::string& path, RecordWords& words) {
  if (!node.is_object()) return Fail(path, "expected {\"<word>\": value}");
  for (const auto& [key, v] : node.items()) {
    const std::string at = Sub(path, key);
    const auto word = static_cast<uint32_t>(Integer(Json(key), at, 2, 0xFFFF));
    if (v.is_object() && v.contains("ref")) {
      Ref ref;
      Read(v["ref"], Sub(at, "ref"), ref);
      words.value.push_back(Field::Pointer(4 * word - 4, ref));
    } else {
      uint32_t value = 0;
      Read(v, at, value);
      words.value.push_back(Field::U32(4 * word - 4, value));
    }
  }
}

void JsonInput::Read(const Json& node, const std::string& path, RecordBytes& bytes) {
  if (!node.is_object()) return Fail(path, "expected {\"<byte>\": value}");
  for (const auto& [key, v] : node.items()) {
    const std::string at = Sub(path, key);
    const auto byte = static_cast<uint32_t>(Integer(Json(key), at, 8, 0xFFFF));
    uint8_t value = 0;
    Read(v, at, value);
    bytes.value.push_back(Field::U8(byte - 4, value));
  }
}

void JsonInput::Read(const Json& node, const std::string& path, NamedEntry& entry) {
  if (node.is_object()) return ReadObject(node, path, entry);
  Read(node, path, entry.name);
}

void JsonInput::Read(const Json& node, const std::string& path, Fields& fields) {
  ReadArray(node, path, fields.value, "expected an array of fields",
            [&](const Json& n, const std::string& p, Field& f) { ReadField(n, p, fields.limit, f); });
}

void JsonInput::ReadField(const Json& node, const std::string& path, uint32_t maxAt, Field& field) {
  if (!node.is_object()) return Fail(path, "expected a field {\"at\": n, \"<type>\": value}");
  if (!node.contains("at")) return Fail(path, "field without \"at\"");
  uint32_t at = 0;
  Limited offset{at, maxAt, "offset"};
  Read(node["at"], Sub(path, "at"), offset);
  if (error_) return;
  if (node.size() != 2) return Fail(path, "a field holds \"at\" and exactly one typed value");
  for (const auto& [key, v] : node.items()) {
    if (key == "at") continue;
    const std::string p = Sub(path, key);
    const auto kind = std::ranges::find(kFieldValueKeys, key) - std::begin(kFieldValueKeys);
    uint8_t u8 = 0;
    uint16_t u16 = 0;
    uint32_t u32 = 0;
    int32_t i32 = 0;
    uint64_t u64 = 0;
    float f32 = 0;
    double f64 = 0;
    std::vector<uint8_t> bytes;
    Colour colour{};
    Ref ref;
    switch (kind) {
      case 0: Read(v, p, u8), field = Field::U8(at, u8); break;
      case 1: Read(v, p, u16), field = Field::U16(at, u16); break;
      case 2: Read(v, p, u32), field = Field::U32(at, u32); break;
      case 3: Read(v, p, i32), field = Field::I32(at, i32); break;
      case 4: Read(v, p, u64), field = Field::U64(at, u64); break;
      case 5: Read(v, p, f32), field = Field::F32(at, f32); break;
      case 6: Read(v, p, f64), field = Field::F64(at, f64); break;
      case 7: Read(v, p, bytes), field = Field::Bytes(at, std::move(bytes)); break;
      case 8:
      case 9: Read(v, p, colour), field = Field::Bytes(at, {colour.begin(), colour.end()}); break;
      case 10: Read(v, p, ref), field = Field::Pointer(at, ref); break;
      default: Fail(path, "unknown field type \"" + key + "\"");
    }
  }
}

void JsonInput::Read(const Json& node, const std::string& path, LinkTarget& target) {
  Link& l = target.value;
  if (!IsName(node)) return Read(node, path, l.target);
  l.object = node.get<std::string>();
  context_.uses[static_cast<int>(LabelKind::Object)].emplace_back(l.object, path);
}

void JsonInput::Read(const Json& node, const std::string& path, Present& present) {
  if (node.is_boolean()) present.value = node.get<bool>() ? 1 : 0;
  else Read(node, path, present.value);
}

void JsonInput::Read(const Json& node, const std::string& path, RecordSizes& sizes) {
  if (!node.is_object()) return Fail(path, "expected an object of type numbers");
  for (const auto& [key, v] : node.items()) {
    const std::string at = Sub(path, key);
    uint8_t type = 0;
    Read(Json(key), at, type);
    Limited size{sizes.value[type], limits::kRecordSize, "record size"};
    Read(v, at, size);
    context_.tableSizeAt[type] = at;
  }
}

// The generator holds the whole project in memory before it is laid out.
void JsonInput::Read(const Json& node, const std::string& path, SyntheticOptions& o) {
  ReadObject(node, path, o);
  const auto over = [](uint64_t value, const char* unit, uint64_t limit) {
    return std::to_string(value) + " " + unit + " (limit " + std::to_string(limit) + ")";
  };
  const uint64_t screens = uint64_t{o.pages} + o.templates + o.reportPages + o.popups;
  if (screens > limits::kSyntheticScreens) Fail(path, over(screens, "screens", limits::kSyntheticScreens));
  if (o.controls > limits::kSyntheticControls)
    Fail(Sub(path, "controls"), over(o.controls, "controls", limits::kSyntheticControls));
  if (o.languages > limits::kSyntheticLanguages)
    Fail(Sub(path, "languages"), over(o.languages, "languages", limits::kSyntheticLanguages));
  if (context_.languages == 0) context_.languages = std::max<uint32_t>(o.languages, 1);
}

// ---- Maps, lists and resources ----

void JsonInput::Read(const Json& node, const std::string& path, std::pair<uint32_t, uint32_t>& entry) {
  if (!node.is_array() || node.size() != 2) return Fail(path, "expected [identifier, value]");
  Read(node[0], path, entry.first);
  Read(node[1], path, entry.second);
}

// Read as the entries of the first group of a map written in full.
void JsonInput::Read(const Json& node, const std::string& path, GroupEntries& entries) {
  ReadArray(node, Sub(Sub(path, size_t{0}), "entries"), entries.value.emplace(), "expected [[identifier, value], ...]");
}

void JsonInput::Read(const Json& node, const std::string& path, std::optional<ValueList>& list) {
  if (node.is_null()) return list.reset();
  ReadObject(node, path, list.emplace());
}

void JsonInput::Read(const Json& node, const std::string& path, ListKindOf& kind) {
  if (node == "bit") kind.value = 1;
  else if (node == "value") kind.value = 2;
  else if (node == "range") kind.value = 3;
  else Read(node, path, kind.value);
}

void JsonInput::Read(const Json& node, const std::string& path, ListEntries& entries) {
  const size_t width = entries.value.kind == 3 ? 3 : 2;
  ReadArray(node, path, entries.value.entries, "expected an array of entries",
            [&](const Json& n, const std::string& p, std::vector<uint32_t>& words) {
              if (!n.is_array() || n.size() != width)
                return Fail(p, width == 3 ? "expected [upper, lower, result]" : "expected [value, result]");
              // Each word's message names the entry.
              ReadArray(n, p, words, "", [&](const Json& w, const std::string&, uint32_t& v) { Read(w, p, v); });
            });
}

void JsonInput::Read(const Json& node, const std::string& path, ResourceRow& row) {
  if (!node.is_object() || !node.contains("languages")) return Read(node, path, row.languages.emplace_back());
  ReadObject(node, path, row);
  // A row of one entry would apply to every language: pad it.
  if (row.languages.size() == 1) row.languages.emplace_back();
}

void JsonInput::Read(const Json& node, const std::string& path, std::optional<Resource>& resource) {
  if (node.is_null()) return resource.reset();
  if (node.is_object()) return ReadObject(node, path, resource.emplace());
  Read(node, path, resource.emplace().data);
}

void JsonInput::Read(const Json& node, const std::string& path, std::pair<uint32_t, std::string>& entry) {
  if (!node.is_array() || node.size() != 2) return Fail(path, "expected [number, \"name\"]");
  Read(node[1], path, entry.second);
  if (!error_ && entry.second.size() > 4) return Fail(path, "name longer than 4 bytes");
  Read(node[0], path, entry.first);
}

void JsonInput::Read(const Json& node, const std::string& path, Table20Of& table) {
  if (node.is_array()) return ReadArray(node, path, table.value.emplace(), "");
  Table20 t;
  ReadObject(node, path, t);
  std::vector<uint32_t>& words = table.value.emplace();
  words.push_back(t.first.value_or(static_cast<uint32_t>(t.values.size())));
  words.push_back(static_cast<uint32_t>(t.values.size()));
  words.insert(words.end(), t.values.begin(), t.values.end());
  words.insert(words.end(), t.trailer.begin(), t.trailer.end());
}

void JsonInput::Read(const Json& node, const std::string& path, Block11Entries& entries) {
  if (!node.is_object()) return Fail(path, "expected {\"<n>\": reference or [references]}");
  for (const auto& [key, v] : node.items()) {
    const std::string at = Sub(path, key);
    const auto n = static_cast<uint32_t>(Integer(Json(key), at, 1, layout::kBlock11Entries));
    if (!v.is_array()) {
      Read(v, at, entries.value.entries[n]);
      continue;
    }
    auto& list = entries.value.lists[n];
    for (size_t i = 0; i < v.size(); ++i) Read(v[i], Sub(at, i), list.emplace_back());
  }
}

void JsonInput::Read(const Json& node, const std::string& path, BlockForm& block) {
  ReadObject(node, path, block);
  if (!error_ && block.string && node.size() != 2) Fail(path, "a string block holds \"label\" and \"string\" only");
}

void JsonInput::Read(const Json& node, const std::string& path, Block13& block) {
  if (!node.is_object()) return Fail(path, "expected a block");
  Json labelled = node;
  if (!labelled.contains("label")) labelled["label"] = "#block13";
  Read(labelled, path, block.value.emplace());
}

void JsonInput::Read(const Json& node, const std::string& path, HeaderWords& words) {
  if (!node.is_object()) return Fail(path, "expected an object of word numbers");
  for (const auto& [key, v] : node.items()) {
    const std::string at = Sub(path, key);
    HeaderWord& word = words.value.emplace_back();
    word.word = static_cast<uint32_t>(Integer(Json(key), at, 0, 0xFFFF));
    if (v.is_number() || (v.is_string() && !IsName(v))) Read(v, at, word.value.emplace());
    else if (v.is_object() && v.contains("ref")) Read(v["ref"], Sub(at, "ref"), word.ref);
    else Read(v, at, word.ref);
  }
}

// ---- The container and the files beside it ----

void JsonInput::Read(const Json& node, const std::string& path, ByteOrderOf& order) {
  std::string name;
  Read(node, path, name);
  if (name == "little") order.value = Endian::Little;
  else if (name == "big") order.value = Endian::Big;
  else Fail(path, "expected \"little\" or \"big\"");
}

void JsonInput::Read(const Json& node, const std::string& path, NameChange& name) {
  if (!node.is_null()) Read(node, path, name.name.emplace());
}

void JsonInput::Read(const Json& node, const std::string& path, WordPositions& positions) {
  if (node.is_object()) return ReadObject(node, path, positions.value.emplace());
  ReadArray(node, path, positions.value.emplace().positions, "expected an array of positions");
}

void JsonInput::Read(const Json& node, const std::string& path, Positions& positions) {
  ReadArray(node, path, positions.value.emplace().positions, "expected an array of positions");
}

void JsonInput::Read(const Json& node, const std::string& path, Position& position) {
  if (!IsName(node)) return Read(node, path, position.value);
  position.label = node.get<std::string>();
  context_.positionLabels.emplace_back(position.label, path);
}

void JsonInput::Read(const Json& node, const std::string& path, CorruptionOf& corruption) {
  std::string name;
  Read(node, path, name);
  const auto c = CorruptionFromName(name);
  if (!error_ && !c) return Fail(path, "unknown corruption \"" + name + "\"");
  if (c) corruption.value = *c;
}

void JsonInput::Read(const Json& node, const std::string& path, LanguageFile& file) {
  if (node.is_object()) return ReadObject(node, path, file);
  Read(node, path, file.index.emplace());
}

void JsonInput::Read(const Json& node, const std::string& path, Connection& connection) {
  if (!node.is_object())
    return ReadArray(node, path, connection.records, "expected an array of records or {\"bytes\": [...]}");
  BytesOnly only;
  ReadObject(node, path, only);
  connection.bytes = std::move(only.bytes);
}

// ---- What needs the whole description ----

// A record table takes its highest index times its record size: refused at
// the place that asked for it.
Built<void> JsonInput::CheckRecordTables(const ProjectBuilder& builder) const {
  std::map<uint8_t, std::string> where = context_.tableSizeAt;
  for (const auto& [type, at] : context_.objectSizeAt) where[type] = at;
  for (const auto& [type, index] : context_.highestIndex) where[type] = index.second;
  for (const auto& [type, path] : where) {
    const auto bytes = builder.RecordTableBytes(type);
    if (!bytes) return Unexpected(bytes.Error());
    if (*bytes > ImageWriter::kMaxSize)
      return Unexpected(BuildError{path + ": the record table of type " + std::to_string(type) + " would take " +
                                   std::to_string(*bytes) + " bytes (limit " + std::to_string(ImageWriter::kMaxSize) +
                                   ")"});
  }
  return {};
}

Built<void> JsonInput::CheckLabelUses(const ProjectBuilder& builder) const {
  for (const LabelKind kind : {LabelKind::Object, LabelKind::Block}) {
    const auto& defined = context_.labels[static_cast<int>(kind)];
    const std::vector<std::string_view> names(std::views::keys(defined).begin(), std::views::keys(defined).end());
    for (const auto& [label, path] : context_.uses[static_cast<int>(kind)]) {
      const bool found = kind == LabelKind::Object ? builder.FindObject(label).has_value() : builder.HasBlock(label);
      if (!found)
        return Unexpected(BuildError{path + ": no " + (kind == LabelKind::Object ? "object" : "block") +
                                     " has the label \"" + label + "\"" + DidYouMean(label, names)});
    }
  }
  return {};
}

Built<void> JsonInput::CheckPositions(const std::map<std::string, uint32_t>& labels) const {
  for (const auto& [label, path] : context_.positionLabels)
    if (!labels.contains(label)) return Unexpected(BuildError{path + ": unknown label \"" + label + "\""});
  return {};
}

}  // namespace prt::builder
