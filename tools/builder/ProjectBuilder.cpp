#include "tools/builder/ProjectBuilder.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <set>

#include "data/image/Layout.h"

namespace prt::builder {

using enum FieldKind;
using namespace layout;

namespace {

// A table {u32 count; `count` entries of `width` bytes}, `put` writing entry
// i at its place; answers its offset.
template <typename Put>
uint32_t WriteTable(ImageWriter& w, size_t count, uint32_t width, const Put& put) {
  const uint32_t n = static_cast<uint32_t>(count);
  const uint32_t table = w.Allocate(4 + width * n);
  w.Put(table, Int32, n);
  for (uint32_t i = 0; i < n; ++i) put(table + 4 + width * i, i);
  return table;
}

// A table {count; (first, second) word pairs}; answers its offset.
uint32_t WritePairs(ImageWriter& w, const std::vector<std::pair<uint32_t, uint32_t>>& pairs) {
  return WriteTable(w, pairs.size(), 8, [&](uint32_t at, uint32_t i) {
    w.Put(at, Int32, pairs[i].first);
    w.Put(at + 4, Int32, pairs[i].second);
  });
}

uint32_t Block11Entry(ImageWriter& w, uint32_t n) {
  if (n < 1 || n > kBlock11Entries) w.Fail("block 11 entry " + std::to_string(n) + " outside 1..12");
  return Block11EntryByte(n);
}

// A pointer field to a label or a raw offset.
void PutRef(ImageWriter& w, uint32_t at, const Ref& ref) {
  if (ref.label.empty())
    w.PutRef(at, ref.offset);
  else
    w.PutRef(at, ref.label, ref.offset);
}

void WriteFields(ImageWriter& w, uint32_t base, const std::vector<Field>& fields) {
  for (const Field& f : fields) {
    const uint32_t at = base + f.at;
    switch (f.type) {
      case Field::Type::Bytes: w.PutBytes(at, f.bytes); break;
      case Field::Type::Ref: PutRef(w, at, f.ref); break;
      default: w.Put(at, f.Kind(), f.bits);
    }
  }
}

uint32_t WriteDefaultMap(ImageWriter& w, const std::vector<MapGroup>& groups) {
  return WriteTable(w, groups.size(), 8, [&](uint32_t at, uint32_t g) {
    w.Put(at, Int32, groups[g].key);
    w.PutRef(at + 4, groups[g].nullTable ? 0 : WritePairs(w, groups[g].entries));
  });
}

uint32_t WriteLists(ImageWriter& w, const std::vector<std::optional<ValueList>>& lists) {
  return WriteTable(w, lists.size(), 4, [&](uint32_t place, uint32_t i) {
    if (!lists[i]) return w.PutRef(place, 0);
    const ValueList& l = *lists[i];
    uint32_t words = 0;
    for (const auto& e : l.entries) words += static_cast<uint32_t>(e.size());
    const uint32_t list = w.Allocate(kListEntriesByte + 4 * words);
    w.Put(list + kListKindByte, Int16, l.kind);
    w.Put(list + kListCountByte, Int16, l.count.value_or(static_cast<uint16_t>(l.entries.size())));
    uint32_t at = list + kListEntriesByte;
    for (const auto& e : l.entries)
      for (uint32_t v : e) {
        w.Put(at, Int32, v);
        at += 4;
      }
    w.PutRef(place, list);
  });
}

uint32_t WriteRuntimeSettings(ImageWriter& w, const RuntimeSettings& s) {
  const uint32_t block = w.Allocate(kRuntimeSettingsSize);
  w.Put(block + kRuntimeFlagsByte, Int32, s.flags);
  w.Put(block + kRuntimeWord1Byte, Int32, s.word1);
  w.Put(block + kRuntimeWord2Byte, Int32, s.word2);
  uint32_t byte = 0;
  if (s.byte) {
    byte = w.Allocate(4);
    w.Put(byte, Opaque, *s.byte);
  }
  w.PutRef(block + kRuntimeByteRefByte, byte);
  uint32_t t16 = 0;
  if (s.table16) {
    t16 = WriteTable(w, s.table16->size(), 8, [&](uint32_t at, uint32_t i) {
      const auto& [number, name] = (*s.table16)[i];
      if (name.size() > 4) w.Fail("table 16 name \"" + name + "\" longer than 4 bytes");
      w.Put(at, Int32, number);
      w.PutBytes(at + 4, std::span(reinterpret_cast<const uint8_t*>(name.data()), name.size()));
    });
  }
  w.PutRef(block + kRuntimeTable16Byte, t16);
  uint32_t t20 = 0;
  if (s.table20) {
    t20 = w.Allocate(4 * static_cast<uint32_t>(s.table20->size()));
    for (size_t i = 0; i < s.table20->size(); ++i) w.Put(t20 + 4 * static_cast<uint32_t>(i), Int32, (*s.table20)[i]);
  }
  w.PutRef(block + kRuntimeTable20Byte, t20);
  return block;
}

uint32_t WriteBlock11(ImageWriter& w, const Block11& b) {
  const uint32_t block = w.Allocate(kBlock11Size);
  for (uint32_t word = 0; word < 5; ++word) w.Put(block + 4 * word, Int32, 0);
  uint32_t highest = 0;
  for (uint32_t n = 1; n <= kBlock11Entries; ++n) w.PutRef(block + Block11Entry(w, n), 0);
  for (const auto& [n, ref] : b.entries) {
    PutRef(w, block + Block11Entry(w, n), ref);
    highest = std::max(highest, n);
  }
  for (const auto& [n, items] : b.lists) {
    const uint32_t at = block + Block11Entry(w, n);
    w.PutRef(at, WriteTable(w, items.size(), 4, [&](uint32_t place, uint32_t i) { PutRef(w, place, items[i]); }));
    highest = std::max(highest, n);
  }
  w.Put(block + kBlock11HighestByte, Int32, b.highest.value_or(highest));
  return block;
}

uint32_t WriteFonts(ImageWriter& w, const std::vector<FontRecord>& fonts) {
  return WriteTable(w, fonts.size(), 4, [&](uint32_t place, uint32_t i) {
    const FontRecord& font = fonts[i];
    const uint32_t rec = w.Allocate(kFontRecordSize);
    w.Put(rec + kFontByte0, Opaque, font.byte0);
    w.Put(rec + kFontStyleByte, Opaque, static_cast<uint8_t>(font.flags | (font.bold ? 1 : 0) | (font.italic ? 2 : 0)));
    w.Put(rec + kFontSizeByte, Int16, font.size);
    uint32_t face = 0;
    if (font.face) {
      face = w.Allocate(kFaceDataByte + static_cast<uint32_t>(font.faceData.size()));
      w.Put(face, Int32, 0);
      w.PutBytes(face + kFaceNameByte, std::span(reinterpret_cast<const uint8_t*>(font.face->data()), font.face->size()));
      w.PutBytes(face + kFaceDataByte, font.faceData);
    }
    w.PutRef(rec + kFontFaceByte, face);
    w.PutRef(place, rec);
  });
}

}  // namespace

uint32_t Field::Width() const {
  switch (type) {
    case Type::Bytes: return static_cast<uint32_t>(bytes.size());
    case Type::Ref: return 4;
    default: return KindWidth(Kind());
  }
}

std::optional<Colour> ParseColour(const std::string& text) {
  if ((text.size() != 7 && text.size() != 9) || text[0] != '#') return std::nullopt;
  uint32_t v = 0;
  const char* end = text.data() + text.size();
  if (std::from_chars(text.data() + 1, end, v, 16).ptr != end) return std::nullopt;
  if (text.size() == 7) v |= 0xFF000000u;
  return ColourFromArgb(v);
}

Colour ColourFromArgb(uint32_t argb) {
  return {static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8),
          static_cast<uint8_t>(argb), static_cast<uint8_t>(argb >> 24)};
}

