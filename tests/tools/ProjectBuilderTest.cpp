// The image a description turns into, read back with the tool's checked
// image access: header, record tables, links, texts, fonts, text map.
#include <gtest/gtest.h>

#include "data/image/RuntimeImage.h"
#include "tests/support/Dataset.h"
#include "tools/builder/ProjectBuilder.h"

namespace prt {
namespace {

// Table record i of type t (word 0 = link list reference).
ImageRef TableRecord(const RuntimeImage& img, uint8_t t, uint32_t i) {
  const ImageRef root = img.Root();
  const ImageRef table = root.Ref(88 + 8 * t);
  if (!table || i >= table.U32(0)) return {};
  return table.At(4 + i * root.U32(84 + 8 * t));
}

std::u16string Text(ImageRef at) {
  std::u16string s;
  EXPECT_TRUE(at.ReadCountedString(s));
  return s;
}

TEST(ProjectBuilderTest, HeaderMagicAndTables) {
  const RuntimeImage img(test::ImageFromJson(R"({"screens": [{"type": "page"}, {"type": "page"}],
      "records": [{"type": 15, "index": 2}], "recordSizes": {"15": 40}})"));
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
}

TEST(ProjectBuilderTest, ControlOffsetsAreTableOffsetsPlusFour) {
  const RuntimeImage img(test::ImageFromJson(R"({"screens": [{"type": "page", "children": [
      {"type": "ellipse", "x": -5, "y": 20, "w": 50, "h": 51, "flags": 48, "word8": 7, "subRecord": 9,
       "fields": [{"at": 64, "u16": 4660}]}]}]})"));
  const ImageRef rec = TableRecord(img, 40, 0).At(4);  // as the controls see it
  ASSERT_TRUE(rec);
  EXPECT_EQ(rec.U32(0), 40u << 24);
  EXPECT_EQ(rec.I32(12), -5);
  EXPECT_EQ(rec.I32(16), 20);
  EXPECT_EQ(rec.I32(24), 50);
  EXPECT_EQ(rec.I32(28), 51);
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
  ASSERT_TRUE(list);
  ASSERT_EQ(list.U32(0), 5u);
  struct Entry { uint8_t kind, present, slot; uint32_t target; };
  const Entry expect[] = {{0, 1, 0, 38u << 24},      {0, 1, 0, 29u << 24},
                          {2, 0, 3, 22u << 24},      {11, 0, 0, 38u << 24},
                          {0, 1, 0, 40u << 24}};
  for (uint32_t k = 0; k < 5; ++k) {
    const ImageRef e = list.At(4 + 8 * k);
    EXPECT_EQ(e.U8(0), expect[k].kind) << k;
    EXPECT_EQ(e.U8(1), expect[k].present) << k;
    EXPECT_EQ(e.U8(2), expect[k].slot) << k;
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
  ASSERT_TRUE(lang);
  EXPECT_EQ(lang.U32(0), 5u);  // T: three given, two object texts
  EXPECT_EQ(lang.U32(16), 2u);  // N
  EXPECT_EQ(lang.U32(20), 7u);
  EXPECT_EQ(lang.U32(40), 9u);
  const ImageRef en = lang.Ref(24), de = lang.Ref(44);
  EXPECT_EQ(Text(en.Ref(0)), u"both");
  EXPECT_EQ(Text(de.Ref(0)), u"both");
  EXPECT_EQ(Text(en.Ref(4)), u"en");
  EXPECT_FALSE(de.Ref(4));
  EXPECT_FALSE(en.Ref(8));
  EXPECT_EQ(Text(en.Ref(12)), u"Start");
  EXPECT_EQ(Text(de.Ref(12)), u"Anfang");
  EXPECT_EQ(Text(de.Ref(16)), u"OK");

  // DefaultMap: groups by type, identifiers are object references.
  const ImageRef map = img.Root().Ref(56);
  ASSERT_EQ(map.U32(0), 2u);
  EXPECT_EQ(map.U32(4), 1u);
  const ImageRef pages = map.Ref(8);
  ASSERT_EQ(pages.U32(0), 1u);
  EXPECT_EQ(pages.U32(4), (1u << 24) | 3);
  EXPECT_EQ(pages.U32(8), 3u);
  EXPECT_EQ(map.U32(12), 29u);
  const ImageRef buttons = map.Ref(16);
  ASSERT_EQ(buttons.U32(0), 1u);  // the second button has no text
  EXPECT_EQ(buttons.U32(4), 29u << 24);
  EXPECT_EQ(buttons.U32(8), 4u);
}

TEST(ProjectBuilderTest, FontsAndFontMaps) {
  const RuntimeImage img(test::ImageFromJson(R"({
      "languages": [{"fonts": [[0, 1, 1, 0], null], "selectors": [0, 6]}],
      "fonts": [{"face": "Sans", "size": 12, "italic": true}, {"face": null, "size": 9, "bold": true}]})"));
  const ImageRef lang = img.Root().Ref(24);
  EXPECT_EQ(lang.U32(8), 2u);   // F
  EXPECT_EQ(lang.U32(12), 2u);  // S
  const ImageRef fonts = lang.Ref(32);
  EXPECT_EQ(fonts.Ref(0).U16(2), 1u);
  EXPECT_FALSE(fonts.Ref(4));
  EXPECT_EQ(lang.Ref(36).U16(2), 6u);
  const ImageRef table = img.Root().Ref(40);
  ASSERT_EQ(table.U32(0), 2u);
  const ImageRef f0 = table.Ref(4), f1 = table.Ref(8);
  EXPECT_EQ(f0.U8(1), 2u);
  EXPECT_EQ(f0.U16(2), 12u);
  EXPECT_EQ(f0.Ref(4).ReadCString(4), "Sans");
  EXPECT_EQ(f1.U8(1), 1u);
  EXPECT_FALSE(f1.Ref(4));
}

TEST(ProjectBuilderTest, HeaderWordOverrides) {
  const auto built = test::BuildDataset(R"({"blocks": [{"label": "b13", "size": 8}],
      "header": {"13": "b13", "11": {"ref": {"label": "b13", "plus": 4}}, "9": 77, "14": 99999}})");
  const RuntimeImage img(built.image);
  EXPECT_EQ(img.Root().U32(52), built.labels.at("b13"));
  EXPECT_EQ(img.Root().U32(44), built.labels.at("b13") + 4);
  EXPECT_EQ(img.Root().U32(36), 77u);
  EXPECT_EQ(img.Root().U32(56), 99999u);  // a plain value: no container check applies
}

TEST(ProjectBuilderTest, RecordSizeTooSmallForFields) {
  builder::ProjectBuilder b;
  builder::Object o;
  o.type = 5;
  o.fields.push_back(builder::Field::U32(40, 1));  // table bytes 44..47
  b.AddObject(o);
  b.SetRecordSize(5, 44);
  EXPECT_THROW(b.Build(), builder::BuildError);
  b.SetRecordSize(5, 48);
  EXPECT_NO_THROW(b.Build());
}

}  // namespace
}  // namespace prt
