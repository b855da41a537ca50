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
  context.languages = root.is_object() && !root.contains("languages") && !root.contains("synthetic") ? 1 : 0;
  Description d;
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

// ---- Values of any description ----

// Every reader, declared before any is used: a reader finds the others by
// the type it reads, wherever they are defined.
void ReadValue(JsonInput&, const Json&, const std::string&, uint64_t&);
void ReadValue(JsonInput&, const Json&, const std::string&, bool&);
void ReadValue(JsonInput&, const Json&, const std::string&, double&);
void ReadValue(JsonInput&, const Json&, const std::string&, float&);
void ReadValue(JsonInput&, const Json&, const std::string&, std::string&);
void ReadValue(JsonInput&, const Json&, const std::string&, std::u16string&);
void ReadValue(JsonInput&, const Json&, const std::string&, std::vector<uint8_t>&);
void ReadValue(JsonInput&, const Json&, const std::string&, Colour&);
void ReadValue(JsonInput&, const Json&, const std::string&, Bounded&);
void ReadValue(JsonInput&, const Json&, const std::string&, Limited&);
void ReadValue(JsonInput&, const Json&, const std::string&, Ref&);
void ReadValue(JsonInput&, const Json&, const std::string&, DefineLabel&);
void ReadValue(JsonInput&, const Json&, const std::string&, UseLabel&);
void ReadValue(JsonInput&, const Json&, const std::string&, std::vector<Language>&);
void ReadValue(JsonInput&, const Json&, const std::string&, std::optional<FontVariants>&);
void ReadValue(JsonInput&, const Json&, const std::string&, TextRow&);
void ReadColumns(JsonInput&, const Json&, const std::string&, TextRow&);
void ReadValue(JsonInput&, const Json&, const std::string&, TextRef&);
void ReadValue(JsonInput&, const Json&, const std::string&, KeyText&);
void ReadValue(JsonInput&, const Json&, const std::string&, Gradient&);
void ReadValue(JsonInput&, const Json&, const std::string&, Orientation&);
void ReadValue(JsonInput&, const Json&, const std::string&, Stops&);
void ReadValue(JsonInput&, const Json&, const std::string&, TitleFont&);
void ReadValue(JsonInput&, const Json&, const std::string&, TypeOf&);
void ReadValue(JsonInput&, const Json&, const std::string&, ShapeOf&);
void ReadValue(JsonInput&, const Json&, const std::string&, IndexOf&);
void ReadValue(JsonInput&, const Json&, const std::string&, RecordSizeOf&);
void ReadValue(JsonInput&, const Json&, const std::string&, SubRecordOf&);
void ReadValue(JsonInput&, const Json&, const std::string&, TitleOf&);
void ReadValue(JsonInput&, const Json&, const std::string&, ChildrenOf&);
void ReadValue(JsonInput&, const Json&, const std::string&, RecordWords&);
void ReadValue(JsonInput&, const Json&, const std::string&, RecordBytes&);
void ReadValue(JsonInput&, const Json&, const std::string&, NamedEntry&);
void ReadValue(JsonInput&, const Json&, const std::string&, Fields&);
void ReadField(JsonInput&, const Json&, const std::string&, uint32_t maxAt, Field&);
void ReadValue(JsonInput&, const Json&, const std::string&, LinkTarget&);
void ReadValue(JsonInput&, const Json&, const std::string&, Present&);
void ReadValue(JsonInput&, const Json&, const std::string&, RecordSizes&);
void ReadValue(JsonInput&, const Json&, const std::string&, SyntheticOptions&);
void ReadValue(JsonInput&, const Json&, const std::string&, std::pair<uint32_t, uint32_t>&);
void ReadValue(JsonInput&, const Json&, const std::string&, GroupEntries&);
void ReadValue(JsonInput&, const Json&, const std::string&, std::optional<ValueList>&);
void ReadValue(JsonInput&, const Json&, const std::string&, ListKindOf&);
void ReadValue(JsonInput&, const Json&, const std::string&, ListEntries&);
void ReadValue(JsonInput&, const Json&, const std::string&, ResourceRow&);
void ReadValue(JsonInput&, const Json&, const std::string&, std::optional<Resource>&);
void ReadValue(JsonInput&, const Json&, const std::string&, std::pair<uint32_t, std::string>&);
void ReadValue(JsonInput&, const Json&, const std::string&, Table20Of&);
void ReadValue(JsonInput&, const Json&, const std::string&, Block11Entries&);
void ReadValue(JsonInput&, const Json&, const std::string&, BlockForm&);
void ReadValue(JsonInput&, const Json&, const std::string&, Block13&);
void ReadValue(JsonInput&, const Json&, const std::string&, HeaderWords&);
void ReadValue(JsonInput&, const Json&, const std::string&, ByteOrderOf&);
void ReadValue(JsonInput&, const Json&, const std::string&, NameChange&);
void ReadValue(JsonInput&, const Json&, const std::string&, WordPositions&);
void ReadValue(JsonInput&, const Json&, const std::string&, Positions&);
void ReadValue(JsonInput&, const Json&, const std::string&, Position&);
void ReadValue(JsonInput&, const Json&, const std::string&, CorruptionOf&);
void ReadValue(JsonInput&, const Json&, const std::string&, LanguageFile&);
void ReadValue(JsonInput&, const Json&, const std::string&, Connection&);