ObjectId ProjectBuilder::AddObject(Object object) {
  auto& indexes = byType_[object.type];
  uint32_t index;
  if (object.index) {
    index = *object.index;
    if (indexes.count(index))
      Fail("object of type " + std::to_string(object.type) + " with index " + std::to_string(index) +
           " defined twice");
  } else {
    index = indexes.empty() ? 0 : indexes.rbegin()->first + 1;
  }
  if (index > kIndexMask) Fail("object index " + std::to_string(index) + " above 24 bits");
  object.index = index;
  const ObjectId id = objects_.size();
  if (!object.label.empty() && !objectLabels_.emplace(object.label, id).second)
    Fail("object label \"" + object.label + "\" defined twice");
  indexes[index] = id;
  objects_.push_back(std::move(object));
  return id;
}

uint32_t ProjectBuilder::ReferenceOf(ObjectId id) const {
  const Object& o = objects_.at(id);
  return static_cast<uint32_t>(o.type) << 24 | *o.index;
}

std::optional<ObjectId> ProjectBuilder::FindObject(const std::string& label) const {
  const auto it = objectLabels_.find(label);
  if (it == objectLabels_.end()) return std::nullopt;
  return it->second;
}

uint32_t ProjectBuilder::AddText(std::u16string text) {
  texts_.push_back(TextRow{std::move(text), {}});
  return TextCount() - 1;
}

