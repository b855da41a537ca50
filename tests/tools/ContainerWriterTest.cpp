// Byte layout of the containers the builder writes, checked by hand rather
// than through the reader under test elsewhere.
#include "tools/builder/ContainerWriter.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>

namespace prt::builder {
namespace {

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

// 32 bytes: "Tr@NQ-RTData", a reference at 12 to 24, a null reference at 16,
// a u16 at 20, opaque 22..23, a double at 24.
FinishedImage SmallImage() {
  ImageWriter w;
  w.Allocate(32);
  const char magic[] = "Tr@NQ-RTData";
  w.PutBytes(0, std::span(reinterpret_cast<const uint8_t*>(magic), 12));
  w.PutRef(12, 24);
  w.PutRef(16, 0);
  w.PutU16(20, 0xA1B2);
  w.PutF64(24, 1.5);  // 0x3FF8000000000000
  return w.Finish();
}

TEST(ContainerWriterTest, LittleEndianHeadAndSections) {
  ContainerOptions o;
  o.pointerBase = 0x1000;
  o.nullValue = 0xFFFFFFFF;
  o.name = u"ab";
  o.headerBytes = {1, 2, 3, 4};
  o.mode = 0;
  ContainerLayout where;
  const auto f = ContainerWriter::Write(SmallImage(), o, &where);
  EXPECT_EQ(std::string(f.begin(), f.begin() + 14), "Tr@NQ-Transfer");
  EXPECT_EQ(f[14], 0xFF);
  EXPECT_EQ(f[15], 0xFE);
  EXPECT_EQ(f[19], 0);
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 20, f.begin() + 24), (std::vector<uint8_t>{1, 2, 3, 4}));
  // Layout: opaque 12, int32 x2, int16 x1, opaque 2, double x1.
  const std::vector<uint8_t> layout = {0, 12, 2, 2, 1, 1, 0, 2, 5, 1};
  size_t at = 28;
  EXPECT_EQ(Le32(f, at), 1000u);
  EXPECT_EQ(Le32(f, at + 8), 12 + layout.size());
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + at + 12, f.begin() + at + 12 + layout.size()), layout);
  at += 12 + layout.size();
  EXPECT_EQ(Le32(f, at), 2000u);
  EXPECT_EQ(Le32(f, at + 8), 12u + 8 + 8);
  EXPECT_EQ(Le32(f, at + 12), 0x1000u);
  EXPECT_EQ(Le32(f, at + 16), 0xFFFFFFFFu);
  EXPECT_EQ(Le32(f, at + 20), 12u);
  EXPECT_EQ(Le32(f, at + 24), 16u);
  at += 28;
  EXPECT_EQ(Le32(f, at), 5000u);
  EXPECT_EQ(Le32(f, at + 8), 12u + 2 + 4);
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + at + 12, f.begin() + at + 18), (std::vector<uint8_t>{2, 0, 'a', 0, 'b', 0}));
  at += 18;
  EXPECT_EQ(Le32(f, 24), at);  // H
  EXPECT_EQ(where.payloadStart, at);
  ASSERT_EQ(f.size(), at + 32);
  // Payload: references rebased, null -> Z, the rest untouched.
  EXPECT_EQ(std::string(f.begin() + at, f.begin() + at + 12), "Tr@NQ-RTData");
  EXPECT_EQ(Le32(f, at + 12), 0x1000u + 24);
  EXPECT_EQ(Le32(f, at + 16), 0xFFFFFFFFu);
  EXPECT_EQ(f[at + 20], 0xB2);
  EXPECT_EQ(f[at + 31], 0x3F);
}

