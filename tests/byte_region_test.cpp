// Window arithmetic: positions are 64-bit offsets, and no test or move may
// wrap around.
#include <gtest/gtest.h>

#include "jpeg/byte_region.h"

namespace segsniff {
namespace {

TEST(ByteRegionWindow, PositionsAndMovesNeverWrap) {
  const std::uint8_t bytes[16] = {};
  ByteRegion r(bytes, 2, 6);
  EXPECT_FALSE(r.contains(1));
  EXPECT_FALSE(r.contains(6));
  EXPECT_TRUE(r.contains_or_end(6));
  EXPECT_FALSE(r.contains_or_end(no_position));
  EXPECT_TRUE(r.holds(4, 2));
  EXPECT_FALSE(r.holds(4, 3));
  EXPECT_FALSE(r.holds(5, ~std::uint64_t{0}));
  EXPECT_TRUE(r.bytes(5, 2).empty());
  EXPECT_EQ(ByteRegion::after(no_position, 1), no_position);
  EXPECT_EQ(ByteRegion::after(10, 0xFFFFFFFFu), 10 + 0xFFFFFFFFull);

  r.seek(3);
  r.move_cursor(65533);  // a segment length past the window is just a number
  EXPECT_EQ(r.cursor(), 65536u);
  r.move_cursor(-65535);
  EXPECT_EQ(r.cursor(), 1u);
  r.move_cursor(-2);
  EXPECT_TRUE(r.failed());
  r.move_cursor(100);
  EXPECT_TRUE(r.failed());
  r.seek(no_position - 2);
  r.move_cursor(2);
  EXPECT_TRUE(r.failed());

  r = ByteRegion(bytes, 4, 12);
  ByteRegion s = r.slice(6, 40);
  EXPECT_EQ(s.begin(), 6u);
  EXPECT_EQ(s.end(), 12u);
  EXPECT_EQ(s.cursor(), 6u);
  ByteRegion inverted = r.slice(10, 8);
  EXPECT_EQ(inverted.begin(), inverted.end());
  EXPECT_FALSE(inverted.contains(inverted.cursor()));
}

}  // namespace
}  // namespace segsniff