template <Mapped T>
void ReadValue(JsonInput& in, const Json& node, const std::string& path, T& value) {
  in.ReadObject(node, path, value);
}

template <typename T>
void ReadValue(JsonInput& in, const Json& node, const std::string& path, std::optional<T>& value) {
  ReadValue(in, node, path, value.emplace());
}

template <typename T>
void ReadValue(JsonInput& in, const Json& node, const std::string& path, std::vector<T>& items) {
  in.ReadArray(node, path, items, "expected an array");
}

// N bits, signed or not: [-2^(N-1), 2^N - 1].
template <typename T>
  requires std::integral<T> && (!std::same_as<T, bool>) && (sizeof(T) < 8)
void ReadValue(JsonInput& in, const Json& node, const std::string& path, T& value) {
  using Signed = std::make_signed_t<T>;
  using Unsigned = std::make_unsigned_t<T>;
  value = static_cast<T>(in.Integer(node, path, std::numeric_limits<Signed>::min(), std::numeric_limits<Unsigned>::max()));
}

template <typename V>
void ReadValue(JsonInput& in, const Json& node, const std::string& path, List<V>& list) {
  if constexpr (requires { list.items.emplace(); })
    in.ReadArray(node, path, list.items.emplace(), list.expected);
  else
    in.ReadArray(node, path, list.items, list.expected);
}

template <typename T>
void ReadValue(JsonInput& in, const Json& node, const std::string& path, Nullable<T>& nullable) {
  if (node.is_null()) return nullable.value.reset();
  if constexpr (requires(T& v) { v.emplace_back(); })
    in.ReadArray(node, path, nullable.value.emplace(), nullable.expected);
  else
    ReadValue(in, node, path, nullable.value.emplace());
}

template <typename V>
void ReadValue(JsonInput& in, const Json& node, const std::string&, AtObject<V>& at) {
  ReadValue(in, node, in.ObjectPath(), at.inner);
}

