#include "tools/builder/ImageWriter.h"

#include <gtest/gtest.h>

namespace prt::builder {
namespace {

using Layout = std::vector<LayoutEntry>;

TEST(ImageWriterTest, AllocateAlignsAndZeroes) {
  ImageWriter w;
  EXPECT_EQ(w.Allocate(3, 1), 0u);
  EXPECT_EQ(w.Allocate(4, 4), 4u);  // padded from 3
  EXPECT_EQ(w.Allocate(2, 8), 8u);
  EXPECT_EQ(w.Size(), 10u);
  for (uint8_t b : w.Finish().bytes) EXPECT_EQ(b, 0);
}

TEST(ImageWriterTest, ValuesAreLittleEndian) {
  ImageWriter w;
  w.Allocate(32);
  w.PutU16(0, 0x0102);
  w.PutU32(2, 0x03040506);
  w.PutU64(8, 0x0708090A0B0C0D0Eull);
  w.PutF32(16, 1.0f);        // 0x3F800000
  w.PutF64(24, -2.0);        // 0xC000000000000000
  const auto img = w.Finish();
  const std::vector<uint8_t> expect = {0x02, 0x01, 0x06, 0x05, 0x04, 0x03, 0, 0,
                                       0x0E, 0x0D, 0x0C, 0x0B, 0x0A, 0x09, 0x08, 0x07,
                                       0, 0, 0x80, 0x3F, 0, 0, 0, 0,
                                       0, 0, 0, 0, 0, 0, 0, 0xC0};
  EXPECT_EQ(img.bytes, expect);
}

struct LayoutCase {
  const char* name;
  void (*fill)(ImageWriter&);
  Layout expect;
};

TEST(ImageWriterTest, LayoutListDescribesEveryField) {
  const LayoutCase cases[] = {
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
      {"unaligned int after opaque bytes",
       [](ImageWriter& w) {
         w.Allocate(8);
         w.PutU32(3, 7);
       },
       {{0, 3}, {2, 1}, {0, 1}}},
      {"run of 300 words is split at 255",
       [](ImageWriter& w) {
         w.Allocate(1200);
         for (uint32_t i = 0; i < 300; ++i) w.PutU32(4 * i, i);
       },
       {{2, 255}, {2, 45}}},
      {"600 opaque bytes",
       [](ImageWriter& w) { w.Allocate(600); },
       {{0, 255}, {0, 255}, {0, 90}}},
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
  };
  for (const auto& c : cases) {
    ImageWriter w;
    c.fill(w);
    EXPECT_EQ(w.Finish().layout, c.expect) << c.name;
  }
}

TEST(ImageWriterTest, PointersAreRecordedAndResolved) {
  ImageWriter w;
  w.Allocate(16);
  w.PutRef(4, 0);
  w.PutRef(8, "target", 2);
  w.PutRef(12, 0x30);
  const uint32_t at = w.Allocate(4);
  w.SetLabel("target", at);
  const auto img = w.Finish();
  EXPECT_EQ(img.pointers, (std::vector<uint32_t>{4, 8, 12}));
  EXPECT_EQ(img.bytes[8], at + 2);
  EXPECT_EQ(img.bytes[12], 0x30);
  EXPECT_EQ(img.layout, (Layout{{0, 4}, {2, 3}, {0, 4}}));
  EXPECT_EQ(img.labels.at("target"), at);
}

TEST(ImageWriterTest, OverwrittenPointerIsNoLongerAPointer) {
  ImageWriter w;
  w.Allocate(8);
  w.PutRef(0, "x");
  w.PutRef(4, 12);
  w.PutU32(0, 5);
  w.PutU16(6, 1);
  const auto img = w.Finish();  // the label "x" is not needed any more
  EXPECT_TRUE(img.pointers.empty());
  EXPECT_EQ(img.bytes[0], 5);
}

TEST(ImageWriterTest, CountedStringLayout) {
  ImageWriter w;
  w.Allocate(1, 1);
  const uint32_t at = w.AddCountedString(u"A\u00e9");
  EXPECT_EQ(at, 2u);  // 2-byte aligned
  const auto img = w.Finish();
  EXPECT_EQ(std::vector<uint8_t>(img.bytes.begin() + 2, img.bytes.end()),
            (std::vector<uint8_t>{2, 0, 'A', 0, 0xE9, 0}));
  EXPECT_EQ(img.layout, (Layout{{0, 2}, {1, 3}}));
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
}

}  // namespace
}  // namespace prt::builder
