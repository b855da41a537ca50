#include "tools/builder/ImageWriter.h"

#include <gtest/gtest.h>

namespace prt::builder {
namespace {

using Layout = std::vector<LayoutEntry>;

TEST(ImageWriterTest, AllocatesAlignedZeroesAndWritesLittleEndian) {
  ImageWriter w;
  EXPECT_EQ(w.Allocate(3, 1), 0u);
  EXPECT_EQ(w.Allocate(4, 4), 4u);  // padded from 3
  EXPECT_EQ(w.Allocate(24, 8), 8u);
  w.PutU16(0, 0x0102);
  w.PutU32(4, 0x03040506);
  w.PutU64(8, 0x0708090A0B0C0D0Eull);
  w.PutF32(16, 1.0f);  // 0x3F800000
  w.PutF64(24, -2.0);  // 0xC000000000000000
  const std::vector<uint8_t> expect = {0x02, 0x01, 0, 0, 0x06, 0x05, 0x04, 0x03, 0x0E, 0x0D, 0x0C,
                                       0x0B, 0x0A, 0x09, 0x08, 0x07, 0, 0, 0x80, 0x3F, 0, 0,
                                       0, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0};
  EXPECT_EQ(w.Finish().bytes, expect);
}

TEST(ImageWriterTest, LayoutListDescribesEveryField) {
  const struct { const char* name; void (*fill)(ImageWriter&); Layout expect; } cases[] = {
      {"opaque only", [](ImageWriter& w) { w.Allocate(5); }, {{0, 5}}},
      {"typed runs",
       [](ImageWriter& w) {
         w.Allocate(24);
         w.PutU32(0, 1);
         w.PutU32(4, 2);
         w.PutU16(8, 3);
         w.PutU8(10, 4);
         w.PutF32(12, 1);
         w.PutF64(16, 1);
       },
       {{2, 2}, {1, 1}, {0, 2}, {4, 1}, {5, 1}}},
      {"unaligned int after opaque bytes", [](ImageWriter& w) { w.PutU32(w.Allocate(8) + 3, 7); },
       {{0, 3}, {2, 1}, {0, 1}}},
      {"run of 300 words is split at 255",
       [](ImageWriter& w) {
         w.Allocate(1200);
         for (uint32_t i = 0; i < 300; ++i) w.PutU32(4 * i, i);
       },
       {{2, 255}, {2, 45}}},
      {"overwriting a word with a byte makes it opaque",
       [](ImageWriter& w) {
         w.Allocate(8);
         w.PutU32(0, 1);
         w.PutU32(4, 2);
         w.PutU8(5, 9);
       },
       {{2, 1}, {0, 4}}},
      {"a wider field replaces the narrower ones it covers",
       [](ImageWriter& w) {
         w.Allocate(8);
         w.PutU16(0, 1);
         w.PutU16(2, 1);
         w.PutU64(0, 5);
       },
       {{3, 1}}},
      {"a counted string: u16 length then units",
       [](ImageWriter& w) {
         w.Allocate(1, 1);
         w.AddCountedString(u"A\u00e9");
       },
       {{0, 2}, {1, 3}}},
  };
  for (const auto& c : cases) {
    ImageWriter w;
    c.fill(w);
    EXPECT_EQ(w.Finish().layout, c.expect) << c.name;
  }
  ImageWriter w;
  w.Allocate(1, 1);
  EXPECT_EQ(w.AddCountedString(u"A\u00e9"), 2u);  // 2-byte aligned
  EXPECT_EQ(w.Finish().bytes, (std::vector<uint8_t>{0, 0, 2, 0, 'A', 0, 0xE9, 0}));
}

TEST(ImageWriterTest, PointersAreRecordedResolvedAndForgottenWhenOverwritten) {
  ImageWriter w;
  w.Allocate(24);
  w.PutRef(4, 0);
  w.PutRef(8, "target", 2);
  w.PutRef(12, 0x30);
  w.PutRef(16, "gone");
  w.PutRef(20, 12);
  w.PutU32(16, 5);  // the label "gone" is not needed any more
  w.PutU16(22, 1);
  const uint32_t at = w.Allocate(4);
  w.SetLabel("target", at);
  const auto img = w.Finish();
  EXPECT_EQ(img.pointers, (std::vector<uint32_t>{4, 8, 12}));
  EXPECT_EQ(img.bytes[8], at + 2);
  EXPECT_EQ(img.bytes[12], 0x30);
  EXPECT_EQ(img.bytes[16], 5);
  EXPECT_EQ(img.layout, (Layout{{0, 4}, {2, 4}, {0, 2}, {1, 1}, {0, 4}}));
  EXPECT_EQ(img.labels.at("target"), at);
}

TEST(ImageWriterTest, Errors) {
  ImageWriter w;
  w.Allocate(4);
  EXPECT_THROW(w.PutU32(1, 0), BuildError);
  EXPECT_THROW(w.PutU8(4, 0), BuildError);
  EXPECT_THROW(w.PutU32(UINT32_MAX - 1, 0), BuildError);
  w.SetLabel("a", 0);
  EXPECT_THROW(w.SetLabel("a", 1), BuildError);
  w.PutRef(0, "missing");
  EXPECT_THROW(w.Finish(), BuildError);
  EXPECT_THROW(w.Allocate(ImageWriter::kMaxSize - 3), BuildError);  // refused before it grows
  EXPECT_EQ(w.Size(), 4u);
}

}  // namespace
}  // namespace prt::builder