template <size_t N>
void ReadValue(JsonInput& in, const Json& node, const std::string& path, Fixed<N>& fixed) {
  std::vector<uint8_t> bytes;
  ReadValue(in, node, path, bytes);
  if (!in.Failed() && bytes.size() != N) return in.Fail(path, "expected " + std::to_string(N) + " bytes");
  std::copy(bytes.begin(), bytes.end(), fixed.value.begin());
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, uint64_t& value) {
  value = node.is_number_unsigned() ? node.get<uint64_t>() : static_cast<uint64_t>(in.Integer(node, path, INT64_MIN, INT64_MAX));
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, bool& value) {
  if (!node.is_boolean()) return in.Fail(path, "expected true or false");
  value = node.get<bool>();
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, double& value) {
  if (!node.is_number()) return in.Fail(path, "expected a number");
  value = node.get<double>();
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, float& value) {
  double v = 0;
  ReadValue(in, node, path, v);
  value = static_cast<float>(v);
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, std::string& value) {
  if (!node.is_string()) return in.Fail(path, "expected a string");
  value = node.get<std::string>();
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, std::u16string& value) {
  std::string text;
  ReadValue(in, node, path, text);
  if (in.Failed()) return;
  auto converted = Utf16(text);
  if (!converted) return in.Fail(path, "invalid UTF-8");
  value = std::move(*converted);
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, std::vector<uint8_t>& bytes) {
  if (node.is_string()) {  // plain 8-bit text
    const std::string& s = node.get_ref<const std::string&>();
    bytes.assign(s.begin(), s.end());
    return;
  }
  in.ReadArray(node, path, bytes, "expected an array of bytes or a string");
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, Colour& colour) {
  if (node.is_string()) {
    const auto c = ParseColour(node.get<std::string>());
    if (!c) return in.Fail(path, "expected a colour \"#aarrggbb\" or \"#rrggbb\"");
    colour = *c;
  } else if (node.is_array() && node.size() == 4) {
    std::vector<uint8_t> b;
    ReadValue(in, node, path, b);
    if (!in.Failed()) colour = {b[0], b[1], b[2], b[3]};
  } else if (node.is_number()) {
    uint32_t argb = 0;
    ReadValue(in, node, path, argb);
    colour = ColourFromArgb(argb);
  } else {
    in.Fail(path, "expected a colour");
  }
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, Bounded& value) {
  value.value = static_cast<uint32_t>(in.Integer(node, path, value.lo, value.hi));
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, Limited& value) {
  uint32_t v = 0;
  ReadValue(in, node, path, v);
  if (!in.Failed() && v > value.limit)
    in.Fail(path, std::string(value.what) + " " + std::to_string(v) + " too large (limit " + std::to_string(value.limit) +
                   ")");
  value.value = v;
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, Ref& ref) {
  if (node.is_null()) {
    ref = Ref::None();
  } else if (node.is_string()) {
    ref = Ref::To(node.get<std::string>());
    in.context.uses[static_cast<int>(LabelKind::Block)].emplace_back(ref.label, path);
  } else if (node.is_object()) {
    LabelRef labelled;
    in.ReadObject(node, path, labelled);
    ref = Ref::To(labelled.label, labelled.plus);
  } else {
    uint32_t target = 0;
    ReadValue(in, node, path, target);
    ref = Ref::Raw(target);
  }
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, DefineLabel& label) {
  ReadValue(in, node, path, label.value);
  if (in.Failed()) return;
  const auto [first, added] = in.context.labels[static_cast<int>(label.kind)].emplace(label.value, path);
  if (!added) in.Fail(path, "label \"" + label.value + "\" is defined twice; first at " + first->second);
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, UseLabel& label) {
  ReadValue(in, node, path, label.value);
  in.context.uses[static_cast<int>(label.kind)].emplace_back(label.value, path);
}

// ---- Languages and texts ----

void ReadValue(JsonInput& in, const Json& node, const std::string& path, std::vector<Language>& languages) {
  in.ReadArray(node, path, languages, "expected an array");
  in.context.languages = languages.size();
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, std::optional<FontVariants>& variants) {
  if (node.is_null()) return variants.reset();
  FontVariants& v = variants.emplace();
  if (!node.is_array()) {
    ReadValue(in, node, path, v[0]);
    v = {v[0], v[0], v[0], v[0]};
  } else if (node.size() != 4) {
    in.Fail(path, "expected four font indexes");
  } else {
    for (size_t i = 0; i < 4; ++i) ReadValue(in, node[i], path, v[i]);
  }
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, TextRow& row) {
  if (node.is_null()) return;
  if (node.is_string()) return ReadValue(in, node, path, row.all.emplace());
  ReadColumns(in, node, path, row);
}