uint32_t ProjectBuilder::AddTexts(std::vector<std::optional<std::u16string>> perLanguage) {
  return AddTexts(TextRow{std::nullopt, std::move(perLanguage)});
}

uint32_t ProjectBuilder::AddTexts(TextRow row) {
  texts_.push_back(std::move(row));
  return TextCount() - 1;
}

void ProjectBuilder::Fail(std::string message) {
  if (!error_) error_ = BuildError{std::move(message)};
}

uint32_t ProjectBuilder::AddFont(FontRecord font) {
  if (font.face && font.face->size() >= kFaceNameBytes)
    Fail("font face name \"" + *font.face + "\" longer than 31 bytes");
  fonts_.push_back(std::move(font));
  return static_cast<uint32_t>(fonts_.size() - 1);
}

void ProjectBuilder::AddBlock(Block block) {
  if (block.label.empty()) return Fail("block without a label");
  if (!blockLabels_.emplace(block.label, blocks_.size()).second)
    return Fail("block label \"" + block.label + "\" defined twice");
  blocks_.push_back(std::move(block));
}

std::string ProjectBuilder::NewLabel(const std::string& hint) {
  return "#" + hint + std::to_string(nextLabel_++);
}

std::string ProjectBuilder::AddStringBlock(std::u16string text, std::string label) {
  if (text.size() > 0xFFFF) Fail("text longer than 65535 units");
  if (label.empty()) label = NewLabel("string");
  Block b{label, 0, 2, {}};
  b.fields.push_back(Field::U16(0, static_cast<uint16_t>(text.size())));
  for (size_t i = 0; i < text.size(); ++i)
    b.fields.push_back(Field::U16(static_cast<uint32_t>(2 + 2 * i), static_cast<uint16_t>(text[i])));
  AddBlock(std::move(b));
  return label;
}

std::vector<Field> ProjectBuilder::GradientFields(uint32_t at, const Gradient& g) {
  // A block {u32 count; 4-byte entries}; answers a reference to it.
  const auto counted = [this](const char* hint, const auto& entries, const auto& field) {
    Block b{NewLabel(hint), 0, 4, {Field::U32(0, static_cast<uint32_t>(entries.size()))}};
    for (size_t i = 0; i < entries.size(); ++i) b.fields.push_back(field(static_cast<uint32_t>(4 + 4 * i), entries[i]));
    const Ref ref = Ref::To(b.label);
    AddBlock(std::move(b));
    return ref;
  };
  Ref positions, colours;
  if (g.positions) positions = counted("stops", *g.positions, Field::F32);
  if (g.colours)
    colours = counted("colours", *g.colours, [](uint32_t place, const Colour& c) { return Field::Bytes(place, {c.begin(), c.end()}); });
  const size_t count = g.colours ? g.colours->size() : 0;
  return {Field::U8(at, g.count.value_or(static_cast<uint8_t>(std::min<size_t>(count, 255)))),
          Field::U8(at + 1, g.orientation), Field::Pointer(at + 4, positions), Field::Pointer(at + 8, colours)};
}

