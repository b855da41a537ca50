// Descriptions in JSON: the parts beyond screens, and the error messages.
#include "tools/builder/JsonBuilder.h"

#include <gtest/gtest.h>

#include "data/image/RuntimeImage.h"
#include "data/image/TransferFileReader.h"
#include "tests/support/Dataset.h"

namespace prt {
namespace {

using builder::BuildFromJsonText;

TEST(JsonBuilderTest, BadDescriptionsNameThePlaceAndTheProblem) {
  const struct { const char* json; const char* message; } cases[] = {
      {R"({"screens": [)", "not valid JSON"},
      {R"({"screen": []})", "description: unknown key \"screen\""},
      {R"({"screens": [{"type": "page", "children": [{"type": "buton"}]}]})",
       "screens[0].children[0].type: unknown type \"buton\""},
      {R"({"screens": [{"x": 1}]})", "screens[0]: object without \"type\""},
      {R"({"screens": [{"type": "page", "w": "wide"}]})", "screens[0].w: expected an integer"},
      {R"({"screens": [{"type": "page", "x": 4294967296}]})", "screens[0].x: value 4294967296 out of range"},
      {R"({"screens": [{"type": 256}]})", "screens[0].type: value 256 out of range"},
      {R"({"screens": [{"type": "page", "background": "#12345"}]})", "screens[0].background: expected a colour"},
      {R"({"screens": [{"type": "page", "index": 0}, {"type": "page", "index": 0}]})", "defined twice"},
      {R"({"screens": [{"type": "page", "template": "nowhere"}]})", "unknown object label \"nowhere\""},
      {R"({"records": [{"type": 5, "fields": [{"at": 0, "ref": "nowhere"}]}]})", "unknown label \"nowhere\""},
      {R"({"records": [{"type": 5, "fields": [{"at": 0, "u32": 1, "u16": 2}]}]})",
       "records[0].fields[0]: a field holds \"at\" and exactly one typed value"},
      {R"({"records": [{"type": 5, "fields": [{"at": 0, "u24": 1}]}]})", "unknown field type \"u24\""},
      {R"({"records": [{"type": 5, "size": 8, "fields": [{"at": 8, "u32": 1}]}]})", "does not cover its fields"},
      {R"({"fonts": [{"face": "A font name that is far too long", "size": 1}]})", "fonts[0]: font face name"},
      {R"({"container": {"corrupt": "slightly"}})", "container.corrupt: unknown corruption \"slightly\""},
      {R"({"container": {"byteOrder": "middle"}})", "container.byteOrder: expected \"little\" or \"big\""},
      {R"({"block11": {"entries": {"13": null}}})", "block11.entries.13: value 13 out of range"},
      {R"({"runtimeSettings": {"table16": [[1, "TOOLONG"]]}})", "name longer than 4 bytes"},
      {R"({"textLists": [{"kind": "range", "entries": [[1, 2]]}]})", "expected [upper, lower, result]"},
  };
  for (const auto& c : cases) {
    const auto r = BuildFromJsonText(c.json);
    EXPECT_FALSE(r.ok) << c.json;
    EXPECT_NE(r.error.find(c.message), std::string::npos) << c.json << "\n  gave: " << r.error;
    EXPECT_TRUE(r.container.empty()) << c.json;
  }
  const auto r = builder::BuildFromJson(nlohmann::json{{"texts", {std::string("ok\xff")}}});
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "texts[0]: invalid UTF-8");
}

// Numbers that decide an allocation, a loop or a recursion are refused with
// the place and the limit, before anything large is allocated.
TEST(JsonBuilderTest, DescriptionsBeyondTheLimitsAreRefused) {
  std::string deepChildren = R"({"screens": [)";
  for (int i = 0; i < 50000; ++i) deepChildren += R"({"type": "container", "children": [)";
  for (int i = 0; i < 50000; ++i) deepChildren += "]}";
  deepChildren += "]}";
  std::string manyValues = "[0";
  for (size_t i = 0; i < builder::limits::kValues; ++i) manyValues += ",0";
  const struct { std::string json; const char* message; } cases[] = {
      {std::string(100000, '[') + std::string(100000, ']'), "line 1, column 257: nested deeper than 256 levels (limit 256)"},
      {"{\"a\":\n" + std::string(300, '{'), "line 2, column 256: nested deeper than 256 levels (limit 256)"},
      {deepChildren, "nested deeper than 256 levels (limit 256)"},
      {R"({"t": "[[[[ \" {{{{"})", "unknown key \"t\""},  // brackets in strings do not nest
      {manyValues + "]", "description: more than 5000000 values (limit 5000000)"},
      {std::string(builder::limits::kDescriptionBytes + 1, ' '), "description: larger than 67108864 bytes (limit 67108864)"},
      {R"({"records": [{"type": 5, "size": 4294967295}]})", "records[0].size: record size 4294967295 too large (limit 1048576)"},
      {R"({"recordSizes": {"7": -1}})", "recordSizes.7: record size 4294967295 too large (limit 1048576)"},
      {R"({"records": [{"type": 5, "index": 16777215}]})",
       "records[0].index: the record table of type 5 would take 1207959556 bytes (limit 134217728)"},
      {R"({"records": [{"type": 5, "index": 3}, {"type": 5, "size": 1048576, "index": 200}]})",
       "records[1].index: the record table of type 5 would take 210763780 bytes (limit 134217728)"},
      {R"({"blocks": [{"label": "a", "size": 4000000000}]})", "blocks[0].size: block size 4000000000 too large (limit 134217728)"},
      {R"({"blocks": [{"label": "a", "fields": [{"at": "0xfffffffc", "u32": 1}]}]})",
       "blocks[0].fields[0].at: offset 4294967292 too large (limit 134217728)"},
      {R"({"records": [{"type": 5, "fields": [{"at": 2000000, "u8": 1}]}]})",
       "records[0].fields[0].at: offset 2000000 too large (limit 1048576)"},
      {R"({"projectSettings": {"size": 200000000}})", "projectSettings.size: block size 200000000 too large (limit 134217728)"},
      {R"({"synthetic": {"controls": 16777215}})", "synthetic.controls: 16777215 controls (limit 250000)"},
      {R"({"synthetic": {"pages": 16777215}})", "synthetic: 16777266 screens (limit 20000)"},
      {R"({"synthetic": {"languages": 1000, "controls": 0}})", "synthetic.languages: 1000 languages (limit 4)"},
      {R"({"blocks": [{"label": "a", "size": 100000000}, {"label": "b", "size": 100000000}]})",
       "description: the image would take 200"},
  };
  for (const auto& c : cases) {
    const auto r = BuildFromJsonText(c.json);
    EXPECT_FALSE(r.ok) << c.message;
    EXPECT_NE(r.error.find(c.message), std::string::npos) << c.message << "\n  gave: " << r.error;
    EXPECT_TRUE(r.container.empty() && r.image.empty()) << c.message;
  }
  // Documents built in memory get the same depth limit.
  nlohmann::json deep = nlohmann::json::array();
  nlohmann::json* inner = &deep;
  for (int i = 0; i < 100000; ++i) inner = &inner->emplace_back(nlohmann::json::array());
  EXPECT_EQ(builder::BuildFromJson({{"screens", std::move(deep)}}).error,
            "description: nested deeper than 256 levels (limit 256)");
  // Stored lengths and counts are only written, never allocated.
  EXPECT_TRUE(BuildFromJsonText(R"({"connection": [{"key": 1, "length": 4294967295}],
      "textLists": [{"count": 65535}], "container": {"sections": [{"type": 1, "length": 4294967295}]}})").ok);
}

TEST(JsonBuilderTest, ContainerOptionsReachTheFile) {
  const auto built = test::BuildDataset(R"({"name": "plant", "header": {"13": "d"},
      "blocks": [{"label": "d", "fields": [{"at": 0, "f64": 3.25}]}],
      "container": {"byteOrder": "big", "mode": 2, "pointerBase": 2147483648, "nullValue": 12345,
      "headerBytes": [1, 2, 3, 4], "sections": [{"type": 9999, "bytes": [1, 2], "at": 0}],
      "listA": {"word": 7, "positions": [0, 4]}, "listC": ["d"], "layoutInserts": [{"at": 0, "kind": 7, "count": 9}],
      "trailing": [1, 2, 3]}})");
  const auto& f = built.container;
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 14, f.begin() + 24),
            (std::vector<uint8_t>{0xFE, 0xFF, 0, 0, 0, 2, 1, 2, 3, 4}));
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 28, f.begin() + 32), (std::vector<uint8_t>{0, 0, 0x27, 0x0F}));  // 9999
  EXPECT_EQ(std::vector<uint8_t>(f.end() - 3, f.end()), (std::vector<uint8_t>{1, 2, 3}));
  auto reader = TransferFileReader::LoadBytes(f);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->Name(), "plant");
  reader->AdjustByteOrder(ByteOrder::Little, 0);
  reader->Relocate(0, 0);
  EXPECT_TRUE(std::equal(built.image.begin(), built.image.end(), reader->Payload().begin()));
}