// Texts per language: more than there are languages would never be shown.
void ReadColumns(JsonInput& in, const Json& node, const std::string& path, TextRow& row) {
  in.ReadArray(node, path, row.perLanguage, "expected a text, an array of texts per language, or null",
            [&in](const Json& n, const std::string& p, std::optional<std::u16string>& text) {
              if (!n.is_null()) ReadValue(in, n, p, text.emplace());
            });
  const size_t texts = row.perLanguage.size(), languages = in.context.languages;
  if (!in.Failed() && languages > 0 && texts > languages)
    in.Fail(path, std::to_string(texts) + " texts for " + std::to_string(languages) +
                   (languages == 1 ? " language" : " languages"));
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, TextRef& text) {
  if (node.is_string()) return ReadValue(in, node, path, text.text.emplace().all.emplace());
  if (node.is_array()) return ReadColumns(in, node, path, text.text.emplace());
  ReadValue(in, node, path, text.number);
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, KeyText& entry) {
  if (!node.is_array() || node.size() != 2) return in.Fail(path, "expected [key, text number or text]");
  ReadValue(in, node[0], path, entry.key);
  if (IsName(node[1]) || node[1].is_array()) return ReadValue(in, node[1], path, entry.text);
  ReadValue(in, node[1], path, entry.text.number);
}

// ---- Fills ----

void ReadValue(JsonInput& in, const Json& node, const std::string& path, Gradient& fill) {
  if (!node.is_string() && !node.is_number()) return in.ReadObject(node, path, fill);
  ReadValue(in, node, path, fill.colours.emplace(1).front());
  fill.positions = std::vector<float>{0.0f};
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, Orientation& orientation) {
  if (node == "horizontal") orientation.value = 1;
  else if (node == "vertical") orientation.value = 2;
  else ReadValue(in, node, path, orientation.value);
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, Stops& stops) {
  std::vector<std::pair<float, Colour>> read;
  in.ReadArray(node, path, read, "expected [[position, colour], ...]",
            [&in](const Json& n, const std::string& p, std::pair<float, Colour>& stop) {
              if (!n.is_array() || n.size() != 2) return in.Fail(p, "expected [position, colour]");
              ReadValue(in, n[0], p, stop.first);
              ReadValue(in, n[1], p, stop.second);
            });
  Gradient& g = stops.value;
  g.positions.emplace();
  g.colours.emplace();
  for (const auto& [position, colour] : read) g.positions->push_back(position), g.colours->push_back(colour);
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, TitleFont& font) {
  if (!node.is_array() || node.size() != 2) return in.ReadObject(node, path, font);
  ReadValue(in, node[0], JsonInput::Sub(path, size_t{0}), font.number);
  ReadValue(in, node[1], JsonInput::Sub(path, size_t{1}), font.style);
}

// ---- Objects ----

