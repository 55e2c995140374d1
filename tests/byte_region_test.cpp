// The checked readers and the window tests.
#include <gtest/gtest.h>

#include "jpeg/byte_region.h"
#include "support/golden.h"

namespace segsniff {
namespace {

using test::CapturedOutput;

TEST(ByteRegionReaders, ByteOrderFollowsIntelOrderAndValuesAreUnsigned) {
  const struct {
    std::vector<std::uint8_t> bytes;
    bool intel;
    std::uint32_t want;
  } cases[] = {
      {{0xFF, 0x02}, false, 0xFF02},
      {{0x01, 0xFF}, true, 0xFF01},
      {{0xFF, 0x00, 0x00, 0x02}, false, 0xFF000002u},
      {{0x02, 0x00, 0x00, 0xFF}, true, 0xFF000002u},
  };
  for (const auto& c : cases) {
    ByteRegion r = ByteRegion::over(c.bytes.data(), c.bytes.size());
    ByteOrderScope order(c.intel);
    EXPECT_EQ(c.bytes.size() == 2 ? get_int16(r) : get_int32(r), c.want);
    EXPECT_EQ(r.cursor, c.bytes.size());
  }
  EXPECT_FALSE(intel_order);
}

TEST(ByteRegionReaders, FailedReadPoisonsTheRegionAndReportsEveryTime) {
  const std::uint8_t five[] = {0x12, 0x34, 1, 2, 3};
  ByteRegion r = ByteRegion::over(five, 5);
  CapturedOutput captured;
  EXPECT_EQ(get_int16(r), 0x1234);
  EXPECT_EQ(get_int32(r), 0u);  // three bytes left
  EXPECT_TRUE(r.failed());
  EXPECT_EQ(get_int16(r), 0);
  EXPECT_TRUE(r.failed());
  EXPECT_EQ(captured.err(),
            "get_int32() fails for end of data\n"
            "get_int16() fails for end of data\n");
  EXPECT_EQ(captured.out(), "");
}

TEST(ByteRegionWindow, PositionsAndMovesNeverWrap) {
  const std::uint8_t bytes[16] = {};
  ByteRegion r{bytes, 2, 6, 2};
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

  r.cursor = 3;
  r.move_cursor(65533);  // a segment length past the window is just a number
  EXPECT_EQ(r.cursor, 65536u);
  r.move_cursor(-65535);
  EXPECT_EQ(r.cursor, 1u);
  r.move_cursor(-2);
  EXPECT_TRUE(r.failed());
  r.move_cursor(100);
  EXPECT_TRUE(r.failed());
}

TEST(ByteRegionWindow, SliceIsCutToTheWindow) {
  const std::uint8_t bytes[16] = {};
  ByteRegion r{bytes, 4, 12, 4};
  ByteRegion s = r.slice(6, 40);
  EXPECT_EQ(s.begin, 6u);
  EXPECT_EQ(s.end, 12u);
  EXPECT_EQ(s.cursor, 6u);
  ByteRegion inverted = r.slice(10, 8);
  EXPECT_EQ(inverted.begin, inverted.end);
  EXPECT_FALSE(inverted.contains(inverted.cursor));
}

}  // namespace
}  // namespace segsniff
