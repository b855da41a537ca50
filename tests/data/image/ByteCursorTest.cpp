#include "data/image/ByteCursor.h"

#include <gtest/gtest.h>

namespace prt {
namespace {

const std::vector<uint8_t> kBytes{1, 2, 3, 4, 5, 6, 7, 8, 9};

// The first read that does not fit is the error; later reads answer 0
// even where they would fit, so the caller checks once.
TEST(ByteCursor, TheFirstFailedReadStaysTheError) {
  ByteCursor in(kBytes);
  in.SetOrder(ByteOrder::Big);
  in.SetPlace(ContainerError::Part::Section, 2000);
  EXPECT_EQ(in.U16(), 0x0102);
  EXPECT_EQ(in.U32(), 0x03040506u);
  EXPECT_FALSE(in.Failed());
  EXPECT_EQ(in.U32(), 0u);
  EXPECT_EQ(in.Position(), 6u);
  EXPECT_EQ(in.U16(), 0u);  // two bytes are left, but the cursor has failed
  in.Seek(0);
  uint8_t four[4] = {9, 9, 9, 9};
  in.Bytes(four);
  EXPECT_EQ(std::vector<uint8_t>(four, four + 4), std::vector<uint8_t>(4, 0));
  in.Fail(0, "a later rule");
  ASSERT_TRUE(in.Fault());
  EXPECT_EQ(in.Fault()->part, ContainerError::Part::Section);
  EXPECT_EQ(in.Fault()->section, 2000u);
  EXPECT_EQ(in.Fault()->offset, 6u);
  EXPECT_EQ(in.Fault()->rule, "the file ends at 0x9, inside a 4-byte field");

  ByteCursor past(kBytes);
  past.Seek(100);
  past.Skip(1);
  EXPECT_EQ(past.Fault()->rule, "the file ends at 0x9");
  EXPECT_EQ(past.Fault()->offset, 100u);
}

}  // namespace
}  // namespace prt