void ReadValue(JsonInput& in, const Json& node, const std::string& path, TypeOf& type) {
  ControlForm& o = type.value;
  if (!IsName(node)) return ReadValue(in, node, path, o.type);
  const std::string& name = node.get_ref<const std::string&>();
  const TypeRow* row = FindTypeNamed(name);
  if (!row) return in.Fail(path, "unknown type \"" + name + "\"" + DidYouMean(name, TypeNames()));
  o.type = row->number;
  o.typeName = name;
  if (row->shape >= 0) o.shape = static_cast<uint8_t>(row->shape);
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, ShapeOf& shape) {
  const TypeRow* row = node.is_string() ? FindTypeNamed(node.get_ref<const std::string&>()) : nullptr;
  if (row && row->shape >= 0) shape.value.shape = static_cast<uint8_t>(row->shape);
  else ReadValue(in, node, path, shape.value.shape.emplace());
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, IndexOf& index) {
  ControlForm& o = index.value;
  const auto value = static_cast<uint32_t>(in.Integer(node, path, 0, layout::kIndexMask));
  if (in.Failed()) return;
  o.index = value;
  auto& [highest, where] = in.context.highestIndex[o.type];
  if (where.empty() || value > highest) highest = value, where = path;
  const auto [first, added] = in.context.indexAt.emplace(std::pair(o.type, value), path);
  if (!added)
    in.Fail(path, "object of type " + std::to_string(o.type) + " with index " + std::to_string(value) +
                   " is defined twice; first at " + first->second);
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, RecordSizeOf& size) {
  Limited limited{size.value.recordSize.emplace(), limits::kRecordSize, "record size"};
  ReadValue(in, node, path, limited);
  in.context.objectSizeAt[size.value.type] = path;
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, SubRecordOf& sub) {
  if (node.is_number()) return ReadValue(in, node, path, sub.value.subRecordWord.emplace());
  ReadValue(in, node, path, sub.value.subRecord.emplace());
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, TitleOf& title) {
  if (node.is_null()) title.value.nullTitle = true;
  else ReadValue(in, node, path, title.value.title.emplace());
}

// Only screens and containers link their children in: a named control of
// another kind would drop them without a word.
void ReadValue(JsonInput& in, const Json& node, const std::string& path, ChildrenOf& children) {
  ControlForm& o = children.value;
  if (node.is_array() && !o.typeName.empty() && !node.empty() && !LinksChildren(o.type))
    return in.Fail(path, "a " + o.typeName +
                          " holds no children (only pages, templates, report pages, popups and containers do)");
  in.ReadArray(node, path, o.children, "expected an array", [&in](const Json& n, const std::string& p, ControlForm& child) {
    if (!n.is_object() || !n.contains("link")) return ReadValue(in, n, p, child);
    LinkEntry entry;
    in.ReadObject(n, p, entry);
    child.rawLink = entry.link;
  });
}

// Table-record numbering (word 0 = link list), as the data manager counts.
void ReadValue(JsonInput& in, const Json& node, const std::string& path, RecordWords& words) {
  if (!node.is_object()) return in.Fail(path, "expected {\"<word>\": value}");
  for (const auto& [key, v] : node.items()) {
    const std::string at = JsonInput::Sub(path, key);
    const auto word = static_cast<uint32_t>(in.Integer(Json(key), at, 2, 0xFFFF));
    if (v.is_object() && v.contains("ref")) {
      Ref ref;
      ReadValue(in, v["ref"], JsonInput::Sub(at, "ref"), ref);
      words.value.push_back(Field::Pointer(4 * word - 4, ref));
    } else {
      uint32_t value = 0;
      ReadValue(in, v, at, value);
      words.value.push_back(Field::U32(4 * word - 4, value));
    }
  }
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, RecordBytes& bytes) {
  if (!node.is_object()) return in.Fail(path, "expected {\"<byte>\": value}");
  for (const auto& [key, v] : node.items()) {
    const std::string at = JsonInput::Sub(path, key);
    const auto byte = static_cast<uint32_t>(in.Integer(Json(key), at, 8, 0xFFFF));
    uint8_t value = 0;
    ReadValue(in, v, at, value);
    bytes.value.push_back(Field::U8(byte - 4, value));
  }
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, NamedEntry& entry) {
  if (node.is_object()) return in.ReadObject(node, path, entry);
  ReadValue(in, node, path, entry.name);
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, Fields& fields) {
  in.ReadArray(node, path, fields.value, "expected an array of fields",
            [&](const Json& n, const std::string& p, Field& f) { ReadField(in, n, p, fields.limit, f); });
}

