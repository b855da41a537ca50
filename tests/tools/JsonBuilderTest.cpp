// Descriptions in JSON: the error messages, the limits and the format
// document.
#include "tools/builder/JsonBuilder.h"

#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "tools/builder/JsonInput.h"

#include "platform/Limits.h"

namespace prt {
namespace {

using builder::BuildFromJsonText;

// The message as prt-build prints it after the file name; "built" when there is none.
std::string Message(const builder::Built<builder::BuiltFiles>& built) {
  if (built) return "built";
  const builder::BuildError& e = built.Error();
  return e.line ? std::to_string(e.line) + ":" + std::to_string(e.column) + ": " + e.message : e.message;
}

// A bad description, or numbers that decide an allocation, a loop or a
// recursion beyond the limits, are refused with the place and the problem
// (and the limit) before anything large is allocated.
TEST(JsonBuilderTest, BadDescriptionsNameThePlaceAndTheProblem) {
  std::string deepChildren = R"({"screens": [)";
  for (int i = 0; i < 50000; ++i) deepChildren += R"({"type": "container", "children": [)";
  for (int i = 0; i < 50000; ++i) deepChildren += "]}";
  deepChildren += "]}";
  std::string manyValues = "[0";
  for (size_t i = 0; i < limits::kDescriptionValues; ++i) manyValues += ",0";
  const struct { std::string json; const char* message; } cases[] = {
      {"{\"screens\": [\n  {\"type\": \"page\"},\n]}",
       "3:1: syntax error while parsing value - unexpected ']'; expected '[', '{', or a literal"},
      {R"({"screen": []})", "description: unknown key \"screen\"; did you mean \"screens\"?"},
      {R"({"screens": [{"type": "pgae"}]})", "screens[0].type: unknown type \"pgae\"; did you mean \"page\"?"},
      {R"({"zzzzzzz": 1})", "description: unknown key \"zzzzzzz\""},
      {R"({"screens": [{"type": "page", "children": [{"type": "button", "children": [{"type": "button"}]}]}]})",
       "screens[0].children[0].children: a button holds no children (only pages, templates, report pages, popups "
       "and containers do)"},
      {R"({"screens": [{"type": "page", "text": ["a", "b", "c"]}]})", "screens[0].text: 3 texts for 1 language"},
      {R"({"languages": [{}, {}], "texts": [["a", null, "c"]]})", "texts[0]: 3 texts for 2 languages"},
      {R"({"screens": [{"type": "page", "w": "wide"}]})", "screens[0].w: expected an integer, got \"wide\""},
      {R"({"screens": [{"type": "page", "x": 4294967296}]})", "screens[0].x: value 4294967296 out of range"},
      {R"({"screens": [{"type": "page", "background": "#12345"}]})",
       "screens[0].background: expected a colour \"#aarrggbb\" or \"#rrggbb\""},
      {R"({"screens": [{"type": "page", "index": 0}, {"type": "page", "index": 0}]})",
       "screens[1].index: object of type 1 with index 0 is defined twice; first at screens[0].index"},
      {R"({"screens": [{"type": "page", "label": "a"}, {"type": "popup", "label": "a"}]})",
       "screens[1].label: label \"a\" is defined twice; first at screens[0].label"},
      {R"({"screens": [{"type": "template", "label": "frame"}, {"type": "page", "template": "fram"}]})",
       "screens[1].template: no object has the label \"fram\"; did you mean \"frame\"?"},
      {R"({"blocks": [{"label": "b"}, {"label": "b"}]})", "blocks[1].label: label \"b\" is defined twice; first at blocks[0].label"},
      {R"({"blocks": [{"label": "names"}], "header": {"13": {"label": "nmaes"}}})",
       "header.13.label: no block has the label \"nmaes\"; did you mean \"names\"?"},
      {R"({"records": [{"type": 5, "fields": [{"at": 0, "u32": 1, "u16": 2}]}]})",
       "records[0].fields[0]: a field holds \"at\" and exactly one typed value"},
      {R"({"records": [{"type": 5, "size": 8, "fields": [{"at": 8, "u32": 1}]}]})",
       "record size 8 of type 5 does not cover its fields (16 bytes)"},
      {R"({"container": {"corrupt": "slightly"}})", "container.corrupt: unknown corruption \"slightly\""},
      {R"({"textLists": [{"kind": "range", "entries": [[1, 2]]}]})", "textLists[0].entries[0]: expected [upper, lower, result]"},
      {std::string(100000, '[') + std::string(100000, ']'), "1:257: nested deeper than 256 levels (limit 256)"},
      {"{\"a\":\n" + std::string(300, '{'), "2:256: nested deeper than 256 levels (limit 256)"},
      {deepChildren, "1:4459: nested deeper than 256 levels (limit 256)"},
      {R"({"t": "[[[[ \" {{{{"})", "description: unknown key \"t\""},  // brackets in strings do not nest
      {manyValues + "]", "description: more than 5000000 values (limit 5000000)"},
      {std::string(limits::kDescriptionBytes + 1, ' '), "description: larger than 67108864 bytes (limit 67108864)"},
      {R"({"records": [{"type": 5, "size": 4294967295}]})", "records[0].size: record size 4294967295 too large (limit 1048576)"},
      {R"({"records": [{"type": 5, "index": 3}, {"type": 5, "size": 1048576, "index": 200}]})",
       "records[1].index: the record table of type 5 would take 210763780 bytes (limit 134217728)"},
      {R"({"blocks": [{"label": "a", "size": 4000000000}]})", "blocks[0].size: block size 4000000000 too large (limit 134217728)"},
      {R"({"blocks": [{"label": "a", "fields": [{"at": "0xfffffffc", "u32": 1}]}]})",
       "blocks[0].fields[0].at: offset 4294967292 too large (limit 134217728)"},
      {R"({"synthetic": {"controls": 16777215}})", "synthetic.controls: 16777215 controls (limit 250000)"},
      {R"({"synthetic": {"pages": 16777215}})", "synthetic: 16777266 screens (limit 20000)"},
      {R"({"blocks": [{"label": "a", "size": 100000000}, {"label": "b", "size": 100000000}]})",
       "description: the image would take 200002132 bytes (limit 134217728)"},
  };
  for (const auto& c : cases) EXPECT_EQ(Message(BuildFromJsonText(c.json)), c.message);
  EXPECT_EQ(Message(builder::BuildFromJson(nlohmann::json{{"texts", {std::string("ok\xff")}}})), "texts[0]: invalid UTF-8");
  // Documents built in memory get the same depth limit.
  nlohmann::json deep = nlohmann::json::array();
  nlohmann::json* inner = &deep;
  for (int i = 0; i < 100000; ++i) inner = &inner->emplace_back(nlohmann::json::array());
  EXPECT_EQ(Message(builder::BuildFromJson({{"screens", std::move(deep)}})),
            "description: nested deeper than 256 levels (limit 256)");
  // Stored lengths and counts are only written, never allocated.
  EXPECT_EQ(Message(BuildFromJsonText(R"({"connection": [{"key": 1, "length": 4294967295}],
      "textLists": [{"count": 65535}], "container": {"sections": [{"type": 1, "length": 4294967295}]}})")), "built");
}

// docs/dataset-format.md has a table of keys for every structure of a
// description, in this order, each listing exactly the keys its mapping
// reads: no key undocumented, none documented that does not exist.
TEST(JsonBuilderTest, TheFormatDocumentListsEveryKeyOfEveryStructure) {
  using namespace builder;
  std::vector<std::string_view> fieldKeys{"at"};
  fieldKeys.insert(fieldKeys.end(), FieldValueKeys().begin(), FieldValueKeys().end());
  const std::vector<std::string_view> structures[] = {
      KeyList::Of<Description>(), KeyList::Of<ControlForm>(), KeyList::Of<LinkEntry>(), KeyList::Of<Link>(),
      KeyList::Of<Gradient>(), KeyList::Of<PopupTitle>(), KeyList::Of<TitleFont>(), KeyList::Of<NamedEntry>(),
      KeyList::Of<Language>(), KeyList::Of<FontRecord>(), KeyList::Of<LanguageFile>(), fieldKeys,
      KeyList::Of<LabelRef>(), KeyList::Of<BlockForm>(), KeyList::Of<MapGroup>(), KeyList::Of<ListDefaults>(),
      KeyList::Of<ValueList>(), KeyList::Of<ResourceRow>(), KeyList::Of<Resource>(), KeyList::Of<LanguageCounts>(),
      KeyList::Of<ProjectSettings>(), KeyList::Of<RuntimeSettings>(), KeyList::Of<Table20>(), KeyList::Of<Block11>(),
      KeyList::Of<SyntheticOptions>(), KeyList::Of<ContainerForm>(), KeyList::Of<PositionsForm>(),
      KeyList::Of<RawSection>(), KeyList::Of<LayoutInsert>(), KeyList::Of<ConnectionRecord>(),
      KeyList::Of<BytesOnly>()};
  // The `names` in the first column of each "| key | meaning |" table.
  std::vector<std::set<std::string>> tables;
  bool inTable = false;
  std::ifstream doc(PRT_SOURCE_DIR "/docs/dataset-format.md");
  for (std::string line; std::getline(doc, line);) {
    if (line == "| key | meaning |") tables.emplace_back();
    inTable = line.starts_with("|") && (inTable || line == "| key | meaning |");
    const std::string first = line.substr(0, line.find(" |", 1));
    for (size_t at = first.find('`'); inTable && at != std::string::npos; at = first.find('`', at + 1)) {
      const size_t end = first.find('`', at + 1);
      tables.back().insert(first.substr(at + 1, end - at - 1));
      at = end;
    }
  }
  ASSERT_EQ(tables.size(), std::size(structures));
  for (size_t i = 0; i < tables.size(); ++i)
    EXPECT_EQ(tables[i], std::set<std::string>(structures[i].begin(), structures[i].end())) << "table " << i;
}

}  // namespace
}  // namespace prt
