// The image a description turns into, read back with the tool's checked
// image access: header, record tables, links, texts, fonts, text map.
#include <gtest/gtest.h>

#include "data/image/RuntimeImage.h"
#include "tests/support/Dataset.h"

namespace prt {
namespace {

// Table record i of type t (word 0 = link list reference).
ImageRef TableRecord(const RuntimeImage& img, uint8_t t, uint32_t i) {
  const ImageRef table = img.Root().Ref(88 + 8 * t);
  return table && i < table.U32(0) ? table.At(4 + i * img.Root().U32(84 + 8 * t)) : ImageRef();
}

std::u16string Text(ImageRef at) {
  std::u16string s;
  return at.ReadCountedString(s) ? s : u"<none>";
}

TEST(ProjectBuilderTest, HeaderMagicTablesAndOverrides) {
  const auto built = test::BuildDataset(R"({"screens": [{"type": "page"}, {"type": "page"}],
      "records": [{"type": 15, "index": 2}], "recordSizes": {"15": 40}, "blocks": [{"label": "b13", "size": 8}],
      "header": {"13": "b13", "11": {"ref": {"label": "b13", "plus": 4}}, "9": 77}})");
  const RuntimeImage img(built.image);
  const ImageRef root = img.Root();
  EXPECT_EQ(root.ReadCString(0).substr(0, 12), "Tr@NQ-RTData");
  EXPECT_EQ(root.U32(84 + 8 * 1), 72u);
  EXPECT_EQ(root.Ref(88 + 8 * 1).U32(0), 2u);
  EXPECT_EQ(root.U32(84 + 8 * 15), 40u);
  EXPECT_EQ(root.Ref(88 + 8 * 15).U32(0), 3u);  // gaps before index 2 are filled
  EXPECT_FALSE(root.Ref(88 + 8 * 29));           // no buttons: reference 0
  // Every record holds its own reference in word 1, fillers too.
  EXPECT_EQ(TableRecord(img, 1, 1).U32(4), 0x01000001u);
  EXPECT_EQ(TableRecord(img, 15, 0).U32(4), 0x0F000000u);
  EXPECT_EQ(TableRecord(img, 15, 2).U32(4), 0x0F000002u);
  EXPECT_EQ(root.U32(52), built.labels.at("b13"));
  EXPECT_EQ(root.U32(44), built.labels.at("b13") + 4);
  EXPECT_EQ(root.U32(36), 77u);
}

TEST(ProjectBuilderTest, ControlOffsetsAreTableOffsetsPlusFour) {
  const RuntimeImage img(test::ImageFromJson(R"({"screens": [{"type": "page", "children": [
      {"type": "ellipse", "x": -5, "y": 20, "w": 50, "h": 51, "flags": 48, "word8": 7, "subRecord": 9,
       "fields": [{"at": 64, "u16": 4660}]}]}]})"));
  const ImageRef rec = TableRecord(img, 40, 0).At(4);  // as the controls see it
  ASSERT_TRUE(rec);
  EXPECT_EQ(rec.U32(0), 40u << 24);
  EXPECT_EQ((std::vector{rec.I32(12), rec.I32(16), rec.I32(24), rec.I32(28)}), (std::vector{-5, 20, 50, 51}));
  EXPECT_EQ(rec.U32(32), 48u);
  EXPECT_EQ(rec.U32(8), 7u);
  EXPECT_EQ(rec.U8(55), 1u);  // ellipse
  EXPECT_EQ(rec.Ref(20).U32(16), 9u);
  EXPECT_EQ(rec.U16(64), 4660u);
}

