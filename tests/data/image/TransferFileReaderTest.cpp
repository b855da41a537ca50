#include "data/image/TransferFileReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "data/image/ByteCursor.h"
#include "platform/Text.h"
#include "tests/support/TempDir.h"
#include "tools/builder/ContainerWriter.h"

namespace prt {
namespace {

using builder::ContainerOptions;
using builder::ContainerWriter;
using builder::Corruption;
using builder::Endian;
using builder::FinishedImage;

constexpr uint32_t kRefTarget = 16;
constexpr double kDouble = -1234.5678;

// Offsets of the sample's fields.
struct Sample {
  FinishedImage image;
  uint32_t fields = 0;  // u16, u16, u32, u64, f32, f64, ref, null ref
  uint32_t refAt() const { return fields + 32; }
  uint32_t nullAt() const { return fields + 36; }
  uint32_t doubleAt() const { return fields + 24; }
};

Sample MakeSample() {
  builder::ImageWriter w;
  const uint32_t magic = w.Allocate(12);
  w.PutBytes(magic, std::span(reinterpret_cast<const uint8_t*>("Tr@NQ-RTData"), 12));
  Sample s;
  s.fields = w.Allocate(40);
  w.PutU16(s.fields, 0xBEEF);
  w.PutU16(s.fields + 2, 0x1234);
  w.PutU32(s.fields + 4, 0xDEADBEEF);
  w.PutU64(s.fields + 8, 0x0102030405060708);
  w.PutF32(s.fields + 16, 1.5f);
  w.PutF64(s.fields + 24, kDouble);
  w.PutRef(s.fields + 32, kRefTarget);
  w.PutRef(s.fields + 36, 0);
  w.AddCountedString(u"text");
  const uint32_t tail = w.Allocate(3, 1);
  w.PutU8(tail, 0x7F);
  s.image = w.Finish();
  return s;
}

// Loads like the data manager does and answers the image bytes.
std::optional<std::vector<uint8_t>> LoadImage(const std::vector<uint8_t>& file) {
  auto reader = TransferFileReader::LoadBytes(file);
  if (!reader) return std::nullopt;
  reader->AdjustByteOrder(ByteOrder::Little, 0);
  reader->Relocate(0, 0);
  return reader->Payload();
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
      {Endian::Little, 0, 0x00010000, 0},          {Endian::Big, 0, 0x00010000, 0},
      {Endian::Little, 1, 0x00010000, 0},          {Endian::Little, 2, 0x00010000, 0},
      {Endian::Big, 1, 0x00010000, 0},             {Endian::Little, 0, 0x80000000, 0xFFFFFFFF},
      {Endian::Big, 2, 0xFFFFFF00, 5},             {Endian::Little, 0, 0, 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    ContainerOptions options;
    options.order = c.order;
    options.mode = c.mode;
    options.pointerBase = c.base;
    options.nullValue = c.null;
    const auto image = LoadImage(ContainerWriter::Write(sample.image, options));
    ASSERT_TRUE(image) << int(c.order) << "/" << int(c.mode) << "/" << c.base;
    EXPECT_EQ(*image, sample.image.bytes) << int(c.order) << "/" << int(c.mode) << "/" << c.base;
  }
}

TEST(TransferFileReader, RelocationTurnsBasePlusNIntoNAndNullIntoZero) {
  const Sample sample = MakeSample();
  ContainerOptions options;
  options.pointerBase = 0x00400000;
  options.nullValue = 0xFFFFFFFF;
  const auto file = ContainerWriter::Write(sample.image, options);

  auto reader = TransferFileReader::LoadBytes(file);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->PointerBase(), 0x00400000u);
  EXPECT_EQ(reader->NullValue(), 0xFFFFFFFFu);
  EXPECT_EQ(Le32(reader->Payload(), sample.refAt()), 0x00400000u + kRefTarget);
  EXPECT_EQ(Le32(reader->Payload(), sample.nullAt()), 0xFFFFFFFFu);

