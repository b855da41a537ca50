// Descriptions in JSON: the parts beyond screens, and the error messages.
#include "tools/builder/JsonBuilder.h"

#include <gtest/gtest.h>

#include "data/image/RuntimeImage.h"
#include "tests/support/Dataset.h"

namespace prt {
namespace {

using builder::BuildFromJsonText;

TEST(JsonBuilderTest, BadDescriptionsNameThePlaceAndTheProblem) {
  struct Case {
    const char* json;
    const char* message;
  };
  const Case cases[] = {
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
  for (const Case& c : cases) {
    const auto r = BuildFromJsonText(c.json);
    EXPECT_FALSE(r.ok) << c.json;
    EXPECT_NE(r.error.find(c.message), std::string::npos) << c.json << "\n  gave: " << r.error;
    EXPECT_TRUE(r.container.empty()) << c.json;
  }
}

TEST(JsonBuilderTest, InvalidUtf8IsRefused) {
  const auto r = builder::BuildFromJson(nlohmann::json{{"texts", {std::string("ok\xff")}}});
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "texts[0]: invalid UTF-8");
}

TEST(JsonBuilderTest, TypeNames) {
  struct Case {
    const char* name;
    uint8_t type;
    int shape;
  };
  const Case cases[] = {{"page", 1, -1},        {"template", 38, -1},   {"reportpage", 53, -1},
                        {"popup", 71, -1},      {"button", 29, -1},     {"container", 22, -1},
                        {"trendview", 28, -1},  {"xytrend", 68, -1},    {"camview", 75, -1},
                        {"polyline", 40, 0},    {"ellipse", 40, 1},     {"flowblock", 40, 4},
                        {"recipereport", 55, -1}, {"systemview", 73, -1}};
  for (const Case& c : cases) {
    const auto t = builder::TypeFromName(c.name);
    ASSERT_TRUE(t) << c.name;
    EXPECT_EQ(t->type, c.type) << c.name;
    EXPECT_EQ(t->shape ? int(*t->shape) : -1, c.shape) << c.name;
  }
  EXPECT_FALSE(builder::TypeFromName("Button"));
}

TEST(JsonBuilderTest, ListsAndListDefaults) {
  const RuntimeImage img(test::ImageFromJson(R"({
      "textLists": [{"kind": "bit", "entries": [[1, 40]]}, null,
                    {"kind": "range", "entries": [[10, 0, 3], [20, 11, 4]], "count": 9}],
      "resourceLists": [{"kind": "value", "entries": [[5, 17]]}],
      "listDefaults": {"text": [[0, 8]], "resource": [[0, 2]]}})"));
  const ImageRef table = img.Root().Ref(28);
  ASSERT_EQ(table.U32(0), 3u);
  EXPECT_EQ(table.Ref(4).U16(0), 1u);
  EXPECT_EQ(table.Ref(4).U16(2), 1u);
  EXPECT_EQ(table.Ref(4).U32(8), 40u);
  EXPECT_FALSE(table.Ref(8));
  const ImageRef range = table.Ref(12);
  EXPECT_EQ(range.U16(0), 3u);
  EXPECT_EQ(range.U16(2), 9u);  // stored count as given
  EXPECT_EQ(range.U32(4 + 12), 20u);
  EXPECT_EQ(range.U32(4 + 20), 4u);
  EXPECT_EQ(img.Root().Ref(32).Ref(4).U32(4), 5u);
  const ImageRef defaults = img.Root().Ref(68);
  ASSERT_EQ(defaults.U32(0), 2u);
  EXPECT_EQ(defaults.U32(4), 0u);
  EXPECT_EQ(defaults.Ref(8).U32(8), 8u);
  EXPECT_EQ(defaults.U32(12), 1u);
  EXPECT_EQ(defaults.Ref(16).U32(8), 2u);
}

TEST(JsonBuilderTest, SettingsBlocksAndBlock11) {
  const auto built = test::BuildDataset(R"({
      "blocks": [{"label": "a", "size": 4}, {"label": "b", "size": 4}],
      "projectSettings": {"word15": 305419896, "word19": 7, "flag": true},
      "runtimeSettings": {"flags": 1025, "word1": 11, "word2": 12, "byte": 200,
                          "table16": [[3, "ABCD"], [4, "xy"]],
                          "table20": {"values": [100, 200], "trailer": [999]}},
      "block11": {"entries": {"1": "a", "2": ["a", "b", null], "12": "b"}}})");
  const RuntimeImage img(built.image);
  const ImageRef project = img.Root().Ref(72);
  EXPECT_EQ(project.U32(15), 305419896u);  // unaligned, packed
  EXPECT_EQ(project.U32(19), 7u);
  EXPECT_EQ(project.U8(23), 1u);
  const ImageRef rt = img.Root().Ref(76);
  EXPECT_EQ(rt.U32(0), 1025u);
  EXPECT_EQ(rt.U32(4), 11u);
  EXPECT_EQ(rt.U32(8), 12u);
  EXPECT_EQ(rt.Ref(12).U8(0), 200u);
  const ImageRef t16 = rt.Ref(16);
  ASSERT_EQ(t16.U32(0), 2u);
  EXPECT_EQ(t16.U32(4), 3u);
  EXPECT_EQ(t16.ReadCString(8).substr(0, 4), "ABCD");
  EXPECT_EQ(t16.ReadCString(16), "xy");
  const ImageRef t20 = rt.Ref(20);
  EXPECT_EQ(t20.U32(0), 2u);  // first word defaults to the value count
  EXPECT_EQ(t20.U32(4), 2u);
  EXPECT_EQ(t20.U32(12), 200u);
  EXPECT_EQ(t20.U32(4 * (t20.U32(0) + 2)), 999u);  // the trailer word
  const ImageRef b11 = img.Root().Ref(44);
  EXPECT_EQ(b11.U32(16), 12u);
  EXPECT_EQ(b11.U32(64), built.labels.at("a"));
  EXPECT_EQ(b11.U32(20), built.labels.at("b"));
  const ImageRef list = b11.Ref(60);
  ASSERT_EQ(list.U32(0), 3u);
  EXPECT_EQ(list.U32(8), built.labels.at("b"));
  EXPECT_EQ(list.U32(12), 0u);
  EXPECT_FALSE(b11.Ref(56));  // entry 3 absent
}

TEST(JsonBuilderTest, KeyTableResourcesAndSecondTextMap) {
  const RuntimeImage img(test::ImageFromJson(R"({
      "languages": [{"id": 1}, {"id": 2}],
      "texts": ["t0"],
      "keyTexts": [[30, 0], [10, "ten"], [20, ["zwanzig-en", "zwanzig"]]],
      "resources": ["abc", {"languages": [{"first": 0, "bytes": [1]}, null]}],
      "records": [{"type": 12, "index": 5, "textEx": "extra"}, {"type": 12, "index": 2, "textEx": 0}]})"));
  const ImageRef lang = img.Root().Ref(24);
  // Text n of language l.
  auto text = [&](uint32_t n, uint32_t l) {
    std::u16string s;
    const ImageRef at = lang.Ref(24 + 20 * l).Ref(4 * n);
    return at && at.ReadCountedString(s) ? s : u"<none>";
  };
  const ImageRef keys = img.Root().Ref(60);
  ASSERT_EQ(keys.U32(0), 3u);  // sorted by key
  EXPECT_EQ(keys.U32(4), 10u);
  EXPECT_EQ(text(keys.U32(8), 0), u"ten");
  EXPECT_EQ(keys.U32(12), 20u);
  EXPECT_EQ(text(keys.U32(16), 0), u"zwanzig-en");
  EXPECT_EQ(text(keys.U32(16), 1), u"zwanzig");
  EXPECT_EQ(keys.U32(20), 30u);
  EXPECT_EQ(keys.U32(24), 0u);
  EXPECT_EQ(lang.U32(4), 2u);  // R
  const ImageRef res0 = lang.Ref(28), res1 = lang.Ref(48);
  EXPECT_EQ(res0.Ref(0).U32(0), 1u);
  EXPECT_EQ(res0.Ref(0).ReadCString(4).substr(0, 3), "abc");
  EXPECT_EQ(res1.Ref(0).ReadCString(4).substr(0, 3), "abc");
  EXPECT_EQ(res0.Ref(4).U32(0), 0u);
  EXPECT_EQ(res0.Ref(4).U8(4), 1u);
  EXPECT_FALSE(res1.Ref(4));
  const ImageRef map = img.Root().Ref(64);
  ASSERT_EQ(map.U32(0), 1u);
  EXPECT_EQ(map.U32(4), 12u);
  const ImageRef group = map.Ref(8);
  ASSERT_EQ(group.U32(0), 2u);
  EXPECT_EQ(group.U32(4), (12u << 24) | 2);  // ordered by index
  EXPECT_EQ(group.U32(8), 0u);
  EXPECT_EQ(group.U32(12), (12u << 24) | 5);
  EXPECT_EQ(text(group.U32(16), 1), u"extra");
}

TEST(JsonBuilderTest, RecordWordsBytesAndNamedEntries) {
  const RuntimeImage img(test::ImageFromJson(R"({"records": [
      {"type": 15, "recordWords": {"5": 7, "6": 3}, "recordBytes": {"11": 12}},
      {"type": 1, "pageNumber": 42, "namedEntries": ["a", {"name": "bb", "fields": [{"at": 4, "u32": 9}]}]}]})"));
  const ImageRef t15 = img.Root().Ref(88 + 8 * 15).At(4);
  EXPECT_EQ(t15.U32(20), 7u);
  EXPECT_EQ(t15.U32(24), 3u);
  EXPECT_EQ(t15.U8(11), 12u);
  const ImageRef page = img.Root().Ref(88 + 8).At(4);
  EXPECT_EQ(page.U32(60), 42u);
  const ImageRef named = page.Ref(16);
  ASSERT_EQ(named.U32(0), 2u);
  std::u16string s;
  ASSERT_TRUE(named.Ref(28).ReadCountedString(s));
  EXPECT_EQ(s, u"bb");
  EXPECT_EQ(named.U32(32), 9u);
}