TEST(ProjectBuilderTest, ChildrenAreLinkedInOrder) {
  const RuntimeImage img(test::ImageFromJson(R"({"screens": [
      {"type": "template", "label": "t"},
      {"type": "page", "template": "t", "children": [
        {"type": "button"},
        {"type": "container", "linked": false, "linkKind": 2, "linkSlot": 3, "children": [{"type": "button"}]},
        {"link": {"target": "t", "present": 0, "kind": 11}},
        {"type": "vector", "shape": "flowblock"}]}]})"));
  const ImageRef list = TableRecord(img, 1, 0).Ref(0);
  ASSERT_EQ(list.U32(0), 5u);
  const struct { uint8_t kind, present, slot; uint32_t target; } expect[] = {
      {0, 1, 0, 38u << 24}, {0, 1, 0, 29u << 24}, {2, 0, 3, 22u << 24}, {11, 0, 0, 38u << 24}, {0, 1, 0, 40u << 24}};
  for (uint32_t k = 0; k < 5; ++k) {
    const ImageRef e = list.At(4 + 8 * k);
    const auto& x = expect[k];
    EXPECT_EQ((std::vector{e.U8(0), e.U8(1), e.U8(2)}), (std::vector{x.kind, x.present, x.slot})) << k;
    EXPECT_EQ(e.U32(4), expect[k].target) << k;
  }
  // The container's child is the second button; the first button has no links.
  const ImageRef inner = TableRecord(img, 22, 0).Ref(0);
  ASSERT_EQ(inner.U32(0), 1u);
  EXPECT_EQ(inner.U32(8), (29u << 24) | 1);
  EXPECT_FALSE(TableRecord(img, 29, 0).Ref(0));
}

TEST(ProjectBuilderTest, TextsPerLanguageAndObjectTextMap) {
  const RuntimeImage img(test::ImageFromJson(R"({
      "languages": [{"id": 7}, {"id": 9}],
      "texts": ["both", ["en", null], null],
      "screens": [{"type": "page", "index": 3, "text": ["Start", "Anfang"],
                   "children": [{"type": "button", "text": "OK"}, {"type": "button"}]}]})"));
  const ImageRef lang = img.Root().Ref(24);
  EXPECT_EQ((std::vector{lang.U32(0), lang.U32(16), lang.U32(20), lang.U32(40)}),
            (std::vector<uint32_t>{5, 2, 7, 9}));  // T: three given, two object texts; N; the ids
  const ImageRef en = lang.Ref(24), de = lang.Ref(44);
  EXPECT_EQ((std::vector{Text(en.Ref(0)), Text(en.Ref(4)), Text(en.Ref(8)), Text(en.Ref(12)), Text(en.Ref(16))}),
            (std::vector<std::u16string>{u"both", u"en", u"<none>", u"Start", u"OK"}));
  EXPECT_EQ((std::vector{Text(de.Ref(0)), Text(de.Ref(4)), Text(de.Ref(12)), Text(de.Ref(16))}),
            (std::vector<std::u16string>{u"both", u"<none>", u"Anfang", u"OK"}));
  // DefaultMap: groups by type, identifiers are object references; the second button has no text.
  const ImageRef map = img.Root().Ref(56), pages = map.Ref(8), buttons = map.Ref(16);
  EXPECT_EQ((std::vector{map.U32(0), map.U32(4), pages.U32(0), pages.U32(4), pages.U32(8)}),
            (std::vector<uint32_t>{2, 1, 1, (1u << 24) | 3, 3}));
  EXPECT_EQ((std::vector{map.U32(12), buttons.U32(0), buttons.U32(4), buttons.U32(8)}),
            (std::vector<uint32_t>{29, 1, 29u << 24, 4}));
}

TEST(ProjectBuilderTest, FontsAndFontMaps) {
  const RuntimeImage img(test::ImageFromJson(R"({
      "languages": [{"fonts": [[0, 1, 1, 0], null], "selectors": [0, 6]}],
      "fonts": [{"face": "Sans", "size": 12, "italic": true}, {"face": null, "size": 9, "bold": true}]})"));
  const ImageRef lang = img.Root().Ref(24), table = img.Root().Ref(40);
  EXPECT_EQ((std::vector<uint32_t>{lang.U32(8), lang.U32(12), lang.Ref(32).Ref(0).U16(2), lang.Ref(36).U16(2)}),
            (std::vector<uint32_t>{2, 2, 1, 6}));  // F, S, variant 1 of font 0, selector 1
  EXPECT_FALSE(lang.Ref(32).Ref(4));
  ASSERT_EQ(table.U32(0), 2u);
  EXPECT_EQ((std::vector{table.Ref(4).U8(1), table.Ref(8).U8(1)}), (std::vector<uint8_t>{2, 1}));  // italic, bold
  EXPECT_EQ(table.Ref(4).U16(2), 12u);
  EXPECT_EQ(table.Ref(4).Ref(4).ReadCString(4), "Sans");
  EXPECT_FALSE(table.Ref(8).Ref(4));
}

}  // namespace
}  // namespace prt