TEST(ContainerWriterTest, BigEndianTwinIsTheLittleOneWithTypedFieldsReversed) {
  ContainerOptions little, big;
  big.order = Endian::Big;
  little.name = big.name = u"n";
  ContainerLayout lw, bw;
  const auto l = ContainerWriter::Write(SmallImage(), little, &lw);
  const auto b = ContainerWriter::Write(SmallImage(), big, &bw);
  ASSERT_EQ(l.size(), b.size());
  EXPECT_EQ(b[14], 0xFE);
  EXPECT_EQ(b[15], 0xFF);
  EXPECT_EQ(Be32(b, 24), Le32(l, 24));
  EXPECT_EQ(Be32(b, 28), 1000u);
  // Section 5000 units are 16-bit numbers in the file's order.
  const size_t name = bw.sections.back().second;
  EXPECT_EQ(Be32(b, name), 5000u);
  EXPECT_EQ(b[name + 12], 0);
  EXPECT_EQ(b[name + 13], 1);
  EXPECT_EQ(b[name + 15], 'n');

  const size_t p = lw.payloadStart;
  struct Span { size_t at, width; };
  const Span typed[] = {{12, 4}, {16, 4}, {20, 2}, {24, 8}};
  for (const Span& s : typed)
    for (size_t i = 0; i < s.width; ++i)
      EXPECT_EQ(b[p + s.at + i], l[p + s.at + s.width - 1 - i]) << s.at;
  for (size_t i : {0u, 5u, 11u, 22u, 23u}) EXPECT_EQ(b[p + i], l[p + i]) << i;
}

TEST(ContainerWriterTest, DoubleHalvesSwappedOnlyForLittleEndianModes1And2) {
  const uint64_t bits = std::bit_cast<uint64_t>(1.5);
  for (uint8_t mode : {0, 1, 2, 3}) {
    ContainerOptions o;
    o.mode = mode;
    ContainerLayout where;
    const auto f = ContainerWriter::Write(SmallImage(), o, &where);
    EXPECT_EQ(f[19], mode);
    const size_t d = where.payloadStart + 24;
    const uint32_t first = Le32(f, d), second = Le32(f, d + 4);
    if (mode == 1 || mode == 2) {
      EXPECT_EQ(first, static_cast<uint32_t>(bits >> 32)) << int(mode);
      EXPECT_EQ(second, static_cast<uint32_t>(bits)) << int(mode);
    } else {
      EXPECT_EQ(first, static_cast<uint32_t>(bits)) << int(mode);
      EXPECT_EQ(second, static_cast<uint32_t>(bits >> 32)) << int(mode);
    }
  }
  ContainerOptions big;
  big.order = Endian::Big;
  big.mode = 1;  // no effect on a big-endian file
  ContainerLayout where;
  const auto f = ContainerWriter::Write(SmallImage(), big, &where);
  EXPECT_EQ(Be32(f, where.payloadStart + 24), static_cast<uint32_t>(bits >> 32));
}

TEST(ContainerWriterTest, OptionalSectionsAndForeignSectionsInOrder) {
  ContainerOptions o;
  o.listA = PositionList{7, {4}};
  o.listB = PositionList{8, {}};
  o.listC = PositionList{0, {1, 2}};
  o.listD = PositionList{0, {3}};
  o.name = u"x";
  o.extraSections.push_back({9000, {}, {1, 2, 3}, std::nullopt, 1});
  o.extraSections.push_back({9001, {}, {}, 40, SIZE_MAX});
  o.trailing = {0xEE};
  ContainerLayout where;
  const auto f = ContainerWriter::Write(SmallImage(), o, &where);
  std::vector<uint32_t> types;
  for (const auto& [type, at] : where.sections) {
    types.push_back(type);
    EXPECT_EQ(Le32(f, at), type);
  }
  EXPECT_EQ(types, (std::vector<uint32_t>{1000, 9000, 2000, 3000, 4000, 5000, 6000, 7000, 9001}));
  const size_t a = where.sections[3].second;
  EXPECT_EQ(Le32(f, a + 8), 20u);
  EXPECT_EQ(Le32(f, a + 12), 7u);
  EXPECT_EQ(Le32(f, a + 16), 4u);
  EXPECT_EQ(Le32(f, where.sections[6].second + 8), 20u);  // C: two positions, no leading word
  EXPECT_EQ(Le32(f, where.sections[8].second + 8), 40u);  // stored length as given
  EXPECT_EQ(f.back(), 0xEE);
  EXPECT_EQ(f.size(), where.payloadStart + 32 + 1);
}

