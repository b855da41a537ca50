#include "tools/builder/JsonBuilder.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "platform/Endian.h"
#include "platform/Limits.h"
#include "tools/builder/JsonInput.h"

namespace prt::builder {
namespace {

// "<value> <unit> (limit <limit>)".
std::string OverLimit(uint64_t value, const char* unit, uint64_t limit) {
  return std::to_string(value) + " " + unit + " (limit " + std::to_string(limit) + ")";
}

std::string TooDeep() {
  return "nested deeper than " + OverLimit(limits::kDescriptionDepth, "levels", limits::kDescriptionDepth);
}

std::vector<uint8_t> Le32(uint32_t v) {
  std::vector<uint8_t> bytes(4);
  platform::StoreLE32(bytes.data(), v);
  return bytes;
}

// ---- Laying the description out ----------------------------------------------
// In the order the builder numbers texts and places blocks: texts given
// elsewhere follow the rows of "texts" as screens, records and key texts
// come.

void AddBlock(ProjectBuilder& b, const BlockForm& form) {
  if (form.string) return static_cast<void>(b.AddStringBlock(*form.string, form.label));
  Block block{form.label, form.size, form.align, {}};
  if (form.bytes) block.fields.push_back(Field::Bytes(0, *form.bytes));
  block.fields.insert(block.fields.end(), form.fields.begin(), form.fields.end());
  b.AddBlock(std::move(block));
}

void AddObjects(ProjectBuilder& b, std::vector<ControlForm>& forms, bool standard) {
  for (ControlForm& form : forms) {
    form.standard = standard;
    AddNamedEntries(b, form);
    AddControl(b, form);
  }
}

std::vector<std::pair<uint32_t, uint32_t>> KeyTable(ProjectBuilder& b, std::vector<KeyText>& entries, bool sorted) {
  std::vector<std::pair<uint32_t, uint32_t>> table;
  for (KeyText& e : entries) table.emplace_back(e.key, e.text.text ? b.AddTexts(std::move(*e.text.text)) : e.text.number);
  if (sorted) std::ranges::stable_sort(table, {}, &std::pair<uint32_t, uint32_t>::first);
  return table;
}

void AddMapsAndLists(ProjectBuilder& b, Description& d) {
  ProjectBuilder::Given& given = b.given;
  if (d.objectTextMap) given.objectTextMap = std::move(d.objectTextMap);
  if (d.secondTextMap) given.secondTextMap = std::move(d.secondTextMap);
  if (d.listDefaultMap) given.listDefaultMap = std::move(d.listDefaultMap);
  if (d.listDefaults) {  // group 0 text lists, group 1 resource lists
    given.listDefaultMap.emplace();
    for (auto* entries : {&d.listDefaults->text, &d.listDefaults->resource})
      given.listDefaultMap->push_back(
          MapGroup{static_cast<uint32_t>(given.listDefaultMap->size()), entries->value_or(std::vector<std::pair<uint32_t, uint32_t>>{}), false});
  }
  if (d.textLists) given.textLists = std::move(d.textLists);
  if (d.resourceLists) given.resourceLists = std::move(d.resourceLists);
  for (ResourceRow& row : d.resources) b.AddResource(std::move(row.languages));
  if (d.keyTexts) given.keyTable = KeyTable(b, *d.keyTexts, true);
  if (d.keyTextsUnsorted) given.keyTable = KeyTable(b, *d.keyTextsUnsorted, false);
  given.languageCounts = d.languageCounts;
}

void AddSettings(ProjectBuilder& b, Description& d) {
  ProjectBuilder::Given& given = b.given;
  if (d.projectSettings) given.projectSettings = d.projectSettings;
  if (d.runtimeSettings) given.runtimeSettings = std::move(d.runtimeSettings);
  if (d.block11) given.block11 = std::move(d.block11);
  if (d.block13) {
    AddBlock(b, *d.block13);
    given.headerRefs[layout::kBlock13] = Ref::To(d.block13->label);
  }
  for (const HeaderWord& w : d.header) {
    if (w.value) given.headerValues[w.word] = *w.value;
    else given.headerRefs[w.word] = w.ref;
  }
}

Built<void> AddProject(ProjectBuilder& b, Description& d) {
  if (d.languages) {
    for (Language& l : *d.languages) b.AddLanguage(std::move(l));
  } else if (!d.synthetic) {
    b.AddLanguage(Language{1, {}, {}});
  }
  for (TextRow& row : d.texts) b.AddTexts(std::move(row));
  for (size_t i = 0; i < d.fonts.size(); ++i) {
    b.AddFont(std::move(d.fonts[i]));
    if (b.Error()) return Refuse("fonts[" + std::to_string(i) + "]: " + b.Error()->message);
  }
  for (const BlockForm& block : d.blocks) AddBlock(b, block);
  b.given.recordSizes = d.recordSizes;
  b.given.emptyTables = d.emptyTables;
  b.given.headerTypes = d.headerTypes;
  AddObjects(b, d.screens, true);
  AddObjects(b, d.records, false);
  if (d.synthetic) AddSyntheticProject(b, *d.synthetic);
  AddMapsAndLists(b, d);
  AddSettings(b, d);
  if (b.Error()) return Unexpected(*b.Error());
  return {};
}

std::optional<PositionList> Resolved(const std::optional<PositionsForm>& form,
                                     const std::map<std::string, uint32_t>& labels) {
  if (!form) return std::nullopt;
  PositionList list{form->word, {}};
  for (const Position& p : form->positions) list.positions.push_back(p.label.empty() ? p.value : labels.at(p.label));
  return list;
}

Built<ContainerOptions> Options(const Description& d, const FinishedImage& image, const JsonInput& in) {
  ContainerOptions o = d.container ? d.container->options : ContainerOptions{};
  if (d.name) {
    auto name = Utf16(*d.name);
    if (!name) return Refuse("name: invalid UTF-8");
    o.name = std::move(name);
  }
  if (!d.container) return o;
  if (d.container->name) o.name = d.container->name->name;
  if (auto known = in.CheckPositions(image.labels); !known) return Unexpected(known.Error());
  o.listA = Resolved(d.container->listA, image.labels);
  o.listB = Resolved(d.container->listB, image.labels);
  o.listC = Resolved(d.container->listC, image.labels);
  o.listD = Resolved(d.container->listD, image.labels);
  return o;
}

// Records {u32 key, u32 length, data}, little-endian; or the bytes given.
std::vector<uint8_t> ConnectionFile(const Connection& c) {
  if (c.bytes) return *c.bytes;
  std::vector<uint8_t> out;
  for (const ConnectionRecord& r : c.records) {
    for (uint32_t v : {r.key, r.length.value_or(static_cast<uint32_t>(r.data.size()))}) {
      const auto le = Le32(v);
      out.insert(out.end(), le.begin(), le.end());
    }
    out.insert(out.end(), r.data.begin(), r.data.end());
  }
  return out;
}

Built<BuiltFiles> Build(const nlohmann::json& root) {
  JsonInput in;
  auto description = in.Read(root);
  if (!description) return Unexpected(description.Error());
  ProjectBuilder b;
  if (auto added = AddProject(b, *description); !added) return Unexpected(added.Error());
  if (auto tables = in.CheckRecordTables(b); !tables) return Unexpected(tables.Error());
  if (auto labels = in.CheckLabelUses(b); !labels) return Unexpected(labels.Error());
  // Failures of the layout belong to the description as a whole.
  auto image = b.Build();
  if (!image) return Refuse("description: " + image.Error().message);
  const auto options = Options(*description, *image, in);
  if (!options) return Unexpected(options.Error());
  auto container = ContainerWriter::Write(*image, *options);
  if (!container) return Refuse("description: " + container.Error().message);
  BuiltFiles files{std::move(image->bytes), std::move(*container), std::nullopt, std::nullopt};
  if (const auto& file = description->languageFile) files.languageFile = file->index ? Le32(*file->index) : file->bytes;
  if (description->connection) files.connectionFile = ConnectionFile(*description->connection);
  return files;
}

// Nesting depth and number of values of a JSON text, checked before the
// parser builds a document of it. A malformed text is left to the parser,
// which names the place.
Built<void> CheckShape(std::string_view text) {
  if (text.size() > limits::kDescriptionBytes)
    return Refuse("description: larger than " + OverLimit(limits::kDescriptionBytes, "bytes", limits::kDescriptionBytes));
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
      if (++depth > limits::kDescriptionDepth) return Unexpected(BuildError{TooDeep(), line, column});
    } else if ((c == ']' || c == '}') && depth) {
      --depth;
    }
    if (values > limits::kDescriptionValues)
      return Refuse("description: more than " +
                    OverLimit(limits::kDescriptionValues, "values", limits::kDescriptionValues));
  }
  return {};
}

