// Loading images and finding objects, links and object texts.
#include <gtest/gtest.h>

#include "data/manager/CPRDataManager.h"
#include "tests/data/manager/ImageBytes.h"

namespace prt {
namespace {

using test::ImageBytes;
using test::LinkData;

TEST(AdoptImageTest, ChecksTheImageMagic) {
  struct Case {
    std::string bytes;
    bool loads;
  };
  const Case cases[] = {
      {"Tr@NQ-RTData", true},
      {std::string("Tr@NQ-RTData\0\xff\x01", 15), true},
      {"Tr@NQ-RTDatb", false},
      {"Tr@NQ-RTDat", false},
      {"", false},
      {"tr@NQ-RTData", false},
  };
  for (const Case& c : cases) {
    CPRDataManager dm;
    EXPECT_EQ(dm.AdoptImage(std::vector<uint8_t>(c.bytes.begin(), c.bytes.end())), c.loads) << c.bytes;
    EXPECT_EQ(dm.IsInitialized(), c.loads);
  }
}

TEST(AdoptImageTest, FailedLoadDropsThePreviousImage) {
  ImageBytes img;
  img.Records(1, 8, {{}});
  CPRDataManager dm;
  ASSERT_TRUE(dm.AdoptImage(img.Take()));
  EXPECT_EQ(dm.GetObjectCount(1), 1u);
  EXPECT_FALSE(dm.AdoptImage({'x'}));
  EXPECT_FALSE(dm.IsInitialized());
  EXPECT_EQ(dm.GetObjectCount(1), 0u);
}

TEST(AdoptImageTest, UninitializeUnloads) {
  ImageBytes img;
  img.Records(1, 8, {{}});
  CPRDataManager dm;
  ASSERT_TRUE(dm.AdoptImage(img.Take()));
  dm.Uninitialize();
  EXPECT_FALSE(dm.IsInitialized());
  EXPECT_EQ(dm.GetObjectCount(1), 0u);
  const uint32_t page = 1u << 24;
  EXPECT_FALSE(dm.GetObjectRecord(page));
  dm.Uninitialize();  // twice is harmless
  EXPECT_FALSE(dm.IsInitialized());
}

// A page (type 1) with three link entries, a button type (29) with two
// records of 20 bytes, type 5 present in the header with table 0.
class ObjectsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ImageBytes img;
    const uint32_t links = img.Links({{2, 1, 0, 29u << 24}, {11, 0, 3, 0}, {0, 1, 7, (29u << 24) | 1}});
    img.Records(1, 12, {{links, {0xAABBCCDD}}});
    img.Records(29, 20, {{0, {100, 200, 300}}, {0, {101, 201, 301}}});
    img.SetHeader(21 + 2 * 5, 16);
    ASSERT_TRUE(dm.AdoptImage(img.Take()));
  }
  CPRDataManager dm;
};

TEST_F(ObjectsTest, CountsRecordsPerType) {
  EXPECT_EQ(dm.GetObjectCount(1), 1u);
  EXPECT_EQ(dm.GetObjectCount(29), 2u);
  EXPECT_EQ(dm.GetObjectCount(5), 0u);
  EXPECT_EQ(dm.GetObjectCount(30), 0u);
  EXPECT_EQ(dm.GetObjectCount(300), 0u);
}

TEST_F(ObjectsTest, RecordStartsAtTheObjectsOwnReference) {
  struct Case {
    uint32_t reference;
    bool found;
    uint32_t word2;
  };
  const Case cases[] = {
      {1u << 24, true, 0xAABBCCDD},
      {29u << 24, true, 100},
      {(29u << 24) | 1, true, 101},
      {(29u << 24) | 2, false, 0},  // index equal to the count
      {5u << 24, false, 0},         // table reference 0
      {(29u << 24) | 0xFFFFFF, false, 0},
  };
  for (const Case& c : cases) {
    const ImageRef record = dm.GetObjectRecord(c.reference);
    EXPECT_EQ(static_cast<bool>(record), c.found) << std::hex << c.reference;
    if (!record) continue;
    EXPECT_EQ(record.U32(0), c.reference);
    EXPECT_EQ(record.U32(4), c.word2);
  }
}