TEST(JsonBuilderTest, ListsDefaultsKeyTextsAndSecondTextMap) {
  const RuntimeImage img(test::ImageFromJson(R"({"languages": [{"id": 1}, {"id": 2}], "texts": ["t0"],
      "textLists": [{"kind": "bit", "entries": [[1, 40]]}, null,
                    {"kind": "range", "entries": [[10, 0, 3], [20, 11, 4]], "count": 9}],
      "resourceLists": [{"kind": "value", "entries": [[5, 17]]}],
      "listDefaults": {"text": [[0, 8]], "resource": [[0, 2]]},
      "keyTexts": [[30, 0], [10, "ten"], [20, ["zwanzig-en", "zwanzig"]]],
      "records": [{"type": 12, "index": 5, "textEx": "extra"}, {"type": 12, "index": 2, "textEx": 0}]})"));
  const ImageRef root = img.Root();
  const ImageRef lists = root.Ref(28);
  ASSERT_EQ(lists.U32(0), 3u);
  EXPECT_EQ(lists.Ref(4).U32(0), 0x00010001u);  // kind 1, count 1
  EXPECT_EQ(lists.Ref(4).U32(8), 40u);
  EXPECT_FALSE(lists.Ref(8));
  EXPECT_EQ(lists.Ref(12).U32(0), 0x00090003u);  // the stored count as given
  EXPECT_EQ(lists.Ref(12).U32(4 + 12), 20u);
  EXPECT_EQ(lists.Ref(12).U32(4 + 20), 4u);
  EXPECT_EQ(root.Ref(32).Ref(4).U32(4), 5u);
  const ImageRef defaults = root.Ref(68);
  EXPECT_EQ((std::vector{defaults.U32(0), defaults.U32(4), defaults.Ref(8).U32(8), defaults.U32(12),
                         defaults.Ref(16).U32(8)}),
            (std::vector<uint32_t>{2, 0, 8, 1, 2}));
  auto text = [&](uint32_t n, uint32_t l) {
    std::u16string s;
    return root.Ref(24).Ref(24 + 20 * l).Ref(4 * n).ReadCountedString(s) ? s : u"<none>";
  };
  const ImageRef keys = root.Ref(60);  // sorted by key
  EXPECT_EQ((std::vector{keys.U32(0), keys.U32(4), keys.U32(12), keys.U32(20), keys.U32(24)}),
            (std::vector<uint32_t>{3, 10, 20, 30, 0}));
  EXPECT_EQ(text(keys.U32(8), 0), u"ten");
  EXPECT_EQ(text(keys.U32(16), 1), u"zwanzig");
  const ImageRef group = root.Ref(64).Ref(8);  // one group, key 12, ordered by index
  EXPECT_EQ((std::vector{root.Ref(64).U32(4), group.U32(0), group.U32(4), group.U32(8), group.U32(12)}),
            (std::vector<uint32_t>{12, 2, (12u << 24) | 2, 0, (12u << 24) | 5}));
  EXPECT_EQ(text(group.U32(16), 1), u"extra");
}

