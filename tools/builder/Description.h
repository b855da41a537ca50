#pragma once
// The JSON description of a data set (docs/dataset-format.md), written down
// once: a structure for every kind of JSON object and beside it its mapping,
// which every direction walks. JsonInput reads a description (prt-build),
// inspect's JsonOutput writes one (prt-inspect --json), KeyList lists the
// keys (unknown keys are refused against it; the format document is
// checked against it).
//
// A mapping names each key with what it fills:
//   io.Key(name, value)               optional; written unless at its default
//   io.Key(name, value, omitted)      optional; written unless equal to `omitted`
//   io.Always(name, value)            optional; always written
//   io.Required(name, value, missing) must be given; always written
// A name may be {"spelling", "alias"}: read under both, written under the
// first. What the converter never reads is mapped under IO::kRaw: the
// inspector leaves it out.
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Limits.h"
#include "tools/builder/ContainerWriter.h"
#include "tools/builder/ProjectBuilder.h"
#include "tools/builder/ScreenForms.h"
#include "tools/builder/Synthetic.h"

namespace prt::builder {

// A key's spelling and its alias, if it has one.
struct Name {
  Name(const char* name) : first(name) {}
  Name(const char* name, const char* alias) : first(name), second(alias) {}
  std::string_view first, second;
};

// ---- Values with a JSON form of their own -------------------------------
// Each refers to what it fills; JsonInput reads them, JsonOutput writes
// those the inspector describes.

// Null as none; absent leaves the value as it was.
template <typename T>
struct Nullable {
  std::optional<T>& value;
  const char* expected = nullptr;  // for a list: what a non-array should have been
};
// An array into a vector, or into an optional one that it sets.
template <typename V>
struct List {
  V& items;
  const char* expected;  // what a non-array should have been
};
// A value whose messages name the object it is in rather than its key.
template <typename V>
struct AtObject { V inner; };
struct Bounded { uint32_t& value; int64_t lo, hi; };  // an integer in [lo, hi]
// A size or offset that decides an allocation: "<what> N too large" above `limit`.
struct Limited { uint32_t& value; uint32_t limit; const char* what; };
template <size_t N>
struct Fixed { std::array<uint8_t, N>& value; };  // exactly N bytes
struct Fields { std::vector<Field>& value; uint32_t limit; };  // at offsets up to `limit`

// Labels: an object's or a block's, defined once and used anywhere.
enum class LabelKind : uint8_t { Object, Block };
struct DefineLabel { std::string& value; LabelKind kind; };
struct UseLabel { std::string& value; LabelKind kind; };

// The parts of an object with a form of their own.
struct TypeOf { ControlForm& value; };       // a type name, or a number
struct ShapeOf { ControlForm& value; };      // a shape name or a number; written when the type's name lacks it
struct IndexOf { ControlForm& value; };      // defined once per type
struct RecordSizeOf { ControlForm& value; };
struct SubRecordOf { ControlForm& value; };  // a number for a new sub-record, or a reference
struct TitleOf { ControlForm& value; };      // a title, or null for reference 0
struct ChildrenOf { ControlForm& value; };   // objects, and {"link": {...}} for raw links
struct RecordWords { std::vector<Field>& value; };  // {"<word>": value or {"ref": ...}}
struct RecordBytes { std::vector<Field>& value; };  // {"<byte>": value}
struct LinkTarget { Link& value; };          // an object label, or a reference
struct Present { uint8_t& value; };          // true, false or a number
struct Orientation { uint8_t& value; };      // "horizontal", "vertical" or a number
struct Stops { Gradient& value; };           // [[position, colour], ...]: positions and colours at once
struct ListEntries { ValueList& value; };    // words per entry by the list's kind
struct ListKindOf { uint16_t& value; };      // "bit", "value", "range" or a number
struct ByteOrderOf { Endian& value; };       // "little" or "big"
struct CorruptionOf { Corruption& value; };  // a corruption's name
struct RecordSizes { std::map<uint8_t, uint32_t>& value; };  // {"<type>": size}

// ---- Structures that only a description has -----------------------------

// A raw link among children.
struct LinkEntry { Link link; };

// A reference with an offset added: {"label": "x", "plus": 4}.
struct LabelRef {
  std::string label;
  uint32_t plus = 0;
};

// A position of a container list: a number or a block's label.
struct Position {
  uint32_t value = 0;
  std::string label;
};
struct PositionsForm {
  uint32_t word = 0;  // sections 3000 and 4000 only
  std::vector<Position> positions;
};
// The word and positions of sections 3000 and 4000, or the positions alone.
struct WordPositions { std::optional<PositionsForm>& value; };
struct Positions { std::optional<PositionsForm>& value; };

// The container's name: null drops it.
struct NameChange { std::optional<std::u16string> name; };

struct ContainerForm {
  ContainerOptions options;  // without the name and the lists
  std::optional<NameChange> name;
  std::optional<PositionsForm> listA, listB, listC, listD;
};

struct BlockForm {
  std::string label;
  std::optional<std::u16string> string;  // a CountedString block
  uint32_t size = 0;
  uint32_t align = 4;
  std::optional<std::vector<uint8_t>> bytes;  // from offset 0
  std::vector<Field> fields;
};
struct Block13 { std::optional<BlockForm>& value; };  // a block whose label is optional

// Header words by number: a plain value or a reference.
struct HeaderWord {
  uint32_t word = 0;
  std::optional<uint32_t> value;
  Ref ref;
};
struct HeaderWords { std::vector<HeaderWord>& value; };

// Sorted key table entries: [key, text number or text].
struct KeyText {
  uint32_t key = 0;
  TextRef text;
};

// The list default map as two groups: list -> text, list -> resource.
struct ListDefaults {
  std::optional<std::vector<std::pair<uint32_t, uint32_t>>> text, resource;
};

// The entries of a group of the list default map.
struct GroupEntries { std::optional<std::vector<std::pair<uint32_t, uint32_t>>>& value; };

// A per-language resource row: one for every language, or one per language.
struct ResourceRow {
  std::vector<std::optional<Resource>> languages;
};

// Runtime settings' table 20 as first, count, values, trailer.
struct Table20 {
  std::optional<uint32_t> first;  // default: the number of values
  std::vector<uint32_t> values, trailer;
};
struct Table20Of { std::optional<std::vector<uint32_t>>& value; };  // raw words, or a Table20
struct Block11Entries { Block11& value; };  // {"<n>": reference or [references]}

// The stored language: an index, or the file's bytes.
struct LanguageFile {
  std::optional<uint32_t> index;
  std::vector<uint8_t> bytes;
};
struct BytesOnly { std::vector<uint8_t> bytes; };  // {"bytes": [...]}

// The connection file: records {u32 key, u32 length, data}, or raw bytes.
struct ConnectionRecord {
  uint32_t key = 0;
  std::vector<uint8_t> data;
  std::optional<uint32_t> length;  // default: the data's
};
struct Connection {
  std::vector<ConnectionRecord> records;
  std::optional<std::vector<uint8_t>> bytes;
};

struct Description {
  std::optional<std::string> name;  // section 5000
  std::optional<std::vector<Language>> languages;  // absent: one, unless synthetic brings its own
  std::vector<FontRecord> fonts;
  std::vector<TextRow> texts;
  std::vector<BlockForm> blocks;
  uint32_t headerTypes = ProjectBuilder::kHeaderTypes;
  std::vector<uint8_t> emptyTables;
  std::vector<ControlForm> screens, records;
  std::map<uint8_t, uint32_t> recordSizes;
  std::optional<SyntheticOptions> synthetic;
  std::optional<std::vector<MapGroup>> objectTextMap, secondTextMap, listDefaultMap;
  std::optional<ListDefaults> listDefaults;
  std::optional<std::vector<std::optional<ValueList>>> textLists, resourceLists;
  std::vector<ResourceRow> resources;
  std::optional<std::vector<KeyText>> keyTexts, keyTextsUnsorted;
  LanguageCounts languageCounts;
  std::optional<ProjectSettings> projectSettings;
  std::optional<RuntimeSettings> runtimeSettings;
  std::optional<Block11> block11;
  std::optional<BlockForm> block13;
  std::vector<HeaderWord> header;
  std::optional<ContainerForm> container;
  std::optional<LanguageFile> languageFile;
  std::optional<Connection> connection;
};

// ---- The mappings ---------------------------------------------------------

template <typename IO>
void Map(IO& io, Description& d) {
  io.Key("name", d.name);
  io.Key("languages", d.languages);
  io.Key("fonts", d.fonts);
  io.Key("texts", d.texts);
  if constexpr (IO::kRaw) {
    io.Key("blocks", d.blocks);
    io.Key("headerTypes", Bounded{d.headerTypes, 0, ProjectBuilder::kHeaderTypes});
    io.Key("emptyTables", List{d.emptyTables, "expected an array of type numbers"});
  }
  io.Always("screens", d.screens);
  if constexpr (IO::kRaw) io.Key("records", d.records);
  io.Key("recordSizes", RecordSizes{d.recordSizes});
  if constexpr (IO::kRaw) {
    io.Key("synthetic", d.synthetic);
    io.Key("objectTextMap", List{d.objectTextMap, "expected an array of groups"});
    io.Key("secondTextMap", List{d.secondTextMap, "expected an array of groups"});
    io.Key("listDefaultMap", List{d.listDefaultMap, "expected an array of groups"});
    io.Key("listDefaults", d.listDefaults);
    io.Key("textLists", List{d.textLists, "expected an array of lists"});
    io.Key("resourceLists", List{d.resourceLists, "expected an array of lists"});
    io.Key("resources", List{d.resources, "expected an array of resources"});
    io.Key("keyTexts", List{d.keyTexts, "expected [[key, text], ...]"});
    io.Key("keyTextsUnsorted", List{d.keyTextsUnsorted, "expected [[key, text], ...]"});
    io.Key("languageCounts", d.languageCounts);
    io.Key("projectSettings", d.projectSettings);
    io.Key("runtimeSettings", d.runtimeSettings);
    io.Key("block11", d.block11);
    io.Key("block13", Block13{d.block13});
    io.Key("header", HeaderWords{d.header});
    io.Key("container", d.container);
  }
  io.Key("languageFile", d.languageFile);
  if constexpr (IO::kRaw) io.Key("connection", d.connection);
}

template <typename IO>
void Map(IO& io, Language& l) {
  io.Key("id", l.id);
  io.Key("fonts", l.fonts);
  io.Key("selectors", l.selectors);
}

template <typename IO>
void Map(IO& io, FontRecord& f) {
  io.Required("face", Nullable{f.face}, "font without \"face\" (null for none)");
  io.Always("size", f.size);
  io.Key("bold", f.bold);
  io.Key("italic", f.italic);
  io.Key("flags", f.flags);
  io.Key("byte0", f.byte0);
  if constexpr (IO::kRaw) io.Key("faceData", f.faceData);
}

// One object and, recursively, its children.
template <typename IO>
void Map(IO& io, ControlForm& o) {
  io.Required("type", TypeOf{o}, "object without \"type\"");
  io.Key("shape", ShapeOf{o});
  if constexpr (IO::kRaw) io.Key("label", DefineLabel{o.label, LabelKind::Object});
  io.Key("index", IndexOf{o});
  io.Key("ownReference", o.ownReference);
  if constexpr (IO::kRaw) {
    io.Key("emptyLinkList", o.emptyLinkList);
    io.Key("size", RecordSizeOf{o});
  }
  io.Key("text", Nullable{o.text});
  if constexpr (IO::kRaw) {
    io.Key("textId", o.textId);
    io.Key("textEx", o.textEx);
  }
  io.Key("x", o.x);
  io.Key("y", o.y);
  io.Key("w", o.w);
  io.Key("h", o.h);
  io.Key("hidden", o.hidden);
  io.Key("outside", o.outside);
  io.Key("flags", o.flags);
  io.Key("word8", o.word8);
  io.Key("subRecord", SubRecordOf{o});
  io.Key("background", o.background);
  io.Key({"borderColor", "borderColour"}, o.borderColour);
  io.Key("borderWidth", o.borderWidth);
  io.Key("borderRadius", o.borderRadius);
  io.Key("title", TitleOf{o});
  if constexpr (IO::kRaw) {
    io.Key("recordWords", RecordWords{o.recordWords});
    io.Key("recordBytes", RecordBytes{o.recordBytes});
    io.Key("pageNumber", o.pageNumber);
    io.Key("namedEntries", List{o.namedEntries, "expected an array of names"});
    io.Key("fields", Fields{o.fields, limits::kRecordSize});
    io.Key("links", o.links);  // ahead of "linked": a slip near both suggests "links"
  }
  io.Key("linked", o.linked, true);
  io.Key("linkKind", o.linkKind);
  io.Key("linkSlot", o.linkSlot);
  if constexpr (IO::kRaw) io.Key("template", UseLabel{o.templateLabel, LabelKind::Object});
  io.Key("children", ChildrenOf{o});
}

template <typename IO>
void Map(IO& io, LinkEntry& e) {
  io.Key("link", e.link);
}

template <typename IO>
void Map(IO& io, Link& l) {
  io.Required("target", LinkTarget{l}, "link without \"target\"");
  io.Key("kind", l.kind);
  io.Key("present", Present{l.present}, uint8_t{1});
  io.Key("slot", l.slot);
  io.Key("spare", l.spare);
}

// A fill descriptor; a colour alone is one stop at 0.
template <typename IO>
void Map(IO& io, Gradient& g) {
  io.Always("orientation", Orientation{g.orientation});
  if constexpr (IO::kRaw) io.Key("stops", Stops{g});
  io.Always("positions", Nullable{g.positions, "expected an array of numbers or null"});
  io.Always({"colors", "colours"}, Nullable{g.colours, "expected an array of colours or null"});
  io.Key("count", g.count);
}

template <typename IO>
void Map(IO& io, PopupTitle& t) {
  io.Always("icon", t.icon);
  io.Always("textId", t.textId);
  io.Always({"textColor", "textColour"}, t.textColour);
  io.Always("background", t.background);
  io.Always("font", t.font);
  io.Always("height", t.height);
  io.Key("closeButton", t.closeButton);
  io.Key("flags", t.flags);
}

// Also [number, style].
template <typename IO>
void Map(IO& io, TitleFont& f) {
  io.Always("number", f.number);
  io.Always("style", f.style);
}

template <typename IO>
void Map(IO& io, LanguageFile& f) {  // the {"bytes": [...]} form; an index is a number
  io.Key("bytes", f.bytes);
}

// ---- Raw parts: read, never written -----------------------------------------

template <typename IO>
void Map(IO& io, BlockForm& b) {
  io.Required("label", DefineLabel{b.label, LabelKind::Block}, "block without \"label\"");
  io.Key("string", b.string);
  io.Key("size", Limited{b.size, ImageWriter::kMaxSize, "block size"});
  io.Key("align", Bounded{b.align, 1, 4096});
  io.Key("bytes", b.bytes);
  io.Key("fields", Fields{b.fields, ImageWriter::kMaxSize});
}

template <typename IO>
void Map(IO& io, LabelRef& r) {
  io.Required("label", UseLabel{r.label, LabelKind::Block}, "reference without \"label\"");
  io.Key("plus", r.plus);
}

template <typename IO>
void Map(IO& io, NamedEntry& e) {  // also a name alone
  io.Required("name", AtObject<std::u16string&>{e.name}, "entry without \"name\"");
  io.Key("fields", Fields{e.fields, ImageWriter::kMaxSize});
}

template <typename IO>
void Map(IO& io, MapGroup& g) {
  io.Key("key", g.key);
  io.Key("entries", List{g.entries, "expected [[identifier, value], ...]"});
  io.Key("nullTable", g.nullTable);
}

template <typename IO>
void Map(IO& io, ListDefaults& d) {
  io.Key("text", GroupEntries{d.text});
  io.Key("resource", GroupEntries{d.resource});
}

template <typename IO>
void Map(IO& io, ValueList& l) {
  io.Key("kind", ListKindOf{l.kind});
  io.Key("entries", ListEntries{l});
  io.Key("count", l.count);
}

template <typename IO>
void Map(IO& io, ResourceRow& r) {  // also a resource alone, for every language
  io.Key("languages", List{r.languages, "expected an array"});
}

template <typename IO>
void Map(IO& io, Resource& r) {  // also bytes alone
  io.Key("first", r.first);
  io.Key("bytes", r.data);
}

template <typename IO>
void Map(IO& io, LanguageCounts& c) {
  io.Key("T", c.texts);
  io.Key("R", c.resources);
  io.Key("F", c.fonts);
  io.Key("S", c.selectors);
  io.Key("N", c.languages);
}

template <typename IO>
void Map(IO& io, ProjectSettings& s) {
  io.Key("word15", s.word15);
  io.Key("word19", s.word19);
  io.Key("flag", s.flag);
  io.Key("byte23", s.byte23);
  io.Key("size", Limited{s.size, ImageWriter::kMaxSize, "block size"});
}

template <typename IO>
void Map(IO& io, RuntimeSettings& s) {
  io.Key("flags", s.flags);
  io.Key("word1", s.word1);
  io.Key("word2", s.word2);
  io.Key("byte", Nullable{s.byte});
  io.Key("table16", List{s.table16, "expected [[number, \"name\"], ...]"});
  io.Key("table20", Table20Of{s.table20});
}

template <typename IO>
void Map(IO& io, Table20& t) {  // also the words alone
  io.Key("first", t.first);
  io.Key("values", t.values);
  io.Key("trailer", t.trailer);
}

template <typename IO>
void Map(IO& io, Block11& b) {
  io.Key("highest", b.highest);
  io.Key("entries", Block11Entries{b});
}

template <typename IO>
void Map(IO& io, SyntheticOptions& o) {
  constexpr int64_t kMost = 0xFFFFFF;
  io.Key("pages", Bounded{o.pages, 0, kMost});
  io.Key("templates", Bounded{o.templates, 0, kMost});
  io.Key("reportPages", Bounded{o.reportPages, 0, kMost});
  io.Key("popups", Bounded{o.popups, 0, kMost});
  io.Key("controls", Bounded{o.controls, 0, kMost});
  io.Key("languages", Bounded{o.languages, 0, kMost});
  io.Key("maxDepth", Bounded{o.maxDepth, 0, kMost});
  io.Key("seed", Bounded{o.seed, 0, kMost});
  io.Key("varied", o.varied);
}

template <typename IO>
void Map(IO& io, ContainerForm& c) {
  ContainerOptions& o = c.options;
  io.Key("byteOrder", ByteOrderOf{o.order});
  io.Key("mode", o.mode);
  io.Key("pointerBase", o.pointerBase);
  io.Key("nullValue", o.nullValue);
  io.Key("name", c.name);
  io.Key("reserved", Fixed<3>{o.reserved});
  io.Key("headerBytes", Fixed<4>{o.headerBytes});
  io.Key("listA", WordPositions{c.listA});
  io.Key("listB", WordPositions{c.listB});
  io.Key("listC", Positions{c.listC});
  io.Key("listD", Positions{c.listD});
  io.Key("sections", o.extraSections);
  io.Key("layoutInserts", o.layoutInserts);
  io.Key("trailing", o.trailing);
  io.Key("corrupt", CorruptionOf{o.corrupt});
}

template <typename IO>
void Map(IO& io, PositionsForm& p) {  // also the positions alone
  io.Key("word", p.word);
  io.Key("positions", AtObject{List{p.positions, "expected an array of positions"}});
}

template <typename IO>
void Map(IO& io, RawSection& s) {
  io.Required("type", s.type, "section without \"type\"");
  io.Key("headBytes", Fixed<4>{s.headBytes});
  io.Key("bytes", s.body);
  io.Key("length", s.length);
  io.Key("at", s.insertAt);
}

template <typename IO>
void Map(IO& io, LayoutInsert& l) {
  io.Key("at", l.at);
  io.Key("kind", l.entry.kind);
  io.Key("count", l.entry.count);
}

template <typename IO>
void Map(IO& io, BytesOnly& b) {
  io.Key("bytes", b.bytes);
}

template <typename IO>
void Map(IO& io, ConnectionRecord& r) {
  io.Required("key", r.key, "record without \"key\"");
  io.Key("data", r.data);
  io.Key("length", r.length);
}

// Lists the keys a mapping names, aliases included.
class KeyList {
 public:
  static constexpr bool kReading = false;
  static constexpr bool kRaw = true;

  template <typename V, typename... Omitted>
  void Key(Name name, V&&, const Omitted&...) {
    Add(name);
  }
  template <typename V>
  void Always(Name name, V&&) { Add(name); }
  template <typename V>
  void Required(Name name, V&&, std::string_view) { Add(name); }

  // The keys of T's mapping, in its order.
  template <typename T>
  static std::vector<std::string_view> Of() {
    T value{};
    KeyList list;
    Map(list, value);
    return list.keys_;
  }

 private:
  void Add(Name name) {
    keys_.push_back(name.first);
    if (!name.second.empty()) keys_.push_back(name.second);
  }
  std::vector<std::string_view> keys_;
};

template <typename T>
concept Mapped = requires(KeyList& io, T& value) { Map(io, value); };

}  // namespace prt::builder