TEST_F(ObjectsTest, LinkEntriesInOrderAndNoneAfterTheLast) {
  const uint32_t page = 1u << 24;
  const ImageRef first = dm.GetObjectLink(page, 0);
  ASSERT_TRUE(first);
  EXPECT_EQ(first.U8(0), 2);
  EXPECT_EQ(first.U8(1), 1);
  EXPECT_EQ(first.U32(4), 29u << 24);
  const ImageRef second = dm.GetObjectLink(page, 1);
  ASSERT_TRUE(second);
  EXPECT_EQ(second.U8(2), 3);
  EXPECT_EQ(dm.GetObjectLink(page, 2).U32(4), (29u << 24) | 1);
  EXPECT_FALSE(dm.GetObjectLink(page, 3));
  // A record with link word 0 has no links at all.
  const uint32_t button = 29u << 24;
  EXPECT_FALSE(dm.GetObjectLink(button, 0));
  const uint32_t absent = 7u << 24;
  EXPECT_FALSE(dm.GetObjectLink(absent, 0));
}

TEST(ObjectTextTest, BorrowedTextOrPlaceholder) {
  ImageBytes img;
  test::WriteLanguages(img, 2, 0, 0, 0,
                       {{.id = 1031, .texts = {u"Start", test::kNoText}},
                        {.id = 1033, .texts = {u"Beginn", u"Ende"}}});
  img.SetHeader(14, img.DefaultMap({{29, {{0x5A000004, 0}, {7, 1}}}, {12, {}}}));
  CPRDataManager dm;
  ASSERT_TRUE(dm.AdoptImage(img.Take()));

  struct Case {
    uint32_t reference;
    bool placeholder;
    std::u16string text;
  };
  const Case cases[] = {
      {(29u << 24) | 4, false, u"Start"},  // identifier's top byte is not compared
      {(29u << 24) | 7, true, u"29#7"},    // text reference 0 is no text
      {(12u << 24) | 5, true, u"12#5"},
      {(29u << 24) | 5, true, u"29#5"},
      {0xFFFFFFFF, true, u"255#16777215"},
  };
  for (const Case& c : cases) {
    DataValue v;
    EXPECT_EQ(dm.GetObjectText(c.reference, &v), c.placeholder) << std::hex << c.reference;
    EXPECT_EQ(v.TypeCode(), c.placeholder ? DataValue::kOwnedText : DataValue::kBorrowedText);
    EXPECT_EQ(v.count, 1);
    EXPECT_EQ(v.TextCopy(), c.text);
  }
  const uint32_t ref = (29u << 24) | 7;
  ASSERT_TRUE(dm.SetLanguage(1, false));
  DataValue v;
  EXPECT_FALSE(dm.GetObjectText(ref, &v));
  EXPECT_EQ(v.TextCopy(), u"Ende");
  EXPECT_FALSE(dm.GetObjectText(ref, nullptr));
}

// The value still owns the previous placeholder; the LeakSanitizer build
// reports it if the next lookup does not release it.
TEST(ObjectTextTest, ReusedValueReleasesItsPreviousText) {
  CPRDataManager dm;
  DataValue v;
  for (uint32_t i = 0; i < 3; ++i) {
    const uint32_t ref = (9u << 24) | i;
    EXPECT_TRUE(dm.GetObjectText(ref, &v));
    EXPECT_EQ(v.TextCopy(), u"9#" + std::u16string(1, static_cast<char16_t>(u'0' + i)));
    EXPECT_FALSE(dm.GetObjectTextEx(ref, &v));
    EXPECT_EQ(v.TypeCode(), DataValue::kEmpty);
    EXPECT_TRUE(dm.GetObjectText(ref, &v));
  }
}

TEST(ObjectTextTest, PlaceholderWithoutImage) {
  CPRDataManager dm;
  DataValue v;
  const uint32_t ref = (3u << 24) | 12;
  EXPECT_TRUE(dm.GetObjectText(ref, &v));
  EXPECT_EQ(v.TextCopy(), u"3#12");
}

}  // namespace
}  // namespace prt
