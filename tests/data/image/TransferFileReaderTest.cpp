#include "data/image/TransferFileReader.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "data/image/ByteCursor.h"
#include "tools/builder/ContainerWriter.h"

namespace prt {
namespace {

using builder::ContainerOptions;
using builder::ContainerWriter;
using builder::Endian;
using builder::FinishedImage;

constexpr uint32_t kRefTarget = 16;

// An image with every layout kind, a reference, a null reference and a string.
struct Sample {
  FinishedImage image;
  uint32_t fields = 0;
  uint32_t refAt() const { return fields + 32; }
  uint32_t nullAt() const { return fields + 36; }
};

Sample MakeSample() {
  builder::ImageWriter w;
  w.PutBytes(w.Allocate(12), std::span(reinterpret_cast<const uint8_t*>("Tr@NQ-RTData"), 12));
  Sample s;
  s.fields = w.Allocate(40);
  w.PutU16(s.fields, 0xBEEF);
  w.PutU16(s.fields + 2, 0x1234);
  w.PutU32(s.fields + 4, 0xDEADBEEF);
  w.PutU64(s.fields + 8, 0x0102030405060708);
  w.PutF32(s.fields + 16, 1.5f);
  w.PutF64(s.fields + 24, -1234.5678);
  w.PutRef(s.refAt(), kRefTarget);
  w.PutRef(s.nullAt(), 0);
  w.AddCountedString(u"text");
  w.PutU8(w.Allocate(3, 1), 0x7F);
  s.image = w.Finish();
  return s;
}

std::unique_ptr<TransferFileReader> Load(const FinishedImage& image, const ContainerOptions& options,
                                         builder::ContainerLayout* where = nullptr) {
  return TransferFileReader::LoadBytes(ContainerWriter::Write(image, options, where));
}

// Converts and rebases as the data manager does; answers the image bytes.
std::vector<uint8_t> ImageOf(TransferFileReader& reader) {
  reader.AdjustByteOrder(ByteOrder::Little, 0);
  reader.Relocate(0, 0);
  return reader.Payload();
}

uint32_t Le32(const std::vector<uint8_t>& b, uint32_t at) { return *LoadUInt(b, at, 4, ByteOrder::Little); }

TEST(TransferFileReader, EveryByteOrderModeAndBaseGivesTheSameImage) {
  const Sample sample = MakeSample();
  struct Case {
    Endian order;
    uint8_t mode;
    uint32_t base;
    uint32_t null;
  } cases[] = {
      {Endian::Little, 0, 0x00010000, 0}, {Endian::Big, 0, 0x00010000, 0},
      {Endian::Little, 1, 0x00010000, 0}, {Endian::Little, 2, 0x00010000, 0},
      {Endian::Big, 1, 0x00010000, 0},    {Endian::Little, 0, 0x80000000, 0xFFFFFFFF},
      {Endian::Big, 2, 0xFFFFFF00, 5},
  };
  for (const Case& c : cases) {
    ContainerOptions options;
    options.order = c.order;
    options.mode = c.mode;
    options.pointerBase = c.base;
    options.nullValue = c.null;
    auto reader = Load(sample.image, options);
    ASSERT_TRUE(reader) << int(c.order) << "/" << int(c.mode) << "/" << c.base;
    EXPECT_EQ(ImageOf(*reader), sample.image.bytes) << int(c.order) << "/" << int(c.mode) << "/" << c.base;
  }
}

TEST(TransferFileReader, RelocationTurnsBasePlusNIntoNAndNullIntoZero) {
  const Sample sample = MakeSample();
  ContainerOptions options;
  options.pointerBase = 0x00400000;
  options.nullValue = 0xFFFFFFFF;
  auto reader = Load(sample.image, options);
  ASSERT_TRUE(reader);
  EXPECT_EQ(Le32(reader->Payload(), sample.refAt()), 0x00400000u + kRefTarget);
  reader->Relocate(0x1000, 7);
  EXPECT_EQ(Le32(reader->Payload(), sample.refAt()), 0x1000u + kRefTarget);
  EXPECT_EQ(Le32(reader->Payload(), sample.nullAt()), 7u);
  reader->Relocate(0, 0);
  EXPECT_EQ(Le32(reader->Payload(), sample.refAt()), kRefTarget);
  EXPECT_EQ(Le32(reader->Payload(), sample.nullAt()), 0u);
}

TEST(TransferFileReader, UnknownSectionsAndUnusedLayoutEntriesAreSkipped) {
  const Sample sample = MakeSample();
  ContainerOptions options;
  options.order = Endian::Big;
  options.name = u"Plant\u0141";  // 8-bit name from the low bytes
  options.extraSections.push_back({9999, {1, 2, 3, 4}, {0xEE, 0xEE, 0xEE}, std::nullopt, 0});
  options.extraSections.push_back({1, {}, std::vector<uint8_t>(13, 0xEE), std::nullopt, 3});
  options.layoutInserts = {{0, {7, 200}}, {2, {2, 0}}, {4, {6, 1}}};
  options.trailing = {0xAB, 0xCD};
  auto reader = Load(sample.image, options);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->Name(), "PlantA");
  EXPECT_EQ(reader->Layout().size(), sample.image.layout.size());
  EXPECT_EQ(reader->PayloadSize(), sample.image.bytes.size());
  EXPECT_EQ(ImageOf(*reader), sample.image.bytes);
}

TEST(TransferFileReader, NameSectionIsFollowedDirectlyByTheNextHead) {
  ContainerOptions options;
  options.extraSections.push_back({5000, {}, {2, 0, 'o', 0, 'k', 0}, 12, 0});  // L is wrong on purpose
  auto reader = Load(MakeSample().image, options);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->Name(), "ok");
}