// The parser's message without its own prefix ("[json.exception...] parse
// error at line 3, column 5: "), and the place it names.
BuildError SyntaxError(const nlohmann::json::parse_error& e) {
  BuildError error;
  const std::string what = e.what();
  const size_t at = what.find(" at line ");
  if (at == std::string::npos ||
      std::sscanf(what.c_str() + at, " at line %zu, column %zu", &error.line, &error.column) != 2)
    error.line = error.column = 0;
  const size_t text = what.find(": ", at == std::string::npos ? 0 : at);
  error.message = text == std::string::npos ? what : what.substr(text + 2);
  return error;
}

}  // namespace

Built<BuiltFiles> BuildFromJson(const nlohmann::json& description) {
  // The reading walks some parts recursively; the text path has checked
  // this before parsing.
  std::vector<std::pair<const nlohmann::json*, size_t>> pending{{&description, 1}};
  while (!pending.empty()) {
    const auto [value, depth] = pending.back();
    pending.pop_back();
    if (depth > limits::kDescriptionDepth) return Refuse("description: " + TooDeep());
    if (value->is_structured())
      for (const nlohmann::json& child : *value) pending.emplace_back(&child, depth + 1);
  }
  try {
    return Build(description);
  } catch (const std::bad_alloc&) {  // the limits keep a description far below it
    return Refuse("description: out of memory");
  }
}

Built<BuiltFiles> BuildFromJsonText(std::string_view text) {
  if (auto shape = CheckShape(text); !shape) return Unexpected(shape.Error());
  nlohmann::json j;
  try {  // the parser's errors arrive as exceptions
    j = nlohmann::json::parse(text);
  } catch (const nlohmann::json::parse_error& e) {
    return Unexpected(SyntaxError(e));
  } catch (const std::bad_alloc&) {
    return Refuse("description: out of memory");
  }
  return BuildFromJson(j);
}

}  // namespace prt::builder
