#include "data/image/TransferFileReader.h"

#include <bit>
#include <gtest/gtest.h>

#include "data/image/ByteCursor.h"
#include "platform/Endian.h"
#include "tools/builder/ContainerWriter.h"

namespace prt {
namespace {

using builder::ContainerOptions;
using builder::ContainerWriter;
using builder::Endian;
using builder::FinishedImage;
using Kind = builder::FieldKind;

constexpr uint32_t kRefAt = 44, kNullAt = 48;

// An image with every layout kind, a reference, a null reference and a string.
FinishedImage MakeSample() {
  builder::ImageWriter w;
  w.PutBytes(w.Allocate(52), std::span(reinterpret_cast<const uint8_t*>("Tr@NQ-RTData"), 12));
  w.Put(12, Kind::Int16, 0xBEEF);
  w.Put(14, Kind::Int16, 0x1234);
  w.Put(16, Kind::Int32, 0xDEADBEEF);
  w.Put(20, Kind::Int64, 0x0102030405060708);
  w.Put(28, Kind::Float, std::bit_cast<uint32_t>(1.5f));
  w.Put(36, Kind::Double, std::bit_cast<uint64_t>(-1234.5678));
  w.PutRef(kRefAt, 16);
  w.PutRef(kNullAt, 0);
  w.AddCountedString(u"text");
  w.Put(w.Allocate(3, 1), Kind::Opaque, 0x7F);
  auto image = w.Finish();
  EXPECT_TRUE(image.HasValue()) << "the sample image does not build";
  return std::move(*image);
}

Expected<TransferFileReader, ContainerError> Load(const FinishedImage& image, const ContainerOptions& options) {
  return TransferFileReader::LoadBytes(*ContainerWriter::Write(image, options));
}

// Converts and rebases as the data manager does; answers the image bytes.
std::vector<uint8_t> ImageOf(TransferFileReader& reader) {
  reader.AdjustByteOrder(ByteOrder::Little, 0);
  reader.Relocate(0, 0);
  return {reader.Payload().begin(), reader.Payload().end()};
}

// Every byte order, mode, base and null value gives the same image, also past
// sections of unknown types, layout entries the payload does not use and
// bytes after the payload.
TEST(TransferFileReader, EveryByteOrderModeAndBaseGivesTheSameImage) {
  const FinishedImage sample = MakeSample();
  const struct { Endian order; uint8_t mode; uint32_t base, null; } cases[] = {
      {Endian::Little, 0, 0x00010000, 0}, {Endian::Big, 0, 0x00010000, 0},
      {Endian::Little, 1, 0x00010000, 0}, {Endian::Little, 2, 0x00010000, 0},
      {Endian::Big, 1, 0x00010000, 0},    {Endian::Little, 0, 0x80000000, 0xFFFFFFFF},
      {Endian::Big, 2, 0xFFFFFF00, 5},
  };
  for (const auto& c : cases) {
    for (const bool extras : {false, true}) {
      SCOPED_TRACE(testing::Message() << int(c.order) << "/" << int(c.mode) << "/" << c.base << "/" << extras);
      ContainerOptions options{.order = c.order, .mode = c.mode, .pointerBase = c.base, .nullValue = c.null};
      if (extras) {
        options.name = u"Plant\u0141";  // 8-bit name from the low bytes
        options.extraSections.push_back({9999, {1, 2, 3, 4}, {0xEE, 0xEE, 0xEE}, std::nullopt, 0});
        options.extraSections.push_back({1, {}, std::vector<uint8_t>(13, 0xEE), std::nullopt, 3});
        options.extraSections.push_back({6000, {}, {0, 0, 0, 0}, 14});  // its entry crosses L: read whole
        options.layoutInserts = {{0, {7, 200}}, {2, {2, 0}}, {4, {6, 1}}};
        options.trailing = {0xAB, 0xCD};
      }
      auto reader = Load(sample, options);
      ASSERT_TRUE(reader);
      EXPECT_EQ(reader->Name(), extras ? "PlantA" : "");
      EXPECT_EQ(reader->PayloadSize(), sample.bytes.size());
      EXPECT_EQ(ImageOf(*reader), sample.bytes);
    }
  }
  // The name section is followed directly by the next head, whatever its L says.
  ContainerOptions options;
  options.extraSections.push_back({5000, {}, {2, 0, 'o', 0, 'k', 0}, 12, 0});
  const auto reader = Load(sample, options);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->Name(), "ok");
}

// Each refused file names the place, the byte offset in the file and the
// rule that failed there.
TEST(TransferFileReader, EachRefusalNamesSectionOffsetAndRule) {
  using builder::Corruption;
  using Place = ContainerError::Part;
  const FinishedImage sample = MakeSample();
  const uint32_t size = static_cast<uint32_t>(sample.bytes.size());
  const std::string p = Hex(size);
  ContainerOptions clean;
  builder::ContainerLayout where;
  ASSERT_TRUE(ContainerWriter::Write(sample, clean, &where));
  const auto start = [&where](uint32_t type) {
    for (const auto& [t, at] : where.sections)
      if (t == type) return uint64_t{at};
    return uint64_t{0};
  };
  const uint64_t pointerEntries = start(2000) + 12 + 8;  // after B and Z
  // A foreign section whose length would not move the reader on.
  ContainerOptions shortSection;
  shortSection.extraSections.push_back({4242, {}, {}, 11, 1});
  ASSERT_TRUE(ContainerWriter::Write(sample, shortSection, &where));
  const uint64_t shortAt = start(4242);
  // A second pointer section: its entries continue the list, and an entry's
  // offset is found in the section it was read from.
  ContainerOptions twoPointerSections{.pointerBase = 0, .nullValue = 0};
  twoPointerSections.extraSections.push_back({2000, {}, {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1}, std::nullopt});
  ASSERT_TRUE(ContainerWriter::Write(sample, twoPointerSections, &where));
  const uint64_t secondPointerAt = where.sections.back().second + 12 + 8;
  ASSERT_TRUE(ContainerWriter::Write(sample, {.corrupt = Corruption::PositionListOutOfRange}, &where));
  const uint64_t listCAt = start(6000) + 12;  // the section the corruption adds
  ASSERT_TRUE(ContainerWriter::Write(sample, clean, &where));
  const struct { Corruption corrupt; const ContainerOptions* options; Place place; uint32_t section; uint64_t offset;
                 std::string rule; } cases[] = {
      {Corruption::BadMagic, &clean, Place::Signature, 0, 0, "unknown signature at offset 0"},
      {Corruption::BadByteOrderMark, &clean, Place::Head, 0, 14, "byte-order mark ff ff is neither ff fe nor fe ff"},
      {Corruption::TruncatedHeader, &clean, Place::Head, 0, 24, "the file ends at 0x1a, inside a 4-byte field"},
      {Corruption::TruncatedSection, &clean, Place::Section, 1000, start(1000) + 13,
       "the file ends at " + Hex(start(1000) + 13)},
      {Corruption::None, &shortSection, Place::Section, 4242, shortAt, "length 11 is shorter than the 12-byte section head"},
      {Corruption::TruncatedPayload, &clean, Place::Payload, 0, where.payloadStart,
       "the layout describes " + p + " bytes of payload, the file holds " + Hex(size - 1)},
      {Corruption::PointerPositionOutOfRange, &clean, Place::Section, 2000, pointerEntries + 8,
       "pointer position " + Hex(size - 2) + " lies outside the payload"},
      {Corruption::PointerValueOutOfRange, &clean, Place::Section, 2000, pointerEntries,
       "the pointer at 0x2c holds " + Hex(0x10000 + size) + ", neither the null value nor inside the payload"},
      {Corruption::None, &twoPointerSections, Place::Section, 2000, secondPointerAt,
       "pointer position 0x1000001 lies outside the payload"},
      {Corruption::DuplicatePointerPosition, &clean, Place::Section, 2000, pointerEntries + 4,
       "pointer position 0x2c is not past the field before it, which ends at 0x30"},
      {Corruption::UnorderedPointerPositions, &clean, Place::Section, 2000, pointerEntries + 4,
       "pointer position 0x2c is not past the field before it, which ends at 0x34"},
      {Corruption::PositionListOutOfRange, &clean, Place::Section, 6000, listCAt,
       "position " + p + " lies outside the payload"},
  };
  for (const auto& c : cases) {
    for (Endian order : {Endian::Little, Endian::Big}) {
      SCOPED_TRACE(testing::Message() << c.rule << " / " << int(order));
      ContainerOptions options = *c.options;
      options.order = order;
      options.corrupt = c.corrupt;
      const auto reader = Load(sample, options);
      ASSERT_FALSE(reader);
      EXPECT_EQ(reader.Error().part, c.place);
      EXPECT_EQ(reader.Error().section, c.section);
      EXPECT_EQ(reader.Error().offset, c.offset);
      EXPECT_EQ(reader.Error().rule, c.rule);
    }
  }
  const auto empty = TransferFileReader::LoadBytes({});
  ASSERT_FALSE(empty);
  EXPECT_EQ(empty.Error().rule, "the file is empty");
  // A last section that runs past the end, before an empty payload.
  ContainerOptions longSection;
  longSection.extraSections.push_back({4242, {}, {}, 0x10000});
  const std::vector<uint8_t> file = *ContainerWriter::Write(FinishedImage{}, longSection, &where);
  const auto reader = TransferFileReader::LoadBytes(file);
  ASSERT_FALSE(reader);
  EXPECT_EQ(reader.Error().part, Place::Payload);
  EXPECT_EQ(reader.Error().rule, "the sections end at " + Hex(start(4242) + 0x10000) + ", past the end of the file at " +
                                     Hex(file.size()));
}

TEST(TransferFileReader, PositionsAndPointerValuesAtTheirLimits) {
  const FinishedImage sample = MakeSample();
  const uint32_t size = static_cast<uint32_t>(sample.bytes.size());
  const uint32_t base = 0x00010000;
  // The value written into the reference field, an additional pointer position (0: none), a position put
  // into each of lists A to D in turn.
  const struct { const char* what; uint32_t pointerValue, extraPointerAt, listPosition; bool loads; } cases[] = {
      {"last byte", base + size - 1, 0, size - 1, true},
      {"field ends at P", base, size - 4, 0, true},
      {"field one byte past P", base, size - 3, 0, false},
      // Fields ascend without overlapping: one rebased twice would be corrupted.
      {"field overlapping the one before", base, kNullAt + 2, 0, false},
      {"value below base", base - 1, 0, 0, false},
      {"value at base + P", base + size, 0, 0, false},
      {"position at P", base, 0, size, false},
  };
  for (const auto& c : cases) {
    for (int list = 0; list < 4; ++list) {
      ContainerOptions options;
      const builder::PositionList positions{1, {c.listPosition}};
      (list == 0 ? options.listA : list == 1 ? options.listB : list == 2 ? options.listC : options.listD) = positions;
      FinishedImage image = sample;
      if (c.extraPointerAt != 0) {
        image.pointers.push_back(c.extraPointerAt);
        if (c.extraPointerAt + 4 <= image.bytes.size()) platform::StoreLE32(image.bytes.data() + c.extraPointerAt, 0);
      }
      builder::ContainerLayout where;
      std::vector<uint8_t> file = *ContainerWriter::Write(image, options, &where);
      platform::StoreLE32(file.data() + where.payloadStart + kRefAt, c.pointerValue);
      EXPECT_EQ(bool(TransferFileReader::LoadBytes(file)), c.loads) << c.what << " list " << list;
    }
  }
}

}  // namespace
}  // namespace prt