TEST(ContainerWriterTest, LayoutInsertsGoIntoSection1000Only) {
  ContainerOptions o;
  o.layoutInserts.push_back({1, {7, 9}});
  o.layoutInserts.push_back({0, {2, 0}});
  const auto f = ContainerWriter::Write(SmallImage(), o);
  EXPECT_EQ(Le32(f, 36), 12u + 14);
  const std::vector<uint8_t> expect = {2, 0, 0, 12, 7, 9, 2, 2, 1, 1, 0, 2, 5, 1};
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 40, f.begin() + 54), expect);
}

TEST(ContainerWriterTest, EachCorruptionBreaksWhatItNames) {
  const FinishedImage img = SmallImage();
  ContainerOptions plain;
  plain.pointerBase = 0x1000;
  ContainerLayout where;
  const auto good = ContainerWriter::Write(img, plain, &where);
  const size_t p = where.payloadStart;
  const size_t pointers = where.sections[1].second;

  auto corrupt = [&](Corruption c) {
    ContainerOptions o = plain;
    o.corrupt = c;
    return ContainerWriter::Write(img, o);
  };
  auto differing = [&](const std::vector<uint8_t>& f) {
    std::vector<size_t> at;
    for (size_t i = 0; i < std::min(f.size(), good.size()); ++i)
      if (f[i] != good[i]) at.push_back(i);
    return at;
  };

  auto f = corrupt(Corruption::BadMagic);
  EXPECT_EQ(differing(f), std::vector<size_t>{3});
  EXPECT_NE(std::string(f.begin(), f.begin() + 14), "Tr@NQ-Transfer");

  f = corrupt(Corruption::BadByteOrderMark);
  EXPECT_EQ(differing(f), std::vector<size_t>{15});
  EXPECT_EQ(f[14], 0xFF);
  EXPECT_EQ(f[15], 0xFF);

  f = corrupt(Corruption::TruncatedPayload);
  EXPECT_EQ(f.size(), good.size() - 1);
  EXPECT_TRUE(differing(f).empty());

  f = corrupt(Corruption::WrongImageMagic);
  EXPECT_EQ(differing(f), std::vector<size_t>{p + 11});

  f = corrupt(Corruption::PointerValueOutOfRange);
  EXPECT_EQ(Le32(f, p + 12), 0x1000u + 32);  // B + P: one past the end

  f = corrupt(Corruption::PointerPositionOutOfRange);
  EXPECT_EQ(Le32(f, pointers + 8), Le32(good, pointers + 8) + 4);
  EXPECT_EQ(Le32(f, pointers + 28), 30u);  // P - 2
  EXPECT_EQ(Le32(f, 24), Le32(good, 24) + 4);

  f = corrupt(Corruption::PositionListOutOfRange);
  EXPECT_EQ(Le32(f, 24), Le32(good, 24) + 16);
  const size_t c = Le32(good, 24);  // the new section 6000 is the last one
  EXPECT_EQ(Le32(f, c), 6000u);
  EXPECT_EQ(Le32(f, c + 12), 32u);

  f = corrupt(Corruption::TruncatedHeader);
  EXPECT_EQ(f.size(), 26u);

  f = corrupt(Corruption::TruncatedSection);
  EXPECT_EQ(f.size(), 28u + 13);
  EXPECT_GT(Le32(f, 24), f.size());
}

TEST(ContainerWriterTest, ImpossibleRequestsAreErrors) {
  ImageWriter w;
  w.Allocate(16);
  const FinishedImage noPointers = w.Finish();
  ContainerOptions o;
  o.corrupt = Corruption::PointerValueOutOfRange;
  EXPECT_THROW(ContainerWriter::Write(noPointers, o), BuildError);

  // A reference that would be stored as the null value cannot be told apart.
  ContainerOptions clash;
  clash.pointerBase = 0;
  clash.nullValue = 24;
  EXPECT_THROW(ContainerWriter::Write(SmallImage(), clash), BuildError);
}

TEST(ContainerWriterTest, CorruptionNames) {
  EXPECT_EQ(CorruptionFromName("truncatedPayload"), Corruption::TruncatedPayload);
  EXPECT_EQ(CorruptionFromName("pointerValueOutOfRange"), Corruption::PointerValueOutOfRange);
  EXPECT_FALSE(CorruptionFromName("TruncatedPayload"));
}

}  // namespace
}  // namespace prt::builder
