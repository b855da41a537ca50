// Byte layout of the containers the builder writes, checked by hand rather
// than through the reader under test elsewhere.
#include "tools/builder/ContainerWriter.h"

#include <gtest/gtest.h>

#include <bit>

namespace prt::builder {
namespace {

using Bytes = std::vector<uint8_t>;

uint32_t Le32(const Bytes& b, size_t at) {
  return b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 | static_cast<uint32_t>(b.at(at + 3)) << 24;
}
uint32_t Be32(const Bytes& b, size_t at) {
  return static_cast<uint32_t>(b.at(at)) << 24 | b.at(at + 1) << 16 | b.at(at + 2) << 8 | b.at(at + 3);
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
  w.PutU16(20, 0xA1B2);
  w.PutF64(24, 1.5);  // 0x3FF8000000000000
  return w.Finish();
}

TEST(ContainerWriterTest, LittleEndianHeadSectionsAndPayload) {
  ContainerOptions o;
  o.pointerBase = 0x1000;
  o.nullValue = 0xFFFFFFFF;
  o.name = u"ab";
  o.headerBytes = {1, 2, 3, 4};
  ContainerLayout where;
  const Bytes f = ContainerWriter::Write(SmallImage(), o, &where);
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

TEST(ContainerWriterTest, BigEndianTwinIsTheLittleOneWithTypedFieldsReversed) {
  ContainerOptions little, big;
  big.order = Endian::Big;
  little.name = big.name = u"n";
  ContainerLayout lw, bw;
  const Bytes l = ContainerWriter::Write(SmallImage(), little, &lw);
  const Bytes b = ContainerWriter::Write(SmallImage(), big, &bw);
  ASSERT_EQ(l.size(), b.size());
  EXPECT_EQ(Slice(b, 14, 2), (Bytes{0xFE, 0xFF}));
  EXPECT_EQ(Be32(b, 24), Le32(l, 24));
  EXPECT_EQ(Be32(b, 28), 1000u);
  const size_t name = bw.sections.back().second;  // units are 16-bit numbers in the file's order
  EXPECT_EQ(Be32(b, name), 5000u);
  EXPECT_EQ(Slice(b, name + 12, 4), (Bytes{0, 1, 0, 'n'}));
  const size_t p = lw.payloadStart;
  for (auto [at, width] : {std::pair{12, 4}, {16, 4}, {20, 2}, {24, 8}})
    for (int i = 0; i < width; ++i) EXPECT_EQ(b[p + at + i], l[p + at + width - 1 - i]) << at;
  for (size_t i : {0u, 5u, 11u, 22u, 23u}) EXPECT_EQ(b[p + i], l[p + i]) << i;  // opaque bytes stay
}

TEST(ContainerWriterTest, DoubleHalvesSwappedOnlyForLittleEndianModes1And2) {
  const uint64_t bits = std::bit_cast<uint64_t>(1.5);
  const uint32_t high = static_cast<uint32_t>(bits >> 32), low = static_cast<uint32_t>(bits);
  for (uint8_t mode : {0, 1, 2, 3}) {
    ContainerOptions o;
    o.mode = mode;
    ContainerLayout where;
    const Bytes f = ContainerWriter::Write(SmallImage(), o, &where);
    EXPECT_EQ(f[19], mode);
    const bool swapped = mode == 1 || mode == 2;
    EXPECT_EQ(Le32(f, where.payloadStart + 24), swapped ? high : low) << int(mode);
    EXPECT_EQ(Le32(f, where.payloadStart + 28), swapped ? low : high) << int(mode);
  }
  ContainerOptions big;
  big.order = Endian::Big;
  big.mode = 1;  // no effect on a big-endian file
  ContainerLayout where;
  const Bytes f = ContainerWriter::Write(SmallImage(), big, &where);
  EXPECT_EQ(Be32(f, where.payloadStart + 24), high);
}

TEST(ContainerWriterTest, OptionalAndForeignSectionsInOrderLayoutInsertsInSection1000) {
  ContainerOptions o;
  o.listA = PositionList{7, {4}};
  o.listB = PositionList{8, {}};
  o.listC = PositionList{0, {1, 2}};
  o.listD = PositionList{0, {3}};
  o.name = u"x";
  o.extraSections.push_back({9000, {}, {1, 2, 3}, std::nullopt, 1});
  o.extraSections.push_back({9001, {}, {}, 40, SIZE_MAX});
  o.layoutInserts = {{1, {7, 9}}, {0, {2, 0}}};
  o.trailing = {0xEE};
  ContainerLayout where;
  const Bytes f = ContainerWriter::Write(SmallImage(), o, &where);
  std::vector<uint32_t> types;
  for (const auto& [type, at] : where.sections) {
    types.push_back(type);
    EXPECT_EQ(Le32(f, at), type);
  }
  EXPECT_EQ(types, (std::vector<uint32_t>{1000, 9000, 2000, 3000, 4000, 5000, 6000, 7000, 9001}));
  EXPECT_EQ(Le32(f, 36), 12u + 14);
  EXPECT_EQ(Slice(f, 40, 14), (Bytes{2, 0, 0, 12, 7, 9, 2, 2, 1, 1, 0, 2, 5, 1}));
  const size_t a = where.sections[3].second;
  EXPECT_EQ(Slice(f, a + 8, 12), (Bytes{20, 0, 0, 0, 7, 0, 0, 0, 4, 0, 0, 0}));  // L, leading word, position
  EXPECT_EQ(Le32(f, where.sections[6].second + 8), 20u);  // C: two positions, no leading word
  EXPECT_EQ(Le32(f, where.sections[8].second + 8), 40u);  // stored length as given
  EXPECT_EQ(f.back(), 0xEE);
  EXPECT_EQ(f.size(), where.payloadStart + 32 + 1);
}

TEST(ContainerWriterTest, EachCorruptionBreaksWhatItNames) {
  ContainerOptions plain;
  plain.pointerBase = 0x1000;
  ContainerLayout where;
  const Bytes good = ContainerWriter::Write(SmallImage(), plain, &where);
  const size_t p = where.payloadStart, pointers = where.sections[1].second, h = Le32(good, 24);
  auto corrupt = [&](const char* name) {
    ContainerOptions o = plain;
    o.corrupt = CorruptionFromName(name).value();
    return ContainerWriter::Write(SmallImage(), o);
  };
  auto differing = [&](const Bytes& f) {
    std::vector<size_t> at;
    for (size_t i = 0; i < std::min(f.size(), good.size()); ++i)
      if (f[i] != good[i]) at.push_back(i);
    return at;
  };
  EXPECT_EQ(differing(corrupt("badMagic")), std::vector<size_t>{3});
  EXPECT_EQ(Slice(corrupt("badByteOrderMark"), 14, 2), (Bytes{0xFF, 0xFF}));
  EXPECT_EQ(corrupt("truncatedPayload"), Slice(good, 0, good.size() - 1));
  EXPECT_EQ(differing(corrupt("wrongImageMagic")), std::vector<size_t>{p + 11});
  EXPECT_EQ(Le32(corrupt("pointerValueOutOfRange"), p + 12), 0x1000u + 32);  // B + P: one past the end

  Bytes f = corrupt("pointerPositionOutOfRange");
  EXPECT_EQ(Le32(f, pointers + 8), Le32(good, pointers + 8) + 4);
  EXPECT_EQ(Le32(f, pointers + 28), 30u);  // P - 2
  EXPECT_EQ(Le32(f, 24), h + 4);
  f = corrupt("positionListOutOfRange");  // a new section 6000, the last one
  EXPECT_EQ(Le32(f, 24), h + 16);
  EXPECT_EQ(Slice(f, h, 16), (Bytes{0x70, 0x17, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 32, 0, 0, 0}));
  ASSERT_EQ(Slice(good, pointers + 20, 8), (Bytes{12, 0, 0, 0, 16, 0, 0, 0}));  // the pointer positions
  f = corrupt("duplicatePointerPosition");
  EXPECT_EQ(Slice(f, pointers + 20, 12), (Bytes{12, 0, 0, 0, 12, 0, 0, 0, 16, 0, 0, 0}));
  EXPECT_EQ(Le32(f, 24), h + 4);
  EXPECT_EQ(Slice(corrupt("unorderedPointerPositions"), pointers + 20, 8), (Bytes{16, 0, 0, 0, 12, 0, 0, 0}));
  EXPECT_EQ(corrupt("truncatedHeader").size(), 26u);
  f = corrupt("truncatedSection");
  EXPECT_EQ(f.size(), 28u + 13);
  EXPECT_GT(Le32(f, 24), f.size());
  EXPECT_FALSE(CorruptionFromName("TruncatedPayload"));
}

TEST(ContainerWriterTest, ImpossibleRequestsAreErrors) {
  ImageWriter w;
  w.Allocate(16);
  ContainerOptions o;
  o.corrupt = Corruption::PointerValueOutOfRange;
  EXPECT_THROW(ContainerWriter::Write(w.Finish(), o), BuildError);  // no pointer field
  ContainerOptions clash;  // a reference stored as the null value could not be told apart
  clash.pointerBase = 0;
  clash.nullValue = 24;
  EXPECT_THROW(ContainerWriter::Write(SmallImage(), clash), BuildError);
  ContainerOptions huge;  // refused before the file is assembled
  huge.trailing.resize(ContainerWriter::kMaxSize);
  EXPECT_THROW(ContainerWriter::Write(SmallImage(), huge), BuildError);
}

}  // namespace
}  // namespace prt::builder