TEST(TransferFileReader, EachCorruptionFailsTheLoad) {
  const Sample sample = MakeSample();
  using builder::Corruption;
  for (Corruption corrupt :
       {Corruption::BadMagic, Corruption::BadByteOrderMark, Corruption::TruncatedPayload,
        Corruption::PointerPositionOutOfRange, Corruption::PointerValueOutOfRange,
        Corruption::PositionListOutOfRange, Corruption::TruncatedHeader, Corruption::TruncatedSection}) {
    for (Endian order : {Endian::Little, Endian::Big}) {
      ContainerOptions options;
      options.order = order;
      options.corrupt = corrupt;
      EXPECT_EQ(Load(sample.image, options), nullptr) << int(corrupt) << "/" << int(order);
    }
  }
  for (uint32_t length : {0u, 11u}) {  // a skip that would not move on
    ContainerOptions options;
    options.extraSections.push_back({4242, {}, {}, length, 0});
    EXPECT_EQ(Load(sample.image, options), nullptr) << length;
  }
}

TEST(TransferFileReader, PositionsAndPointerValuesAtTheirLimits) {
  const Sample sample = MakeSample();
  const uint32_t size = static_cast<uint32_t>(sample.image.bytes.size());
  const uint32_t base = 0x00010000;
  struct Case {
    const char* what;
    uint32_t pointerValue;    // written into the reference field
    uint32_t extraPointerAt;  // an additional pointer position (0: none)
    uint32_t listPosition;    // put into each of lists A to D in turn
    bool loads;
  } cases[] = {
      {"last byte", base + size - 1, 0, size - 1, true},
      {"field ends at P", base, size - 4, 0, true},
      {"value below base", base - 1, 0, 0, false},
      {"value at base + P", base + size, 0, 0, false},
      {"position at P", base, 0, size, false},
  };
  for (const Case& c : cases) {
    for (int list = 0; list < 4; ++list) {
      ContainerOptions options;
      const builder::PositionList positions{1, {c.listPosition}};
      (list == 0 ? options.listA : list == 1 ? options.listB : list == 2 ? options.listC : options.listD) = positions;
      FinishedImage image = sample.image;
      if (c.extraPointerAt != 0) {
        image.pointers.push_back(c.extraPointerAt);
        StoreUInt(image.bytes, c.extraPointerAt, 4, ByteOrder::Little, 0);
      }
      builder::ContainerLayout where;
      std::vector<uint8_t> file = ContainerWriter::Write(image, options, &where);
      StoreUInt(file, where.payloadStart + sample.refAt(), 4, ByteOrder::Little, c.pointerValue);
      EXPECT_EQ(TransferFileReader::LoadBytes(file) != nullptr, c.loads) << c.what << " list " << list;
    }
  }
}

TEST(TransferFileReader, EveryTruncationOfAValidFileFails) {
  ContainerOptions options;
  options.order = Endian::Big;
  options.name = u"n";
  options.listA = builder::PositionList{9, {0, 1}};
  options.listD = builder::PositionList{0, {2}};
  const std::vector<uint8_t> file = ContainerWriter::Write(MakeSample().image, options);
  ASSERT_TRUE(TransferFileReader::LoadBytes(file));
  for (size_t n = 0; n < file.size(); ++n) {
    EXPECT_EQ(TransferFileReader::LoadBytes({file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n)}), nullptr)
        << n;
  }
}

// Any single damaged byte either fails the load or leaves references that
// stay inside the payload; the sanitizer build watches the reads.
TEST(TransferFileReader, DamagedBytesNeverLeadOutsideThePayload) {
  ContainerOptions options;
  options.name = u"name";
  options.listB = builder::PositionList{3, {4, 8}};
  const std::vector<uint8_t> file = ContainerWriter::Write(MakeSample().image, options);
  size_t loaded = 0;
  for (size_t at = 0; at < file.size(); ++at) {
    for (uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
      std::vector<uint8_t> damaged = file;
      damaged[at] = value;
      auto reader = TransferFileReader::LoadBytes(damaged);
      if (!reader) continue;
      ++loaded;
      const std::vector<uint8_t> image = ImageOf(*reader);
      ASSERT_EQ(image.size(), reader->PayloadSize()) << at;
      std::vector<uint32_t> positions = reader->PointerPositions();
      std::sort(positions.begin(), positions.end());
      if (std::adjacent_find(positions.begin(), positions.end()) != positions.end()) continue;
      for (uint32_t p : positions) EXPECT_LT(Le32(image, p), image.size()) << at;
    }
  }
  EXPECT_GT(loaded, 0u);
}

}  // namespace
}  // namespace prt
