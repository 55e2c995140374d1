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
  std::string out, err;
  Offset cursor_after;
};

void run_cases(const std::vector<DecoderCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ByteRegion region = ByteRegion::over(c.bytes.data(), c.bytes.size());
    region.seek(c.cursor);
    WalkContext context{text_printer()};
    CapturedOutput captured;
    c.decode(region, context);
    EXPECT_TRUE(same_text(captured.out(), c.out));
    EXPECT_TRUE(same_text(captured.err(), c.err));
    EXPECT_EQ(region.cursor(), c.cursor_after);
  }
}

auto sos_length = [](ByteRegion& r, WalkContext& c) { scan_length_field(r, "SOS", c.printer); };
auto skip = [](ByteRegion& r, WalkContext& c) { skip_scan_data(r, c); };
auto dqt = [](ByteRegion& r, WalkContext& c) { scan_dqt(r, c.printer); };
auto dri = [](ByteRegion& r, WalkContext& c) { scan_dri(r, c.printer); };

TEST(SegmentDecoders, LengthsAndRestartIntervals) {
  run_cases({
      {"length 0 goes back onto the length field", Bytes{0xFF, 0xDA, 0x00, 0x00}, 2, sos_length,
       "  field SOS has len 0\n", "", 2},
      {"one byte left", Bytes{0xFF, 0xDA, 0x00}, 2, sos_length, "",
       "field SOS at end of file (len is missing)\n", 2},
      {"DQT length 0", Bytes{0xFF, 0xDB, 0x00, 0x00}, 2, dqt, "  DQT has len 0\n", "", 2},
      {"DQT one byte left", Bytes{0xFF, 0xDB, 0x00}, 2, dqt, "",
       "DQT at end of file (len is missing)\n", 2},
      {"DRI", Bytes{0x00, 0x04, 0x00, 0x10}, 0, dri, "  DRI has value 0010\n", "", 4},
      {"DRI length 6 is reported, not followed", Bytes{0x00, 0x06, 0xAB, 0xCD, 0x00, 0x00}, 0, dri,
       "  DRI has value ABCD\n", "DRI has illegal len 6\n", 4},
      {"DRI interval missing", Bytes{0x00, 0x04, 0x00}, 0, dri, "",
       "DRI at end of file (len is missing)\n", 0},
  });
}

TEST(SegmentDecoders, ScanSkipStopsOnlyOnTheFirstEndOfImagePair) {
  run_cases({
      {"stuffing, restart markers and other pairs pass",
       Bytes{0xFF, 0x00, 0xFF, 0xD0, 0xFF, 0xFF, 0xD8, 0xFF, 0xD7, 0xFF, 0xD9}, 0, skip,
       "  hopefully skipping 9 bytes of compressed image data to next 0xFF.\n", "", 9},
      {"five bytes after the pair", Bytes{0x01, 0x02, 0xFF, 0xD9, 1, 2, 3, 4, 5}, 0, skip,
       "  hopefully skipping 2 bytes of compressed image data to next 0xFF.\n"
       "  warning: memory has been available for 9 bytes\n", "", 2},
      {"no pair stops on the last byte", Bytes{0x00, 0xFF, 0xD8, 0xFF}, 0, skip,
       "  hopefully skipping 3 bytes of compressed image data to next 0xFF.\n"
       "  warning: memory has been available for 4 bytes\n", "", 3},
      {"start beyond the window", Bytes{0x00, 0x00}, 5, skip,
       "  hopefully skipping 0 bytes of compressed image data to next 0xFF.\n"
       "  warning: memory has been available for -3 bytes\n", "", 5},
  });
}

}  // namespace
}  // namespace segsniff::test
