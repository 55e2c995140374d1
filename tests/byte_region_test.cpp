// Window arithmetic: positions are 64-bit offsets, and no test or move may
// wrap around; the readers' out-of-bytes conventions; the byte-pair search.
#include <gtest/gtest.h>

#include <functional>

#include "jpeg/byte_region.h"
#include "support/golden.h"

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

namespace segsniff::test {
namespace {

constexpr std::uint64_t none = ~0ull;  // a quiet read gave nothing

template <typename T>
std::uint64_t or_none(const std::optional<T>& value) {
  return value ? std::uint64_t{*value} : none;
}

// The reader vocabulary's out-of-bytes results, one row per reader and
// window: what it gives, where the cursor is left, what is printed.  The
// checked readers report and poison (and report again on a poisoned
// region); the quiet ones leave the region as it was.
TEST(ByteRegionReaders, OutOfBytesConventions) {
  const std::uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05};
  struct Case {
    const char* name;
    Offset end;     // window [1, end), cursor at 1 (or lost)
    bool lost;      // the cursor has no position
    std::function<std::uint64_t(ByteRegion&)> read;
    std::uint64_t value;  // what the read gives (0 or "none" when it fails)
    Offset cursor;        // where it leaves the cursor
    const char* printed;
  };
  auto get16 = [](ByteRegion& r) -> std::uint64_t { return get_int16(r, text_printer()); };
  auto get32 = [](ByteRegion& r) -> std::uint64_t { return get_int32(r, text_printer()); };
  auto try16 = [](ByteRegion& r) -> std::uint64_t { return or_none(try_int16(r)); };
  auto try32 = [](ByteRegion& r) -> std::uint64_t { return or_none(try_int32(r)); };
  auto byte = [](ByteRegion& r) -> std::uint64_t { return or_none(try_byte(r)); };
  auto run = [](ByteRegion& r) -> std::uint64_t {
    auto span = try_bytes(r, 3);
    return span ? span->front() : none;
  };
  const Case cases[] = {
      {"get16, two bytes", 3, false, get16, 0x0203, 3, ""},
      {"get16, one byte", 2, false, get16, 0, no_position, "get_int16() fails for end of data\n"},
      {"get16, lost", 5, true, get16, 0, no_position, "get_int16() fails for end of data\n"},
      {"get32, three bytes", 4, false, get32, 0, no_position, "get_int32() fails for end of data\n"},
      {"get32, four bytes", 5, false, get32, 0x02030405, 5, ""},
      {"try16, one byte", 2, false, try16, none, 1, ""},
      {"try16, lost", 5, true, try16, none, no_position, ""},
      {"try32, three bytes", 4, false, try32, none, 1, ""},
      {"try32, four bytes", 5, false, try32, 0x02030405, 5, ""},
      {"byte, empty window", 1, false, byte, none, 1, ""},
      {"byte, one byte", 2, false, byte, 0x02, 2, ""},
      {"bytes, two of three", 3, false, run, none, 1, ""},
      {"bytes, three", 4, false, run, 0x02, 4, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ByteRegion r(bytes, 1, c.end);
    if (c.lost) r.fail();
    CapturedOutput captured;
    EXPECT_EQ(c.read(r), c.value);
    EXPECT_EQ(r.cursor(), c.cursor);
    EXPECT_EQ(captured.err(), c.printed);
    EXPECT_EQ(captured.out(), "");
  }
}

// The byte-pair search: within [from, to) and the window, both bytes inside
// the window, the first pair found.
TEST(ByteRegionReaders, PairSearchStaysInTheWindow) {
  const std::uint8_t bytes[] = {0xFF, 0xD8, 0x00, 0xFF, 0xFF, 0xD8, 0xFF, 0xD8};
  struct Case {
    Offset begin, end, from, to;
    Offset want;
  };
  const Case cases[] = {
      {0, 8, 0, 8, 0},                    // at the window's start
      {0, 8, 1, 8, 4},                    // FF FF D8: the second FF
      {1, 8, 0, 8, 4},                    // from before the window
      {0, 8, 5, 8, 6},                    // the window's last two bytes
      {0, 7, 5, 8, no_position},          // the D8 lies past the window
      {2, 8, 2, 4, no_position},          // a pair starting at `to` is not found
      {2, 8, 2, 5, 4},
      {0, 1, 0, 1, no_position},          // a one-byte window holds no pair
      {3, 3, 0, 8, no_position},          // an empty one
  };
  for (const Case& c : cases) {
    const ByteRegion r(bytes, c.begin, c.end);
    EXPECT_EQ(find_byte_pair(r, c.from, c.to, 0xFF, 0xD8), c.want)
        << "window [" << c.begin << ", " << c.end << "), search [" << c.from << ", " << c.to << ")";
  }
}

}  // namespace
}  // namespace segsniff::test