  reader->Relocate(0x1000, 7);
  EXPECT_EQ(Le32(reader->Payload(), sample.refAt()), 0x1000u + kRefTarget);
  EXPECT_EQ(Le32(reader->Payload(), sample.nullAt()), 7u);
  reader->Relocate(0, 0);
  EXPECT_EQ(Le32(reader->Payload(), sample.refAt()), kRefTarget);
  EXPECT_EQ(Le32(reader->Payload(), sample.nullAt()), 0u);
  EXPECT_EQ(reader->PointerBase(), 0u);
}

TEST(TransferFileReader, AdjustByteOrderRewritesDoublesForTheTargetMode) {
  const Sample sample = MakeSample();
  auto reader = TransferFileReader::LoadBytes(ContainerWriter::Write(sample.image, {}));
  ASSERT_TRUE(reader);
  const std::vector<uint8_t> original = reader->Payload();
  uint64_t bits;
  std::memcpy(&bits, &kDouble, 8);

  reader->AdjustByteOrder(ByteOrder::Little, 1);
  EXPECT_EQ(reader->Mode(), 1);
  EXPECT_EQ(Le32(reader->Payload(), sample.doubleAt()), bits >> 32);
  EXPECT_EQ(Le32(reader->Payload(), sample.doubleAt() + 4), bits & 0xFFFFFFFF);

  reader->AdjustByteOrder(ByteOrder::Big, 0);
  EXPECT_EQ(reader->Order(), ByteOrder::Big);
  EXPECT_EQ(LoadUInt(reader->Payload(), sample.doubleAt(), 8, ByteOrder::Big), bits);
  EXPECT_EQ(LoadUInt(reader->Payload(), sample.fields, 2, ByteOrder::Big), 0xBEEFu);
  // Opaque bytes never move.
  EXPECT_EQ(std::vector<uint8_t>(reader->Payload().begin(), reader->Payload().begin() + 12),
            std::vector<uint8_t>(sample.image.bytes.begin(), sample.image.bytes.begin() + 12));

  reader->AdjustByteOrder(ByteOrder::Little, 0);
  EXPECT_EQ(reader->Payload(), original);
}

TEST(TransferFileReader, UnknownSectionsAreSkippedAndLaterSectionsStillRead) {
  const Sample sample = MakeSample();
  ContainerOptions options;
  options.name = u"Plant\u0141";
  options.extraSections.push_back({9999, {1, 2, 3, 4}, {0xEE, 0xEE, 0xEE}, std::nullopt, 0});
  options.extraSections.push_back({1, {}, std::vector<uint8_t>(13, 0xEE), std::nullopt, 3});
  options.trailing = {0xAB, 0xCD};
  auto reader = TransferFileReader::LoadBytes(ContainerWriter::Write(sample.image, options));
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->Name(), "PlantA");
  reader->AdjustByteOrder(ByteOrder::Little, 0);
  reader->Relocate(0, 0);
  EXPECT_EQ(reader->Payload(), sample.image.bytes);
  EXPECT_EQ(reader->PayloadSize(), sample.image.bytes.size());
}

TEST(TransferFileReader, NameSectionIsFollowedDirectlyByTheNextHead) {
  const Sample sample = MakeSample();
  ContainerOptions options;
  // Section 5000 whose length field is wrong: only the unit count matters.
  builder::RawSection name{5000, {}, {2, 0, 'o', 0, 'k', 0}, 12, 0};
  options.extraSections.push_back(name);
  auto reader = TransferFileReader::LoadBytes(ContainerWriter::Write(sample.image, options));
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->Name(), "ok");
}

TEST(TransferFileReader, UnusedLayoutEntriesAddNothing) {
  const Sample sample = MakeSample();
  ContainerOptions options;
  options.order = Endian::Big;
  options.layoutInserts.push_back({0, {7, 200}});
  options.layoutInserts.push_back({2, {2, 0}});
  options.layoutInserts.push_back({4, {6, 1}});
  auto reader = TransferFileReader::LoadBytes(ContainerWriter::Write(sample.image, options));
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->PayloadSize(), sample.image.bytes.size());
  ASSERT_EQ(reader->Layout().size(), sample.image.layout.size());
  for (size_t i = 0; i < sample.image.layout.size(); ++i) {
    EXPECT_EQ(reader->Layout()[i].kind, sample.image.layout[i].kind) << i;
    EXPECT_EQ(reader->Layout()[i].count, sample.image.layout[i].count) << i;
  }
  reader->AdjustByteOrder(ByteOrder::Little, 0);
  reader->Relocate(0, 0);
  EXPECT_EQ(reader->Payload(), sample.image.bytes);
}

TEST(TransferFileReader, EachCorruptionFailsTheLoad) {
  const Sample sample = MakeSample();
  for (Corruption corrupt :
       {Corruption::BadMagic, Corruption::BadByteOrderMark, Corruption::TruncatedPayload,
        Corruption::PointerPositionOutOfRange, Corruption::PointerValueOutOfRange,
        Corruption::PositionListOutOfRange, Corruption::TruncatedHeader, Corruption::TruncatedSection}) {
    for (Endian order : {Endian::Little, Endian::Big}) {
      ContainerOptions options;
      options.order = order;
      options.corrupt = corrupt;
      EXPECT_EQ(TransferFileReader::LoadBytes(ContainerWriter::Write(sample.image, options)), nullptr)
          << int(corrupt) << "/" << int(order);
    }
  }
}