void ReadField(JsonInput& in, const Json& node, const std::string& path, uint32_t maxAt, Field& field) {
  if (!node.is_object()) return in.Fail(path, "expected a field {\"at\": n, \"<type>\": value}");
  if (!node.contains("at")) return in.Fail(path, "field without \"at\"");
  uint32_t at = 0;
  Limited offset{at, maxAt, "offset"};
  ReadValue(in, node["at"], JsonInput::Sub(path, "at"), offset);
  if (in.Failed()) return;
  if (node.size() != 2) return in.Fail(path, "a field holds \"at\" and exactly one typed value");
  for (const auto& [key, v] : node.items()) {
    if (key == "at") continue;
    const std::string p = JsonInput::Sub(path, key);
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
      case 0: ReadValue(in, v, p, u8), field = Field::U8(at, u8); break;
      case 1: ReadValue(in, v, p, u16), field = Field::U16(at, u16); break;
      case 2: ReadValue(in, v, p, u32), field = Field::U32(at, u32); break;
      case 3: ReadValue(in, v, p, i32), field = Field::I32(at, i32); break;
      case 4: ReadValue(in, v, p, u64), field = Field::U64(at, u64); break;
      case 5: ReadValue(in, v, p, f32), field = Field::F32(at, f32); break;
      case 6: ReadValue(in, v, p, f64), field = Field::F64(at, f64); break;
      case 7: ReadValue(in, v, p, bytes), field = Field::Bytes(at, std::move(bytes)); break;
      case 8:
      case 9: ReadValue(in, v, p, colour), field = Field::Bytes(at, {colour.begin(), colour.end()}); break;
      case 10: ReadValue(in, v, p, ref), field = Field::Pointer(at, ref); break;
      default: in.Fail(path, "unknown field type \"" + key + "\"");
    }
  }
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, LinkTarget& target) {
  Link& l = target.value;
  if (!IsName(node)) return ReadValue(in, node, path, l.target);
  l.object = node.get<std::string>();
  in.context.uses[static_cast<int>(LabelKind::Object)].emplace_back(l.object, path);
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, Present& present) {
  if (node.is_boolean()) present.value = node.get<bool>() ? 1 : 0;
  else ReadValue(in, node, path, present.value);
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, RecordSizes& sizes) {
  if (!node.is_object()) return in.Fail(path, "expected an object of type numbers");
  for (const auto& [key, v] : node.items()) {
    const std::string at = JsonInput::Sub(path, key);
    uint8_t type = 0;
    ReadValue(in, Json(key), at, type);
    Limited size{sizes.value[type], limits::kRecordSize, "record size"};
    ReadValue(in, v, at, size);
    in.context.tableSizeAt[type] = at;
  }
}

// The generator holds the whole project in memory before it is laid out.
void ReadValue(JsonInput& in, const Json& node, const std::string& path, SyntheticOptions& o) {
  in.ReadObject(node, path, o);
  const auto over = [](uint64_t value, const char* unit, uint64_t limit) {
    return std::to_string(value) + " " + unit + " (limit " + std::to_string(limit) + ")";
  };
  const uint64_t screens = uint64_t{o.pages} + o.templates + o.reportPages + o.popups;
  if (screens > limits::kSyntheticScreens) in.Fail(path, over(screens, "screens", limits::kSyntheticScreens));
  if (o.controls > limits::kSyntheticControls)
    in.Fail(JsonInput::Sub(path, "controls"), over(o.controls, "controls", limits::kSyntheticControls));
  if (o.languages > limits::kSyntheticLanguages)
    in.Fail(JsonInput::Sub(path, "languages"), over(o.languages, "languages", limits::kSyntheticLanguages));
  if (in.context.languages == 0) in.context.languages = std::max<uint32_t>(o.languages, 1);
}

// ---- Maps, lists and resources ----

void ReadValue(JsonInput& in, const Json& node, const std::string& path, std::pair<uint32_t, uint32_t>& entry) {
  if (!node.is_array() || node.size() != 2) return in.Fail(path, "expected [identifier, value]");
  ReadValue(in, node[0], path, entry.first);
  ReadValue(in, node[1], path, entry.second);
}