TEST(JsonBuilderTest, LanguageAndConnectionFiles) {
  const auto r = test::BuildDataset(R"({"languageFile": 258,
      "connection": [{"key": 1, "data": [9, 8]}, {"key": 2, "data": "x", "length": 5}]})");
  ASSERT_TRUE(r.languageFile);
  EXPECT_EQ(*r.languageFile, (std::vector<uint8_t>{2, 1, 0, 0}));
  ASSERT_TRUE(r.connectionFile);
  EXPECT_EQ(*r.connectionFile,
            (std::vector<uint8_t>{1, 0, 0, 0, 2, 0, 0, 0, 9, 8, 2, 0, 0, 0, 5, 0, 0, 0, 'x'}));
  const auto none = test::BuildDataset("{}");
  EXPECT_FALSE(none.languageFile);
  EXPECT_FALSE(none.connectionFile);
}

TEST(JsonBuilderTest, DefaultLanguageAndNone) {
  const RuntimeImage one(test::ImageFromJson(R"({"screens": [{"type": "page", "text": "P"}]})"));
  EXPECT_EQ(one.Root().Ref(24).U32(16), 1u);
  const RuntimeImage none(test::ImageFromJson(R"({"languages": []})"));
  EXPECT_FALSE(none.Root().Ref(24));
  const RuntimeImage counted(test::ImageFromJson(R"({"languages": [], "languageCounts": {"N": 3, "T": 9}})"));
  EXPECT_EQ(counted.Root().Ref(24).U32(16), 3u);
  EXPECT_EQ(counted.Root().Ref(24).U32(0), 9u);
}

