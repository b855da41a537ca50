// Byte layout of the containers the builder writes, checked by hand rather
// than through the reader under test elsewhere.
#include "tools/builder/ContainerWriter.h"

#include <gtest/gtest.h>

namespace prt::builder {
namespace {

using Bytes = std::vector<uint8_t>;

uint32_t Le32(const Bytes& b, size_t at) {
  return b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 | static_cast<uint32_t>(b.at(at + 3)) << 24;
}
Bytes Slice(const Bytes& b, size_t at, size_t n) { return Bytes(b.begin() + at, b.begin() + at + n); }

// 32 bytes: "Tr@NQ-RTData", a reference at 12 to 24, a null reference at 16,
// a u16 at 20, opaque 22..23, a double at 24.
FinishedImage SmallImage() {
  ImageWriter w;
  w.Allocate(32);
  w.PutBytes(0, std::span(reinterpret_cast<const uint8_t*>("Tr@NQ-RTData"), 12));
  w.PutRef(12, 24);
  w.PutRef(16, 0);
  w.Put(20, FieldKind::Int16, 0xA1B2);
  w.Put(24, FieldKind::Double, 0x3FF8000000000000);  // 1.5
  auto image = w.Finish();
  EXPECT_TRUE(image.HasValue()) << "the sample image does not build";
  return std::move(*image);
}

TEST(ContainerWriterTest, LittleEndianHeadSectionsAndPayload) {
  ContainerOptions o;
  o.pointerBase = 0x1000;
  o.nullValue = 0xFFFFFFFF;
  o.name = u"ab";
  o.headerBytes = {1, 2, 3, 4};
  ContainerLayout where;
  const Bytes f = *ContainerWriter::Write(SmallImage(), o, &where);
  EXPECT_EQ(std::string(f.begin(), f.begin() + 14), "Tr@NQ-Transfer");
  EXPECT_EQ(Slice(f, 14, 10), (Bytes{0xFF, 0xFE, 0, 0, 0, 0, 1, 2, 3, 4}));  // mark, reserved, mode, header bytes
  // Section 1000, the layout: opaque 12, int32 x2, int16 x1, opaque 2, double x1.
  const Bytes layout = {0, 12, 2, 2, 1, 1, 0, 2, 5, 1};
  EXPECT_EQ(Le32(f, 28), 1000u);
  EXPECT_EQ(Le32(f, 36), 12 + layout.size());
  EXPECT_EQ(Slice(f, 40, layout.size()), layout);
  // Section 2000: B, Z, the pointer positions.
  size_t at = 40 + layout.size();
  EXPECT_EQ(Le32(f, at), 2000u);
  EXPECT_EQ(Le32(f, at + 8), 12u + 8 + 8);
  EXPECT_EQ(Slice(f, at + 12, 16), (Bytes{0, 0x10, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 12, 0, 0, 0, 16, 0, 0, 0}));
  // Section 5000: the name as a counted UTF-16 string.
  at += 28;
  EXPECT_EQ(Le32(f, at), 5000u);
  EXPECT_EQ(Le32(f, at + 8), 12u + 2 + 4);
  EXPECT_EQ(Slice(f, at + 12, 6), (Bytes{2, 0, 'a', 0, 'b', 0}));
  at += 18;
  EXPECT_EQ(Le32(f, 24), at);  // H
  EXPECT_EQ(where.payloadStart, at);
  ASSERT_EQ(f.size(), at + 32);
  // Payload: references rebased to B + offset, null to Z, the rest untouched.
  EXPECT_EQ(std::string(f.begin() + at, f.begin() + at + 12), "Tr@NQ-RTData");
  EXPECT_EQ(Le32(f, at + 12), 0x1000u + 24);
  EXPECT_EQ(Le32(f, at + 16), 0xFFFFFFFFu);
  EXPECT_EQ(Slice(f, at + 20, 4), (Bytes{0xB2, 0xA1, 0, 0}));
  EXPECT_EQ(f[at + 31], 0x3F);
}

}  // namespace
}  // namespace prt::builder
