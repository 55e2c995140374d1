// The segment decoders: length skip, scan-data skip, DQT, DRI.  Each case is
// a window of bytes with the cursor just after the marker.
#include <gtest/gtest.h>

#include <functional>

#include "jpeg/byte_region.h"
#include "jpeg/scan_dqt.h"
#include "jpeg/scan_dri.h"
#include "jpeg/scan_length_field.h"
#include "jpeg/skip_scan_data.h"
#include "support/golden.h"

namespace segsniff::test {
namespace {

struct DecoderCase {
  const char* name;
  Bytes bytes;
  Offset cursor;  // where the decoder starts
  std::function<void(ByteRegion&, WalkContext&)> decode;
  std::string out;
  std::string err;
  Offset cursor_after;
};

void run_cases(const std::vector<DecoderCase>& cases) {
  for (const auto& c : cases) {
    ByteRegion region = ByteRegion::over(c.bytes.data(), c.bytes.size());
    region.cursor = c.cursor;
    WalkContext context;
    CapturedOutput captured;
    c.decode(region, context);
    EXPECT_TRUE(same_text(captured.out(), c.out)) << c.name;
    EXPECT_TRUE(same_text(captured.err(), c.err)) << c.name;
    EXPECT_EQ(region.cursor, c.cursor_after) << c.name;
  }
}

auto length_field(const char* field) {
  return [field](ByteRegion& r, WalkContext&) { scan_length_field(r, field); };
}
auto skip = [](ByteRegion& r, WalkContext& c) { skip_scan_data(r, c); };
auto dqt = [](ByteRegion& r, WalkContext&) { scan_dqt(r); };
auto dri = [](ByteRegion& r, WalkContext&) { scan_dri(r); };

TEST(SegmentDecoders, LengthFieldSkipsByTheLengthOrReportsItMissing) {
  run_cases({
      {"SOF of 17", Bytes{}.be16(17).fill(15, 0), 0, length_field("SOF"),
       "  field SOF has len 17\n", "", 17},
      {"length past the window is not checked here", Bytes{}.be16(0xFFFF), 0,
       length_field("DHT"), "  field DHT has len 65535\n", "", 65535},
      {"length 0 goes back onto the length field", Bytes{0xFF, 0xD8, 0x00, 0x00}, 2,
       length_field("illegal marker"), "  field illegal marker has len 0\n", "", 2},
      {"one byte left", Bytes{0xFF, 0xDA, 0x00}, 2, length_field("SOS"), "",
       "field SOS at end of file (len is missing)\n", 2},
      {"lost position", Bytes{0x00, 0x10}, no_position, length_field("illegal marker"), "",
       "field illegal marker at end of file (len is missing)\n", no_position},
  });
}

const std::string skip_line_0 = "  hopefully skipping 0 bytes of compressed image data to next 0xFF.\n";

TEST(SegmentDecoders, ScanSkipStopsOnlyOnTheFirstEndOfImagePair) {
  run_cases({
      {"pair is the last two bytes", Bytes{0x01, 0x02, 0x03, 0xFF, 0xD9}, 0, skip,
       "  hopefully skipping 3 bytes of compressed image data to next 0xFF.\n", "", 3},
      {"stuffing, restart markers and other pairs pass",
       Bytes{0xFF, 0x00, 0xFF, 0xD0, 0xFF, 0xFF, 0xD8, 0xFF, 0xD7, 0xFF, 0xD9}, 0, skip,
       "  hopefully skipping 9 bytes of compressed image data to next 0xFF.\n", "", 9},
      {"five bytes after the pair", Bytes{0x01, 0x02, 0xFF, 0xD9, 1, 2, 3, 4, 5}, 0, skip,
       "  hopefully skipping 2 bytes of compressed image data to next 0xFF.\n"
       "  warning: memory has been available for 9 bytes\n", "", 2},
      {"no pair stops on the last byte", Bytes{0x00, 0xFF, 0xD8, 0xFF}, 0, skip,
       "  hopefully skipping 3 bytes of compressed image data to next 0xFF.\n"
       "  warning: memory has been available for 4 bytes\n", "", 3},
      {"one byte left", Bytes{0xFF, 0xDA, 0x00}, 2, skip,
       skip_line_0 + "  warning: memory has been available for 1 bytes\n", "", 2},
      {"start beyond the window", Bytes{0x00, 0x00}, 5, skip,
       skip_line_0 + "  warning: memory has been available for -3 bytes\n", "", 5},
  });
}

TEST(SegmentDecoders, ScanSkipHonoursTheWindowsBegin) {
  // A window that starts after an FF D9 pair must not find it, even when the
  // search was asked before from an earlier window over the same bytes.
  const Bytes b{0xFF, 0xD9, 0x00, 0x00, 0x00, 0xFF, 0xD9};
  WalkContext context;
  CapturedOutput captured;
  ByteRegion whole = ByteRegion::over(b.data(), b.size());
  skip_scan_data(whole, context);
  EXPECT_EQ(whole.cursor, 0u);
  ByteRegion later{b.data(), 2, b.size(), 2};
  skip_scan_data(later, context);
  EXPECT_EQ(later.cursor, 5u);
}

TEST(SegmentDecoders, QuantizationTableLengthIsReportedAndSkipped) {
  run_cases({
      {"length 67", Bytes{}.be16(67).fill(65, 1), 0, dqt, "  DQT has len 67\n", "", 67},
      {"length 0 is read again as a marker", Bytes{0xFF, 0xDB, 0x00, 0x00}, 2, dqt,
       "  DQT has len 0\n", "", 2},
      {"one byte left", Bytes{0xFF, 0xDB, 0x00}, 2, dqt, "",
       "DQT at end of file (len is missing)\n", 2},
  });
}

TEST(SegmentDecoders, RestartIntervalAlwaysTakesFourBytes) {
  run_cases({
      {"well formed", Bytes{0x00, 0x04, 0x00, 0x10}, 0, dri, "  DRI has value 0010\n", "", 4},
      {"length 6 is reported, not followed", Bytes{0x00, 0x06, 0xAB, 0xCD, 0x00, 0x00}, 0, dri,
       "  DRI has value ABCD\n", "DRI has illegal len 6\n", 4},
      {"interval missing", Bytes{0x00, 0x04, 0x00}, 0, dri, "",
       "DRI at end of file (len is missing)\n", 0},
  });
}

}  // namespace
}  // namespace segsniff::test