TEST(TransferFileReader, PositionsAndPointerValuesAtTheirLimits) {
  const Sample sample = MakeSample();
  const uint32_t size = static_cast<uint32_t>(sample.image.bytes.size());
  const uint32_t base = 0x00010000;
  struct Case {
    const char* what;
    uint32_t pointerValue;     // written into the reference field
    uint32_t extraPointerAt;   // an additional pointer position
    uint32_t listPosition;     // added to each of lists A to D in turn
    bool loads;
  } cases[] = {
      {"last byte", base + size - 1, 0, size - 1, true},
      {"value below base", base - 1, 0, 0, false},
      {"value at base + P", base + size, 0, 0, false},
      {"field ends at P", base, size - 4, 0, true},
      {"position at P", base, 0, size, false},
  };
  for (const Case& c : cases) {
    for (int list = 0; list < 4; ++list) {
      ContainerOptions options;
      builder::PositionList positions{1, {c.listPosition}};
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

TEST(TransferFileReader, ShortSkippedSectionFailsInsteadOfLooping) {
  const Sample sample = MakeSample();
  for (uint32_t length : {0u, 4u, 11u}) {
    ContainerOptions options;
    options.extraSections.push_back({4242, {}, {}, length, 0});
    EXPECT_EQ(TransferFileReader::LoadBytes(ContainerWriter::Write(sample.image, options)), nullptr) << length;
  }
}

TEST(TransferFileReader, SkippedSectionPastTheEndLeavesNoPayload) {
  const Sample sample = MakeSample();
  ContainerOptions options;
  options.extraSections.push_back({4242, {}, {}, 0x7FFFFFFF, SIZE_MAX});
  EXPECT_EQ(TransferFileReader::LoadBytes(ContainerWriter::Write(sample.image, options)), nullptr);
}

TEST(TransferFileReader, LoadReadsTheFileAtAWidePath) {
  const Sample sample = MakeSample();
  test::TempDir dir;
  const std::vector<uint8_t> file = ContainerWriter::Write(sample.image, {});
  const std::u16string path = dir.Wide() + u"/\u00e4.prt";
  std::ofstream(platform::ToPath(path), std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  auto reader = TransferFileReader::Load(path);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->PayloadSize(), sample.image.bytes.size());
  EXPECT_EQ(TransferFileReader::Load(dir.Wide() + u"/missing.prt"), nullptr);
  EXPECT_EQ(TransferFileReader::Load(dir.Wide()), nullptr);
}

TEST(TransferFileReader, EveryTruncationOfAValidFileFails) {
  const Sample sample = MakeSample();
  ContainerOptions options;
  options.order = Endian::Big;
  options.name = u"n";
  options.listA = builder::PositionList{9, {0, 1}};
  options.listD = builder::PositionList{0, {2}};
  const std::vector<uint8_t> file = ContainerWriter::Write(sample.image, options);
  ASSERT_TRUE(TransferFileReader::LoadBytes(file));
  for (size_t n = 0; n < file.size(); ++n) {
    const std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_EQ(TransferFileReader::LoadBytes(cut), nullptr) << n;
  }
}

// Any single damaged byte either fails the load or leaves references that
// stay inside the payload; the sanitizer build watches the reads.
TEST(TransferFileReader, DamagedBytesNeverLeadOutsideThePayload) {
  const Sample sample = MakeSample();
  ContainerOptions options;
  options.name = u"name";
  options.listB = builder::PositionList{3, {4, 8}};
  const std::vector<uint8_t> file = ContainerWriter::Write(sample.image, options);
  size_t loaded = 0;
  for (size_t at = 0; at < file.size(); ++at) {
    for (uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
      std::vector<uint8_t> damaged = file;
      damaged[at] = value;
      auto reader = TransferFileReader::LoadBytes(damaged);
      if (!reader) continue;
      ++loaded;
      reader->AdjustByteOrder(ByteOrder::Little, 0);
      reader->Relocate(0, 0);
      ASSERT_EQ(reader->Payload().size(), reader->PayloadSize()) << at;
      std::vector<uint32_t> positions = reader->PointerPositions();
      std::sort(positions.begin(), positions.end());
      if (std::adjacent_find(positions.begin(), positions.end()) != positions.end()) continue;
      for (uint32_t p : positions) EXPECT_LT(Le32(reader->Payload(), p), reader->PayloadSize()) << at;
    }
  }
  EXPECT_GT(loaded, 0u);
}

}  // namespace
}  // namespace prt