Built<uint32_t> ProjectBuilder::RecordSize(uint8_t type) const {
  const auto explicitSize = given.recordSizes.find(type);
  uint64_t need = 8;
  const auto it = byType_.find(type);
  if (it != byType_.end())
    for (const auto& [index, id] : it->second)
      for (const Field& f : objects_[id].fields) need = std::max<uint64_t>(need, 4ull + f.at + f.Width());
  if (explicitSize != given.recordSizes.end()) {
    if (explicitSize->second < need)
      return Unexpected(BuildError{"record size " + std::to_string(explicitSize->second) + " of type " +
                                   std::to_string(type) + " does not cover its fields (" + std::to_string(need) +
                                   " bytes)"});
    return explicitSize->second;
  }
  const uint64_t rounded = (need + 3) / 4 * 4;
  if (rounded > UINT32_MAX) return Unexpected(BuildError{"size overflows"});
  return std::max(kDefaultRecordSize, static_cast<uint32_t>(rounded));
}

Built<uint64_t> ProjectBuilder::RecordTableBytes(uint8_t type) const {
  const auto it = byType_.find(type);
  const uint64_t count = it == byType_.end() || it->second.empty() ? 0 : it->second.rbegin()->first + 1ull;
  const auto size = RecordSize(type);
  if (!size) return Unexpected(size.Error());
  return 4 + count * *size;
}

std::vector<MapGroup> ProjectBuilder::DerivedObjectTextMap() const {
  std::vector<MapGroup> groups;
  for (const auto& [type, indexes] : byType_) {
    MapGroup group{type, {}, false};
    for (const auto& [index, id] : indexes)
      if (objects_[id].text) group.entries.emplace_back(ReferenceOf(id), *objects_[id].text);
    if (!group.entries.empty()) groups.push_back(std::move(group));
  }
  return groups;
}

uint32_t ProjectBuilder::WriteLanguages(ImageWriter& w) const {
  const uint32_t n = static_cast<uint32_t>(languages_.size());
  const uint32_t t = TextCount();
  uint32_t f = 0, s = 0;
  for (const Language& l : languages_) {
    f = std::max(f, static_cast<uint32_t>(l.fonts.size()));
    s = std::max(s, static_cast<uint32_t>(l.selectors.size()));
  }
  const uint32_t r = static_cast<uint32_t>(resources_.size());
  const uint32_t header = w.Allocate(kLanguagesByte + kLanguageEntrySize * n);
  const LanguageCounts& c = given.languageCounts;
  const uint32_t counts[] = {c.texts.value_or(t), c.resources.value_or(r), c.fonts.value_or(f),
                             c.selectors.value_or(s), c.languages.value_or(n)};
  for (uint32_t i = 0; i < std::size(counts); ++i) w.Put(header + 4 * i, Int32, counts[i]);  // from kTextCountByte on
  // An array of `count` entries of `width` bytes, `put` writing each at its
  // place; 0 when there are none.
  const auto array = [&w](uint32_t count, uint32_t width, const auto& put) {
    if (count == 0) return 0u;
    const uint32_t at = w.Allocate(width * count);
    for (uint32_t k = 0; k < count; ++k) put(at + width * k, k);
    return at;
  };
  for (uint32_t i = 0; i < n; ++i) {
    const Language& lang = languages_[i];
    const uint32_t at = header + kLanguagesByte + kLanguageEntrySize * i;
    w.Put(at, Int32, lang.id.value_or(i));

    w.PutRef(at + kTextArrayByte, array(t, 4, [&](uint32_t place, uint32_t k) {
      const TextRow& row = texts_[k];
      const std::optional<std::u16string>* text = &row.all;
      if (!row.all) {
        static const std::optional<std::u16string> kNone;
        text = i < row.perLanguage.size() ? &row.perLanguage[i] : &kNone;
      }
      w.PutRef(place, *text ? w.AddCountedString(**text) : 0);
    }));
    w.PutRef(at + kResourceArrayByte, array(r, 4, [&](uint32_t place, uint32_t k) {
      const auto& row = resources_[k];
      const std::optional<Resource>& res = row.size() == 1 ? row[0] : i < row.size() ? row[i] : std::nullopt;
      if (!res) return w.PutRef(place, 0);
      const uint32_t block = w.Allocate(4 + static_cast<uint32_t>(res->data.size()));
      w.Put(block, Int32, res->first);
      w.PutBytes(block + 4, res->data);
      w.PutRef(place, block);
    }));

    w.PutRef(at + kFontArrayByte, array(f, 4, [&](uint32_t place, uint32_t k) {
      if (k >= lang.fonts.size() || !lang.fonts[k]) return w.PutRef(place, 0);
      const uint32_t variants = w.Allocate(kFontVariantsSize);
      for (uint32_t v = 0; v < 4; ++v) w.Put(variants + 2 * v, Int16, (*lang.fonts[k])[v]);
      w.PutRef(place, variants);
    }));

    w.PutRef(at + kStyleArrayByte, array(s, 2, [&](uint32_t place, uint32_t k) {
      w.Put(place, Int16, k < lang.selectors.size() ? lang.selectors[k] : 0);
    }));
  }
  return header;
}