TEST(JsonBuilderTest, SettingsBlocksAndBlock11) {
  const auto built = test::BuildDataset(R"({
      "blocks": [{"label": "a", "size": 4}, {"label": "b", "size": 4}],
      "projectSettings": {"word15": 305419896, "word19": 7, "flag": true},
      "runtimeSettings": {"flags": 1025, "word1": 11, "word2": 12, "byte": 200, "table16": [[3, "ABCD"], [4, "xy"]],
                          "table20": {"values": [100, 200], "trailer": [999]}},
      "block11": {"entries": {"1": "a", "2": ["a", "b", null], "12": "b"}}})");
  const RuntimeImage img(built.image);
  const ImageRef project = img.Root().Ref(72), rt = img.Root().Ref(76);
  EXPECT_EQ(project.U32(15), 305419896u);  // unaligned, packed
  EXPECT_EQ(project.U32(19), 7u);
  EXPECT_EQ(project.U8(23), 1u);
  EXPECT_EQ((std::vector{rt.U32(0), rt.U32(4), rt.U32(8), uint32_t{rt.Ref(12).U8(0)}}),
            (std::vector<uint32_t>{1025, 11, 12, 200}));
  const ImageRef t16 = rt.Ref(16), t20 = rt.Ref(20);
  EXPECT_EQ((std::vector{t16.U32(0), t16.U32(4), t16.U32(12)}), (std::vector<uint32_t>{2, 3, 4}));
  EXPECT_EQ(t16.ReadCString(8).substr(0, 4), "ABCD");
  EXPECT_EQ((std::vector{t20.U32(0), t20.U32(4), t20.U32(12), t20.U32(16)}),
            (std::vector<uint32_t>{2, 2, 200, 999}));  // first word: the value count; the trailer
  const ImageRef b11 = img.Root().Ref(44);
  EXPECT_EQ(b11.U32(16), 12u);  // highest entry given
  EXPECT_EQ(b11.U32(64), built.labels.at("a"));
  EXPECT_EQ(b11.U32(20), built.labels.at("b"));
  EXPECT_EQ((std::vector{b11.Ref(60).U32(0), b11.Ref(60).U32(8), b11.Ref(60).U32(12)}),
            (std::vector<uint32_t>{3, built.labels.at("b"), 0}));
  EXPECT_FALSE(b11.Ref(56));  // entry 3 absent
}

