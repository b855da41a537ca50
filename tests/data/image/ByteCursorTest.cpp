#include "data/image/ByteCursor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace prt {
namespace {

const std::vector<uint8_t> kBytes{1, 2, 3, 4, 5, 6, 7, 8, 9};

TEST(LoadUInt, ReadsEitherOrderInsideTheBufferOnly) {
  struct Case {
    size_t at;
    unsigned width;
    ByteOrder order;
    std::optional<uint64_t> value;
  } cases[] = {
      {0, 1, ByteOrder::Big, 0x01},
      {0, 2, ByteOrder::Little, 0x0201},
      {0, 2, ByteOrder::Big, 0x0102},
      {1, 4, ByteOrder::Little, 0x05040302},
      {1, 4, ByteOrder::Big, 0x02030405},
      {1, 8, ByteOrder::Little, 0x0908070605040302},
      {1, 8, ByteOrder::Big, 0x0203040506070809},
      {8, 1, ByteOrder::Little, 0x09},
      {8, 2, ByteOrder::Little, std::nullopt},
      {2, 8, ByteOrder::Little, std::nullopt},
      {9, 1, ByteOrder::Little, std::nullopt},
      {SIZE_MAX, 4, ByteOrder::Little, std::nullopt},
      {SIZE_MAX - 1, 4, ByteOrder::Little, std::nullopt},
      {0, 0, ByteOrder::Little, std::nullopt},
      {0, 9, ByteOrder::Little, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LoadUInt(kBytes, c.at, c.width, c.order), c.value) << c.at << "/" << c.width;
  }
}

TEST(StoreUInt, IsTheInverseOfLoadAndRefusesFieldsThatDoNotFit) {
  for (ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
    for (unsigned width : {1u, 2u, 4u, 8u}) {
      std::vector<uint8_t> bytes(10, 0xAA);
      const uint64_t value = 0x8877665544332211 >> (64 - 8 * width);
      ASSERT_TRUE(StoreUInt(bytes, 1, width, order, value));
      EXPECT_EQ(LoadUInt(bytes, 1, width, order), value);
      EXPECT_EQ(bytes[0], 0xAA);
      EXPECT_EQ(bytes[1 + width], 0xAA);
    }
  }
  std::vector<uint8_t> bytes(4, 0);
  EXPECT_FALSE(StoreUInt(bytes, 1, 4, ByteOrder::Little, 1));
  EXPECT_FALSE(StoreUInt(bytes, SIZE_MAX, 2, ByteOrder::Little, 1));
  EXPECT_EQ(bytes, std::vector<uint8_t>(4, 0));
}

uint64_t Bits(double d) {
  uint64_t b;
  std::memcpy(&b, &d, 8);
  return b;
}

TEST(LoadDouble, LittleModesOneAndTwoKeepTheHighHalfFirst) {
  const uint64_t bits = Bits(-1234.5678);
  std::vector<uint8_t> plain(8), swapped(8), big(8);
  StoreUInt(plain, 0, 8, ByteOrder::Little, bits);
  StoreUInt(swapped, 0, 4, ByteOrder::Little, bits >> 32);
  StoreUInt(swapped, 4, 4, ByteOrder::Little, bits & 0xFFFFFFFF);
  StoreUInt(big, 0, 8, ByteOrder::Big, bits);

  struct Case {
    const std::vector<uint8_t>* bytes;
    ByteOrder order;
    uint8_t mode;
  } cases[] = {
      {&plain, ByteOrder::Little, 0}, {&swapped, ByteOrder::Little, 1}, {&swapped, ByteOrder::Little, 2},
      {&plain, ByteOrder::Little, 3}, {&big, ByteOrder::Big, 0},         {&big, ByteOrder::Big, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LoadDouble(*c.bytes, 0, c.order, c.mode), bits) << int(c.mode);
    std::vector<uint8_t> back(8);
    ASSERT_TRUE(StoreDouble(back, 0, c.order, c.mode, bits));
    EXPECT_EQ(back, *c.bytes) << int(c.mode);
  }
  EXPECT_EQ(LoadDouble(plain, 1, ByteOrder::Little, 1), std::nullopt);
  std::vector<uint8_t> shortBuffer(7);
  EXPECT_FALSE(StoreDouble(shortBuffer, 0, ByteOrder::Little, 1, bits));
  EXPECT_EQ(shortBuffer, std::vector<uint8_t>(7, 0));
}

TEST(ByteCursor, FailedReadsLeaveThePositionAndReportNoValue) {
  ByteCursor in(kBytes);
  in.SetOrder(ByteOrder::Big);
  EXPECT_EQ(in.U16(), 0x0102);
  EXPECT_EQ(in.U32(), 0x03040506u);
  EXPECT_EQ(in.U32(), std::nullopt);
  EXPECT_EQ(in.Position(), 6u);
  EXPECT_EQ(in.U16(), 0x0708);
  uint8_t two[2] = {};
  EXPECT_FALSE(in.Bytes(two));
  EXPECT_FALSE(in.Skip(2));
  EXPECT_EQ(in.U8(), 0x09);
  EXPECT_EQ(in.U8(), std::nullopt);

  in.Seek(100);
  EXPECT_EQ(in.Remaining(), 0u);
  EXPECT_EQ(in.U8(), std::nullopt);
  EXPECT_TRUE(in.Bytes({}));
}

}  // namespace
}  // namespace prt