// Read as the entries of the first group of a map written in full.
void ReadValue(JsonInput& in, const Json& node, const std::string& path, GroupEntries& entries) {
  in.ReadArray(node, JsonInput::Sub(JsonInput::Sub(path, size_t{0}), "entries"), entries.value.emplace(), "expected [[identifier, value], ...]");
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, std::optional<ValueList>& list) {
  if (node.is_null()) return list.reset();
  in.ReadObject(node, path, list.emplace());
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, ListKindOf& kind) {
  if (node == "bit") kind.value = 1;
  else if (node == "value") kind.value = 2;
  else if (node == "range") kind.value = 3;
  else ReadValue(in, node, path, kind.value);
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, ListEntries& entries) {
  const size_t width = entries.value.kind == 3 ? 3 : 2;
  in.ReadArray(node, path, entries.value.entries, "expected an array of entries",
            [&](const Json& n, const std::string& p, std::vector<uint32_t>& words) {
              if (!n.is_array() || n.size() != width)
                return in.Fail(p, width == 3 ? "expected [upper, lower, result]" : "expected [value, result]");
              // Each word's message names the entry.
              in.ReadArray(n, p, words, "", [&](const Json& w, const std::string&, uint32_t& v) { ReadValue(in, w, p, v); });
            });
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, ResourceRow& row) {
  if (!node.is_object() || !node.contains("languages")) return ReadValue(in, node, path, row.languages.emplace_back());
  in.ReadObject(node, path, row);
  // A row of one entry would apply to every language: pad it.
  if (row.languages.size() == 1) row.languages.emplace_back();
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, std::optional<Resource>& resource) {
  if (node.is_null()) return resource.reset();
  if (node.is_object()) return in.ReadObject(node, path, resource.emplace());
  ReadValue(in, node, path, resource.emplace().data);
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, std::pair<uint32_t, std::string>& entry) {
  if (!node.is_array() || node.size() != 2) return in.Fail(path, "expected [number, \"name\"]");
  ReadValue(in, node[1], path, entry.second);
  if (!in.Failed() && entry.second.size() > 4) return in.Fail(path, "name longer than 4 bytes");
  ReadValue(in, node[0], path, entry.first);
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, Table20Of& table) {
  if (node.is_array()) return in.ReadArray(node, path, table.value.emplace(), "");
  Table20 t;
  in.ReadObject(node, path, t);
  std::vector<uint32_t>& words = table.value.emplace();
  words.push_back(t.first.value_or(static_cast<uint32_t>(t.values.size())));
  words.push_back(static_cast<uint32_t>(t.values.size()));
  words.insert(words.end(), t.values.begin(), t.values.end());
  words.insert(words.end(), t.trailer.begin(), t.trailer.end());
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, Block11Entries& entries) {
  if (!node.is_object()) return in.Fail(path, "expected {\"<n>\": reference or [references]}");
  for (const auto& [key, v] : node.items()) {
    const std::string at = JsonInput::Sub(path, key);
    const auto n = static_cast<uint32_t>(in.Integer(Json(key), at, 1, layout::kBlock11Entries));
    if (!v.is_array()) {
      ReadValue(in, v, at, entries.value.entries[n]);
      continue;
    }
    auto& list = entries.value.lists[n];
    for (size_t i = 0; i < v.size(); ++i) ReadValue(in, v[i], JsonInput::Sub(at, i), list.emplace_back());
  }
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, BlockForm& block) {
  in.ReadObject(node, path, block);
  if (!in.Failed() && block.string && node.size() != 2) in.Fail(path, "a string block holds \"label\" and \"string\" only");
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, Block13& block) {
  if (!node.is_object()) return in.Fail(path, "expected a block");
  Json labelled = node;
  if (!labelled.contains("label")) labelled["label"] = "#block13";
  ReadValue(in, labelled, path, block.value.emplace());
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, HeaderWords& words) {
  if (!node.is_object()) return in.Fail(path, "expected an object of word numbers");
  for (const auto& [key, v] : node.items()) {
    const std::string at = JsonInput::Sub(path, key);
    HeaderWord& word = words.value.emplace_back();
    word.word = static_cast<uint32_t>(in.Integer(Json(key), at, 0, 0xFFFF));
    if (v.is_number() || (v.is_string() && !IsName(v))) ReadValue(in, v, at, word.value.emplace());
    else if (v.is_object() && v.contains("ref")) ReadValue(in, v["ref"], JsonInput::Sub(at, "ref"), word.ref);
    else ReadValue(in, v, at, word.ref);
  }
}

