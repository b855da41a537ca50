#include "data/image/ByteCursor.h"

#include <gtest/gtest.h>

#include <vector>

namespace prt {
namespace {

const std::vector<uint8_t> kBytes{1, 2, 3, 4, 5, 6, 7, 8, 9};

TEST(LoadUInt, ReadsEitherOrderInsideTheBufferOnly) {
  const struct { size_t at; unsigned width; ByteOrder order; std::optional<uint64_t> value; } cases[] = {
      {0, 2, ByteOrder::Little, 0x0201},
      {1, 4, ByteOrder::Big, 0x02030405},
      {1, 8, ByteOrder::Little, 0x0908070605040302},
      {8, 1, ByteOrder::Little, 0x09},
      {8, 2, ByteOrder::Little, std::nullopt},
      {2, 8, ByteOrder::Little, std::nullopt},
      {SIZE_MAX - 1, 4, ByteOrder::Little, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(LoadUInt(kBytes, c.at, c.width, c.order), c.value) << c.at << "/" << c.width;
  std::vector<uint8_t> bytes(4, 0);
  EXPECT_FALSE(StoreUInt(bytes, 1, 4, ByteOrder::Little, 1));
  EXPECT_EQ(bytes, std::vector<uint8_t>(4, 0));
}

TEST(ByteCursor, FailedReadsLeaveThePositionAndReportNoValue) {
  ByteCursor in(kBytes);
  in.SetOrder(ByteOrder::Big);
  EXPECT_EQ(in.U16(), 0x0102);
  EXPECT_EQ(in.U32(), 0x03040506u);
  EXPECT_EQ(in.U32(), std::nullopt);
  EXPECT_EQ(in.Position(), 6u);
  uint8_t four[4] = {};
  EXPECT_FALSE(in.Bytes(four));
  EXPECT_FALSE(in.Skip(4));
  EXPECT_EQ(in.U16(), 0x0708);
  in.Seek(100);
  EXPECT_EQ(in.Remaining(), 0u);
  EXPECT_EQ(in.U8(), std::nullopt);
}

}  // namespace
}  // namespace prt