TEST(JsonBuilderTest, PopupTitleAndGradients) {
  const RuntimeImage img(test::ImageFromJson(R"({"screens": [{"type": "popup",
      "background": {"count": 5, "orientation": 2, "positions": null, "colors": ["#80102030"]},
      "borderColor": "#ff808080", "borderWidth": 2, "borderRadius": 4,
      "title": {"icon": 17, "textId": 4294967295, "textColor": "#ff000000",
                "background": {"stops": [[0.5, "#ffffffff"], [0.5, "#ff000000"]]},
                "font": [3, 6], "height": 30, "closeButton": true}}]})"));
  const ImageRef rec = img.Root().Ref(88 + 8 * 71).At(8);
  EXPECT_EQ(rec.U8(36), 5u);
  EXPECT_EQ(rec.U8(37), 2u);
  EXPECT_FALSE(rec.Ref(40));
  EXPECT_EQ(rec.Ref(44).U32(0), 1u);
  EXPECT_EQ(rec.Ref(44).U32(4), 0x80302010u);  // bytes r, g, b, a
  EXPECT_EQ(rec.U32(52), 0xFF808080u);
  EXPECT_EQ(rec.U16(56), 2u);
  EXPECT_EQ(rec.U16(58), 4u);
  const ImageRef title = rec.Ref(60);
  ASSERT_TRUE(title);
  EXPECT_EQ(title.I32(0), 17);
  EXPECT_EQ(title.U32(4), 4294967295u);
  EXPECT_EQ(title.U32(8), 0xFF000000u);
  EXPECT_EQ(title.U8(12), 2u);
  EXPECT_EQ(title.Ref(16).U32(0), 2u);
  EXPECT_EQ(title.Ref(16).F32(4), 0.5f);
  EXPECT_EQ(title.Ref(20).U32(8), 0xFF000000u);
  EXPECT_EQ(title.U16(24), 3u);
  EXPECT_EQ(title.U16(26), 6u);
  EXPECT_EQ(title.U16(28), 30u);
  EXPECT_EQ(title.U8(30), 1u);

  const RuntimeImage bare(test::ImageFromJson(R"({"screens": [{"type": "popup"}]})"));
  const ImageRef b = bare.Root().Ref(88 + 8 * 71).At(8);
  EXPECT_FALSE(b.Ref(60));
  EXPECT_EQ(b.U8(36), 0u);
  EXPECT_EQ(b.U32(52), 0xFF000000u);
}

}  // namespace
}  // namespace prt