uint32_t ProjectBuilder::AddResource(std::vector<std::optional<Resource>> perLanguage) {
  resources_.push_back(std::move(perLanguage));
  return static_cast<uint32_t>(resources_.size() - 1);
}

std::vector<MapGroup> ProjectBuilder::DerivedSecondTextMap() const {
  std::map<uint8_t, MapGroup> groups;
  for (const auto& [id, text] : textEx_) {
    const uint8_t type = objects_[id].type;
    MapGroup& g = groups[type];
    g.key = type;
    g.entries.emplace_back(ReferenceOf(id), text);
  }
  std::vector<MapGroup> out;
  for (auto& [type, g] : groups) {
    std::sort(g.entries.begin(), g.entries.end());
    out.push_back(std::move(g));
  }
  return out;
}

void ProjectBuilder::WriteRecordTable(ImageWriter& w, uint8_t type) const {
  if (type >= given.headerTypes)
    return w.Fail("type " + std::to_string(type) + " beyond the header's " + std::to_string(given.headerTypes) +
                  " types");
  const auto recordSize = RecordSize(type);
  if (!recordSize) return w.Fail(recordSize.Error().message);
  const uint32_t size = *recordSize;
  const auto it = byType_.find(type);
  const uint32_t count = it == byType_.end() || it->second.empty() ? 0 : it->second.rbegin()->first + 1;
  const uint64_t bytes = 4 + static_cast<uint64_t>(count) * size;
  if (bytes > ImageWriter::kMaxSize)
    return w.Fail("the record table of type " + std::to_string(type) + " would take " + std::to_string(bytes) +
                  " bytes (limit " + std::to_string(ImageWriter::kMaxSize) + ")");
  const uint32_t table = w.Allocate(static_cast<uint32_t>(bytes));
  w.Put(table, Int32, count);
  w.Put(RecordSizeByte(type), Int32, size);
  w.PutRef(RecordTableByte(type), table);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t rec = table + 4 + i * size;
    w.PutRef(rec + kRecordLinksByte, 0);
    const auto found = it->second.find(i);
    if (found == it->second.end()) {
      w.Put(rec + kRecordOwnReferenceByte, Int32, static_cast<uint32_t>(type) << 24 | i);
      continue;
    }
    const Object& o = objects_[found->second];
    w.Put(rec + kRecordOwnReferenceByte, Int32, o.ownReference.value_or(ReferenceOf(found->second)));
    WriteFields(w, rec + kRecordOwnReferenceByte, o.fields);
    if (!o.links.empty() || o.emptyLinkList) w.PutRef(rec + kRecordLinksByte, WriteLinks(w, o.links));
  }
}

uint32_t ProjectBuilder::WriteLinks(ImageWriter& w, const std::vector<Link>& links) const {
  return WriteTable(w, links.size(), kLinkEntrySize, [&](uint32_t at, uint32_t k) {
    const Link& l = links[k];
    const uint8_t head[] = {l.kind, l.present, l.slot, l.spare};  // from kLinkKindByte on
    w.PutBytes(at, head);
    const std::optional<ObjectId> target = l.object.empty() ? std::nullopt : FindObject(l.object);
    if (!l.object.empty() && !target) w.Fail("unknown object label \"" + l.object + "\"");
    w.Put(at + kLinkTargetByte, Int32, target ? ReferenceOf(*target) : l.target);
  });
}

