// The checked readers and the window tests.
#include <gtest/gtest.h>

#include "jpeg/byte_region.h"
#include "support/golden.h"

namespace segsniff {
namespace {

using test::CapturedOutput;

struct OrderCase {
  std::vector<std::uint8_t> bytes;
  bool intel;
  std::uint32_t want;
};

TEST(ByteRegionReaders, ByteOrderFollowsIntelOrderOnEveryCall) {
  const OrderCase cases[] = {
      {{0x01, 0x02}, false, 258},
      {{0x01, 0x02}, true, 513},
      {{0xFF, 0xFF}, false, 65535},  // unsigned, never negative
      {{0x00, 0x00, 0x01, 0x02}, false, 258},
      {{0x02, 0x01, 0x00, 0x00}, true, 258},
      {{0xFF, 0xFF, 0xFF, 0xFE}, false, 0xFFFFFFFEu},
  };
  for (const auto& c : cases) {
    ByteRegion r = ByteRegion::over(c.bytes.data(), c.bytes.size());
    ByteOrderScope order(c.intel);
    std::uint32_t have = c.bytes.size() == 2 ? get_int16(r) : get_int32(r);
    EXPECT_EQ(have, c.want) << "bytes " << c.bytes.size() << " intel " << c.intel;
    EXPECT_EQ(r.cursor, c.bytes.size());
  }
  EXPECT_FALSE(intel_order);
}

TEST(ByteRegionReaders, FailedReadPoisonsTheRegionAndReportsEveryTime) {
  const std::uint8_t two[] = {0x12, 0x34};
  ByteRegion r = ByteRegion::over(two, 2);
  CapturedOutput captured;
  EXPECT_EQ(get_int16(r), 0x1234);
  EXPECT_EQ(r.cursor, r.end);
  EXPECT_EQ(get_int16(r), 0);
  EXPECT_TRUE(r.failed());
  EXPECT_EQ(captured.err(), "get_int16() fails for end of data\n");
  EXPECT_EQ(get_int16(r), 0);
  EXPECT_EQ(get_int32(r), 0u);
  EXPECT_EQ(captured.err(),
            "get_int16() fails for end of data\n"
            "get_int16() fails for end of data\n"
            "get_int32() fails for end of data\n");
  EXPECT_EQ(captured.out(), "");
}

TEST(ByteRegionReaders, Int32WithThreeBytesLeftFailsAndLosesThePosition) {
  const std::uint8_t three[] = {1, 2, 3};
  ByteRegion r = ByteRegion::over(three, 3);
  CapturedOutput captured;
  EXPECT_EQ(get_int32(r), 0u);
  EXPECT_TRUE(r.failed());
  EXPECT_EQ(captured.err(), "get_int32() fails for end of data\n");
}

TEST(ByteRegionWindow, PositionTests) {
  const std::uint8_t bytes[8] = {};
  ByteRegion r{bytes, 2, 6, 2};
  EXPECT_FALSE(r.contains(1));
  EXPECT_TRUE(r.contains(2));
  EXPECT_TRUE(r.contains(5));
  EXPECT_FALSE(r.contains(6));
  EXPECT_TRUE(r.contains_or_end(6));
  EXPECT_FALSE(r.contains_or_end(7));
  EXPECT_FALSE(r.contains(no_position));
  EXPECT_FALSE(r.contains_or_end(no_position));
  ByteRegion empty{bytes, 3, 3, 3};
  EXPECT_FALSE(empty.contains(3));
  EXPECT_TRUE(empty.contains_or_end(3));
  EXPECT_TRUE(r.holds(4, 2));
  EXPECT_FALSE(r.holds(4, 3));
  EXPECT_FALSE(r.holds(5, ~std::uint64_t{0}));  // no wrap
  EXPECT_TRUE(r.bytes(5, 2).empty());
}

TEST(ByteRegionWindow, CursorMovesNeverWrapAndFailedStaysFailed) {
  const std::uint8_t bytes[4] = {};
  ByteRegion r = ByteRegion::over(bytes, 4);
  r.cursor = 3;
  r.move_cursor(-2);
  EXPECT_EQ(r.cursor, 1u);
  r.move_cursor(-5);
  EXPECT_TRUE(r.failed());
  r.move_cursor(100);
  EXPECT_TRUE(r.failed());
  r.cursor = 2;
  r.move_cursor(65533);  // a segment length past the window is just a number
  EXPECT_EQ(r.cursor, 65535u);
  EXPECT_FALSE(r.contains(r.cursor));
  EXPECT_EQ(ByteRegion::after(no_position, 1), no_position);
  EXPECT_EQ(ByteRegion::after(10, 0xFFFFFFFFu), 10 + 0xFFFFFFFFull);
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
