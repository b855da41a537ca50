// Loading images; objects, links, object texts, pages and type-15 objects.
#include <gtest/gtest.h>

#include "tests/data/manager/RichDataset.h"

namespace prt {
namespace {

using test::Ref;
using test::TextOf;

using ObjectsTest = test::RichTest;

TEST_F(ObjectsTest, RecordsAndLinks) {
  EXPECT_EQ(dm.GetObjectCount(29), 3u);
  EXPECT_EQ(dm.GetObjectCount(30), 0u);
  EXPECT_EQ(dm.GetObjectCount(300), 0u);
  for (uint32_t ref : {Ref(1, 0), Ref(29, 2), Ref(15, 1)}) EXPECT_EQ(dm.GetObjectRecord(ref).U32(0), ref);
  for (uint32_t ref : {Ref(29, 3), Ref(30, 0), Ref(29, 0xFFFFFF)}) EXPECT_FALSE(dm.GetObjectRecord(ref));
  const uint32_t page = Ref(1, 0);
  EXPECT_EQ(dm.GetObjectLinkCount(page), 3u);
  EXPECT_EQ(dm.GetObjectLink(page, 0).U32(4), Ref(29, 0));
  EXPECT_EQ(dm.GetObjectLink(page, 1).U8(2), 1);  // slot
  EXPECT_EQ(dm.GetObjectLink(page, 2).U8(1), 0);  // present
  EXPECT_FALSE(dm.GetObjectLink(page, 3));
  EXPECT_FALSE(dm.GetObjectLink(Ref(29, 0), 0));  // link word 0
  EXPECT_EQ(dm.GetObjectLinkCount(Ref(29, 0)), 0u);

  for (std::string bad : {"Tr@NQ-RTDatb", "Tr@NQ-RTDat", "tr@NQ-RTData", "Tr@NQ-RTData"}) {
    EXPECT_EQ(dm.AdoptImage({bad.begin(), bad.end()}), bad == "Tr@NQ-RTData") << bad;
    EXPECT_EQ(dm.GetObjectCount(29), 0u);  // a failed load drops the previous image too
  }
  dm.Uninitialize();
  EXPECT_FALSE(dm.IsInitialized());
}

TEST_F(ObjectsTest, FindObjectLinkTakesCompatibleKinds) {
  // Page 0 links {kind 2, slot 0}, {11, 1}, {0, 2}; page 1 links {6, 0}, {5, 0}.
  const struct { uint32_t page; uint8_t kind, slot; int entry; } cases[] = {  // entry -1: none
      {0, 2, 0, 0},   {0, 24, 0, 0},  {0, 23, 0, 0},  {0, 14, 0, 0}, {0, 16, 0, 0},  {0, 4, 0, 0},
      {0, 3, 0, 0},   {0, 22, 0, 0},  {0, 9, 0, 0},   {0, 26, 0, 0}, {0, 28, 0, 0},  {0, 7, 0, -1},
      {0, 11, 0, -1}, {0, 27, 0, -1}, {0, 24, 1, 1},  {0, 16, 1, 1}, {0, 14, 1, -1}, {0, 11, 1, 1},
      {0, 2, 1, -1},  {0, 99, 2, 2},  {0, 0, 2, 2},   {0, 2, 3, -1}, {1, 7, 0, 0},   {1, 6, 0, 0},
      {1, 27, 0, 1},  {1, 5, 0, 1},   {1, 24, 0, -1}, {1, 7, 1, -1},
  };
  for (const auto& c : cases) {
    const ImageRef found = dm.FindObjectLink(Ref(1, c.page), c.kind, c.slot);
    const ImageRef expected = c.entry < 0 ? ImageRef() : dm.GetObjectLink(Ref(1, c.page), c.entry);
    EXPECT_EQ(found, expected) << c.page << ": " << int(c.kind) << "/" << int(c.slot);
  }
}

TEST_F(ObjectsTest, PagesAndType15Objects) {
  uint32_t ref = 99;
  EXPECT_EQ(*dm.GetObjectReferenceAt(&ref, 29, 2), Ref(29, 2));
  EXPECT_EQ(*dm.GetObjectReferenceAt(&ref, 29, 3), 0u);
  for (auto [number, page] : {std::pair{100u, Ref(1, 0)}, {200u, Ref(1, 1)}, {300u, 0u}})
    EXPECT_EQ(*dm.FindPageByNumber(&ref, number), page) << number;
  EXPECT_EQ(std::pair(dm.GetPageNumber(Ref(1, 1)), dm.GetPageNumber(Ref(1, 2))), std::pair(200u, 0u));

  EXPECT_EQ(*dm.GetCurrentPageReference(), Ref(1, 0));
  EXPECT_EQ(dm.SelectPage(200, 0, -1, false), Ref(1, 1));
  EXPECT_EQ(*dm.GetCurrentPageReference(), Ref(1, 1));
  EXPECT_EQ(dm.SelectPage(555, 0, -1, false), Ref(1, 0));  // unknown number: index 0
  EXPECT_EQ(dm.SelectPage(200, 0, 1, false), 1u);          // SetLanguage's answer
  EXPECT_EQ(dm.GetCurrentLanguageIndex(), 1u);

  const struct { uint32_t number; uint8_t byte; uint32_t reference; } type15[] = {  // repeats: from the cache
      {100, 12, Ref(15, 0)}, {100, 3, Ref(15, 1)}, {200, 12, Ref(15, 2)}, {200, 3, 0},
      {100, 12, Ref(15, 0)}, {300, 12, 0},         {200, 3, 0}};
  for (const auto& c : type15) {
    uint32_t out = 1;
    EXPECT_EQ(dm.FindType15Reference(&out, c.number, c.byte), c.reference);
    EXPECT_EQ(out, c.reference);
  }
  ASSERT_TRUE(dm.SetLanguage(0, false));
  EXPECT_EQ(TextOf(dm.GetType15Text(100)), u"Pump");
  EXPECT_EQ(TextOf(dm.GetType15Text(200)), u"<none>");  // text 3 has reference 0
  dm.Uninitialize();
  EXPECT_EQ(*dm.GetCurrentPageReference(), 0u);
}

TEST(ObjectTextTest, BorrowedTextOrPlaceholder) {
  CPRDataManager dm;
  ASSERT_TRUE(dm.AdoptImage(test::ImageFromJson(R"({"languages": [{"id": 1}, {"id": 2}],
      "texts": [["Start", "Beginn"], [null, "Ende"]],
      "objectTextMap": [{"key": 29, "entries": [["0x5A000004", 0], [7, 1]]}, {"key": 12}]})")));
  const struct { uint32_t reference; bool placeholder; std::u16string text; } cases[] = {
      {Ref(29, 4), false, u"Start"},  // the identifier's top byte is not compared
      {Ref(29, 7), true, u"29#7"},    // text reference 0 is no text
      {Ref(12, 5), true, u"12#5"},
      {Ref(29, 5), true, u"29#5"},
      {0xFFFFFFFF, true, u"255#16777215"},
  };
  for (const auto& c : cases) {
    DataValue v;
    EXPECT_EQ(dm.GetObjectText(c.reference, &v), c.placeholder) << std::hex << c.reference;
    EXPECT_EQ(v.TypeCode(), c.placeholder ? DataValue::kOwnedText : DataValue::kBorrowedText);
    EXPECT_EQ(v.TextCopy(), c.text);
  }
  ASSERT_TRUE(dm.SetLanguage(1, false));
  DataValue v;
  EXPECT_FALSE(dm.GetObjectText(Ref(29, 7), &v));
  EXPECT_EQ(v.TextCopy(), u"Ende");
  EXPECT_FALSE(dm.GetObjectText(Ref(29, 7), nullptr));

  // Reusing a value that owns a placeholder releases it (LeakSanitizer watches).
  CPRDataManager none;
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(none.GetObjectText(Ref(9, i), &v));
    EXPECT_EQ(v.TextCopy(), u"9#" + std::u16string(1, static_cast<char16_t>(u'0' + i)));
    EXPECT_FALSE(none.GetObjectTextEx(Ref(9, i), &v));
    EXPECT_EQ(v.TypeCode(), DataValue::kEmpty);
    EXPECT_TRUE(none.GetObjectText(Ref(9, i), &v));
  }
}

TEST_F(ObjectsTest, SecondObjectTextMapWantsANonEmptyText) {
  const struct { uint32_t reference; std::u16string text; } cases[] = {  // empty: not found
      {Ref(29, 0), u"Valve"}, {Ref(29, 1), u""}, {Ref(29, 2), u""}, {Ref(4, 0), u""}};
  for (const auto& c : cases) {
    DataValue value;
    value.SetValue(DataValue::kInt32, 5);
    EXPECT_EQ(dm.GetObjectTextEx(c.reference, &value), !c.text.empty()) << std::hex << c.reference;
    // Reset even when nothing is found.
    EXPECT_EQ(value.TypeCode(), c.text.empty() ? DataValue::kEmpty : DataValue::kBorrowedText);
    EXPECT_EQ(value.TextCopy().value_or(u""), c.text);
  }
  EXPECT_FALSE(dm.GetObjectTextEx(Ref(29, 0), nullptr));
}

}  // namespace
}  // namespace prt