// The parts the header refers to, each when the project has it.
void ProjectBuilder::WriteHeaderParts(ImageWriter& w) const {
  const auto refer = [&w](uint32_t word, uint32_t target) { w.PutRef(4 * word, target); };
  if (!languages_.empty() || given.languageCounts.languages) refer(kLanguageHeader, WriteLanguages(w));
  if (!fonts_.empty()) refer(kFontTable, WriteFonts(w, fonts_));
  const std::vector<MapGroup> textMap = given.objectTextMap ? *given.objectTextMap : DerivedObjectTextMap();
  if (given.objectTextMap || !textMap.empty()) refer(kObjectTextMap, WriteDefaultMap(w, textMap));
  const std::vector<MapGroup> secondMap = given.secondTextMap ? *given.secondTextMap : DerivedSecondTextMap();
  if (given.secondTextMap || !secondMap.empty()) refer(kObjectTextMap2, WriteDefaultMap(w, secondMap));
  if (given.listDefaultMap) refer(kListDefaultMap, WriteDefaultMap(w, *given.listDefaultMap));
  if (given.textLists) refer(kTextLists, WriteLists(w, *given.textLists));
  if (given.resourceLists) refer(kResourceLists, WriteLists(w, *given.resourceLists));
  if (given.keyTable) refer(kKeyTable, WritePairs(w, *given.keyTable));
  if (given.projectSettings) {
    const ProjectSettings& p = *given.projectSettings;
    const uint32_t block = w.Allocate(std::max<uint32_t>(p.size, kProjectSettingsSize));
    w.Put(block + kProjectWord15Byte, Int32, p.word15);
    w.Put(block + kProjectWord19Byte, Int32, p.word19);
    w.Put(block + kProjectFlagByte, Opaque, static_cast<uint8_t>(p.byte23 | (p.flag ? 1 : 0)));
    refer(kProjectSettings, block);
  }
  if (given.runtimeSettings) refer(kRuntimeSettings, WriteRuntimeSettings(w, *given.runtimeSettings));
  if (given.block11) refer(kBlock11, WriteBlock11(w, *given.block11));
}

Built<FinishedImage> ProjectBuilder::Build() const {
  if (error_) return Unexpected(*error_);
  ImageWriter w;
  const uint32_t headerWords = kTypePairsWord + 2 * given.headerTypes;
  w.Allocate(4 * headerWords);
  w.PutBytes(0, std::span(reinterpret_cast<const uint8_t*>(kImageMagic), kImageMagicLength));
  for (uint32_t word = 3; word < headerWords; ++word) w.Put(4 * word, Int32, 0);
  for (uint32_t word : kReferenceWords) w.PutRef(4 * word, 0);  // none until set below

  std::set<uint8_t> tables(given.emptyTables.begin(), given.emptyTables.end());
  for (const auto& [type, indexes] : byType_)
    if (!indexes.empty()) tables.insert(type);
  for (uint32_t t = 0; t < given.headerTypes; ++t) w.PutRef(RecordTableByte(t), 0);
  for (uint8_t type : tables) WriteRecordTable(w, type);

  for (const Block& b : blocks_) {
    uint64_t size = b.size;
    for (const Field& f : b.fields) size = std::max<uint64_t>(size, static_cast<uint64_t>(f.at) + f.Width());
    if (size > UINT32_MAX) w.Fail("block \"" + b.label + "\" too large");
    const uint32_t at = w.Allocate(static_cast<uint32_t>(size), b.align);
    w.SetLabel(b.label, at);
    WriteFields(w, at, b.fields);
  }
  WriteHeaderParts(w);

  for (const auto& [word, ref] : given.headerRefs) {
    if (word >= headerWords) w.Fail("header word " + std::to_string(word) + " beyond the header");
    PutRef(w, 4 * word, ref);
  }
  for (const auto& [word, value] : given.headerValues) {
    if (word >= headerWords) w.Fail("header word " + std::to_string(word) + " beyond the header");
    w.Put(4 * word, Int32, value);
  }
  return w.Finish();
}

}  // namespace prt::builder