TEST(JsonBuilderTest, ResourcesLanguagesAndCompanionFiles) {
  const auto r = test::BuildDataset(R"({"languages": [{"id": 1}, {"id": 2}], "languageCounts": {"T": 9},
      "resources": ["abc", {"languages": [{"first": 0, "bytes": [1]}, null]}], "languageFile": 258,
      "connection": [{"key": 1, "data": [9, 8]}, {"key": 2, "data": "x", "length": 5}]})");
  const RuntimeImage img(r.image);
  const ImageRef lang = img.Root().Ref(24);
  EXPECT_EQ((std::vector{lang.U32(0), lang.U32(4), lang.U32(16)}), (std::vector<uint32_t>{9, 2, 2}));  // T, R, N
  const ImageRef res0 = lang.Ref(28), res1 = lang.Ref(48);
  EXPECT_EQ(res0.Ref(0).U32(0), 1u);
  EXPECT_EQ(res1.Ref(0).ReadCString(4).substr(0, 3), "abc");
  EXPECT_EQ(res0.Ref(4).U32(0), 0u);
  EXPECT_EQ(res0.Ref(4).U8(4), 1u);
  EXPECT_FALSE(res1.Ref(4));
  EXPECT_EQ(*r.languageFile, (std::vector<uint8_t>{2, 1, 0, 0}));
  EXPECT_EQ(*r.connectionFile, (std::vector<uint8_t>{1, 0, 0, 0, 2, 0, 0, 0, 9, 8, 2, 0, 0, 0, 5, 0, 0, 0, 'x'}));
  const auto none = test::BuildDataset(R"({"languages": []})");
  EXPECT_FALSE(none.languageFile || none.connectionFile);
  EXPECT_FALSE(RuntimeImage(none.image).Root().Ref(24));
  EXPECT_EQ(RuntimeImage(test::ImageFromJson("{}")).Root().Ref(24).U32(16), 1u);  // one language by default
}

}  // namespace
}  // namespace prt