// ---- The container and the files beside it ----

void ReadValue(JsonInput& in, const Json& node, const std::string& path, ByteOrderOf& order) {
  std::string name;
  ReadValue(in, node, path, name);
  if (name == "little") order.value = Endian::Little;
  else if (name == "big") order.value = Endian::Big;
  else in.Fail(path, "expected \"little\" or \"big\"");
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, NameChange& name) {
  if (!node.is_null()) ReadValue(in, node, path, name.name.emplace());
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, WordPositions& positions) {
  if (node.is_object()) return in.ReadObject(node, path, positions.value.emplace());
  in.ReadArray(node, path, positions.value.emplace().positions, "expected an array of positions");
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, Positions& positions) {
  in.ReadArray(node, path, positions.value.emplace().positions, "expected an array of positions");
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, Position& position) {
  if (!IsName(node)) return ReadValue(in, node, path, position.value);
  position.label = node.get<std::string>();
  in.context.positionLabels.emplace_back(position.label, path);
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, CorruptionOf& corruption) {
  std::string name;
  ReadValue(in, node, path, name);
  const auto c = CorruptionFromName(name);
  if (!in.Failed() && !c) return in.Fail(path, "unknown corruption \"" + name + "\"");
  if (c) corruption.value = *c;
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, LanguageFile& file) {
  if (node.is_object()) return in.ReadObject(node, path, file);
  ReadValue(in, node, path, file.index.emplace());
}

void ReadValue(JsonInput& in, const Json& node, const std::string& path, Connection& connection) {
  if (!node.is_object())
    return in.ReadArray(node, path, connection.records, "expected an array of records or {\"bytes\": [...]}");
  BytesOnly only;
  in.ReadObject(node, path, only);
  connection.bytes = std::move(only.bytes);
}

// ---- What needs the whole description ----

// A record table takes its highest index times its record size: refused at
// the place that asked for it.
Built<void> JsonInput::CheckRecordTables(const ProjectBuilder& builder) const {
  std::map<uint8_t, std::string> where = context.tableSizeAt;
  for (const auto& [type, at] : context.objectSizeAt) where[type] = at;
  for (const auto& [type, index] : context.highestIndex) where[type] = index.second;
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
    const auto& defined = context.labels[static_cast<int>(kind)];
    const std::vector<std::string_view> names(std::views::keys(defined).begin(), std::views::keys(defined).end());
    for (const auto& [label, path] : context.uses[static_cast<int>(kind)]) {
      const bool found = kind == LabelKind::Object ? builder.FindObject(label).has_value() : builder.HasBlock(label);
      if (!found)
        return Unexpected(BuildError{path + ": no " + (kind == LabelKind::Object ? "object" : "block") +
                                     " has the label \"" + label + "\"" + DidYouMean(label, names)});
    }
  }
  return {};
}

Built<void> JsonInput::CheckPositions(const std::map<std::string, uint32_t>& labels) const {
  for (const auto& [label, path] : context.positionLabels)
    if (!labels.contains(label)) return Unexpected(BuildError{path + ": unknown label \"" + label + "\""});
  return {};
}

}  // namespace prt::builder
