// The marker walk: marker lines, dispatch, the three ways a walk ends.
#include <gtest/gtest.h>

#include <cstdio>

#include "jpeg/byte_region.h"
#include "jpeg/scan_jpeg_markers.h"
#include "support/golden.h"

namespace segsniff::test {
namespace {

// SOI, JFIF APP0, DQT, SOF, DHT, SOS header, 100 bytes of scan data without
// an FF byte, EOI: 257 bytes.
TEST(MarkerWalk, SmallBaselineFileGivesExactlyItsFifteenLines) {
  Bytes scan;
  for (int i = 1; i <= 100; ++i) scan.u8(static_cast<std::uint8_t>(i));
  const Bytes file = Bytes{}
      .be16(0xFFD8)
      .be16(0xFFE0).be16(16).text("JFIF").raw({0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00})
      .be16(0xFFDB).be16(0x43).fill(65, 0x01)
      .be16(0xFFC0).be16(0x11).fill(15, 0x08)
      .be16(0xFFC4).be16(0x1F).fill(29, 0x00)
      .be16(0xFFDA).be16(0x0C).fill(10, 0x03)
      .append(scan)
      .be16(0xFFD9);
  RunResult r = run_with_files({{"small.jpg", file}}, {"small.jpg"});
  EXPECT_TRUE(same_text(r.out, banner() + reading_lines("small.jpg", 257) +
                                   "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                                   "Marker FFE0 at file offset 00000002: (APP0)\n"
                                   "  APP0 has len 16 and magic number 4A464946 ('JFIF')\n"
                                   "    skipping jfif data of len 10\n"
                                   "0001 0100 0001 0001 0000 \n"
                                   "Marker FFDB at file offset 00000014: (DQT) Define Quantization Table\n"
                                   "  DQT has len 67\n"
                                   "Marker FFC0 at file offset 00000059: (SOF) Start of Frame\n"
                                   "  field SOF has len 17\n"
                                   "Marker FFC4 at file offset 0000006C: (DHT) Define Huffman Table\n"
                                   "  field DHT has len 31\n"
                                   "Marker FFDA at file offset 0000008D: (SOS) Start of Scan\n"
                                   "  field SOS has len 12\n"
                                   "  hopefully skipping 100 bytes of compressed image data to next 0xFF.\n"
                                   "Marker FFD9 at file offset 000000FF: (EOI) End of Image\n"));
  EXPECT_TRUE(same_text(r.err, ""));
  EXPECT_EQ(r.status, 0);
}

// Markers without a decoder, each skipped by its length (3: one byte after).
Bytes illegal_markers(int count) {
  Bytes b{0xFF, 0xD8};
  for (int i = 0; i < count; ++i) b.be16(static_cast<std::uint16_t>(0xFF01 + i)).be16(3).u8(0xFF);
  return b.be16(0xFFD9);
}

std::string illegal_marker_lines(int count) {
  std::string lines;
  for (int i = 0; i < count; ++i) {
    char line[128];
    std::snprintf(line, sizeof line,
                  "Marker %04X at file offset %08X: illegal marker %04X\n"
                  "  field illegal marker has len 3\n",
                  0xFF01 + i, 2 + 5 * i, 0xFF01 + i);
    lines += line;
  }
  return lines;
}

const std::string soi = "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n";

// Each window [begin, size) is walked in process as a thumbnail two levels
// down inside a little-endian block is walked: every way out must leave the
// depth and the byte order as it found them.
TEST(MarkerWalk, WaysToEndAWalk) {
  const struct {
    const char* name;
    Bytes bytes;
    Offset begin;
    std::string want;
    Offset cursor;
  } cases[] = {
      // Marker lines count from the window, Ooops lines name file offsets.
      {"stream inside a larger input, bytes after its EOI",
       Bytes{}.fill(6, 0x00).raw({0xFF, 0xD8, 0xFF, 0xD9}).fill(2, 0x00), 6,
       soi + "Marker FFD9 at file offset 00000002: (EOI) End of Image\n"
             "Ooops, EOI is not at end of file. pos 0000000A < end 0000000C (diff 2)\n",
       10},
      // Lengths are big-endian even inside a little-endian block.
      {"length past the end", Bytes{}.be16(0xFFD8).be16(0xFFC0).be16(20).fill(8, 0x00), 0,
       soi + "Marker FFC0 at file offset 00000002: (SOF) Start of Frame\n"
             "  field SOF has len 20\n"
             "Ooops, No EOI found. pos 00000018 > end 0000000E (diff 10)\n",
       no_position},
      {"thirty illegal markers are tolerated", illegal_markers(30), 0,
       soi + illegal_marker_lines(30) + "Marker FFD9 at file offset 00000098: (EOI) End of Image\n",
       154},
      {"the thirty-first ends the walk", illegal_markers(31), 0,
       soi + illegal_marker_lines(31) + "too many (31) illegal markers found, giving up.\n",
       no_position},
      // The scan skip stops on the last byte, where the marker read fails:
      // the lines show that byte's offset, and the diff is -1.
      {"cut inside its scan data", Bytes{0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x04, 0x01, 0x02, 0x11, 0x22, 0x33}, 0,
       soi + "Marker FFDA at file offset 00000002: (SOS) Start of Scan\n"
             "  field SOS has len 4\n"
             "  hopefully skipping 2 bytes of compressed image data to next 0xFF.\n"
             "  warning: memory has been available for 3 bytes\n"
             "get_int16() fails for end of data\n"
             "Marker 0000 at file offset 0000000A: illegal marker 0000\n"
             "field illegal marker at end of file (len is missing)\n"
             "Ooops, No EOI found. pos 0000000A > end 0000000B (diff -1)\n",
       no_position},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ByteRegion region(c.bytes.data(), c.begin, c.bytes.size());
    WalkContext context{text_printer()};
    context.depth = 2;
    CapturedOutput captured;
    {
      ByteOrderScope little_endian(true);
      scan_jpeg_markers(region, context);
      EXPECT_TRUE(intel_order);
    }
    EXPECT_EQ(context.depth, 2);
    EXPECT_TRUE(same_text(captured.all(), c.want));
    EXPECT_EQ(region.cursor(), c.cursor);
  }
}

}  // namespace
}  // namespace segsniff::test
