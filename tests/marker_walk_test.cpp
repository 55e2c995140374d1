// The marker walk: marker lines, dispatch, the three ways a walk ends.
#include <gtest/gtest.h>

#include "jpeg/byte_region.h"
#include "jpeg/scan_jpeg_markers.h"
#include "support/golden.h"

namespace segsniff::test {
namespace {

std::string file_lines(const std::string& name, std::size_t size) {
  return "reading file " + name + ":\nFilelen " + std::to_string(size) + " Bytes\nfile size " +
         std::to_string(size) + " bytes\n";
}

// A baseline file of 257 bytes: SOI, JFIF APP0, DQT, SOF, DHT, SOS header,
// 100 bytes of scan data without an FF byte, EOI.
Bytes small_baseline_file() {
  Bytes scan;
  for (int i = 1; i <= 100; ++i) scan.u8(static_cast<std::uint8_t>(i));
  return Bytes{}
      .be16(0xFFD8)
      .be16(0xFFE0).be16(16).text("JFIF").raw({0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00})
      .be16(0xFFDB).be16(0x43).fill(65, 0x01)
      .be16(0xFFC0).be16(0x11).fill(15, 0x08)
      .be16(0xFFC4).be16(0x1F).fill(29, 0x00)
      .be16(0xFFDA).be16(0x0C).fill(10, 0x03)
      .append(scan)
      .be16(0xFFD9);
}

TEST(MarkerWalk, SmallBaselineFileGivesExactlyItsFifteenLines) {
  const Bytes file = small_baseline_file();
  ASSERT_EQ(file.size(), 257u);
  RunResult r = run_with_files({{"small.jpg", file}}, {"small.jpg"});
  EXPECT_TRUE(same_text(r.out, banner() + file_lines("small.jpg", 257) +
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

TEST(MarkerWalk, EndOfImageEndsTheWalkAndTrailingBytesAreCountedNotRead) {
  RunResult r = run_with_files({{"bare.jpg", Bytes{0xFF, 0xD8, 0xFF, 0xD9}},
                                {"tail.jpg", Bytes{0xFF, 0xD8, 0xFF, 0xD9, 0xFF, 0xC0, 0x00}}},
                               {"bare.jpg", "tail.jpg"}, /*merge=*/true);
  const std::string walk =
      "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
      "Marker FFD9 at file offset 00000002: (EOI) End of Image\n";
  EXPECT_TRUE(same_text(r.out, banner() + file_lines("bare.jpg", 4) + walk +
                                   file_lines("tail.jpg", 7) + walk +
                                   "Ooops, EOI is not at end of file. pos 00000004 < end 00000007 (diff 3)\n"));
}

TEST(MarkerWalk, LengthPastTheEndEndsTheWalkWithTheOvershoot) {
  // SOF length 20 from offset 4 reaches offset 24; the file has 14 bytes.
  const Bytes file = Bytes{}.be16(0xFFD8).be16(0xFFC0).be16(20).fill(8, 0x00);
  RunResult r = run_with_files({{"cut.jpg", file}}, {"cut.jpg"});
  EXPECT_TRUE(same_text(r.out, banner() + file_lines("cut.jpg", 14) +
                                   "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                                   "Marker FFC0 at file offset 00000002: (SOF) Start of Frame\n"
                                   "  field SOF has len 20\n"));
  EXPECT_TRUE(same_text(r.err, "Ooops, No EOI found. pos 00000018 > end 0000000E (diff 10)\n"));
}

TEST(MarkerWalk, UnknownMarkersAreReportedAndSkippedByTheirLength) {
  // A comment and a progressive frame header: the marker line stays open
  // and the length line completes it.
  const Bytes file = Bytes{}
                         .be16(0xFFD8)
                         .segment(0xFFFE, Bytes{}.text("hi"))
                         .segment(0xFFC2, Bytes{}.fill(3, 0x11))
                         .be16(0xFFD9);
  RunResult r = run_with_files({{"c.jpg", file}}, {"c.jpg"}, /*merge=*/true);
  EXPECT_TRUE(same_text(r.out, banner() + file_lines("c.jpg", 17) +
                                   "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                                   "Marker FFFE at file offset 00000002: illegal marker FFFE\n"
                                   "  field illegal marker has len 4\n"
                                   "Marker FFC2 at file offset 00000008: illegal marker FFC2\n"
                                   "  field illegal marker has len 5\n"
                                   "Marker FFD9 at file offset 0000000F: (EOI) End of Image\n"));
}

Bytes illegal_markers(int count) {
  Bytes b;
  b.be16(0xFFD8);
  for (int i = 0; i < count; ++i) b.be16(static_cast<std::uint16_t>(0xFF01 + i)).be16(2);
  return b.be16(0xFFD9);
}

TEST(MarkerWalk, ThirtyIllegalMarkersAreToleratedTheThirtyFirstEndsTheWalk) {
  // Legal markers in between do not reset the count.
  Bytes thirty = illegal_markers(30);
  Bytes thirty_one = Bytes{}.be16(0xFFD8).be16(0xFFBF).be16(2).append(illegal_markers(30));

  RunResult ok = run_with_files({{"a.jpg", thirty}}, {"a.jpg"});
  std::string want_err;
  for (int i = 0; i < 30; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "illegal marker %04X\n", 0xFF01 + i);
    want_err += line;
  }
  EXPECT_TRUE(same_text(ok.err, want_err));
  EXPECT_NE(ok.out.find("(EOI) End of Image\n"), std::string::npos);

  RunResult gave_up = run_with_files({{"b.jpg", thirty_one}}, {"b.jpg"});
  EXPECT_TRUE(same_text(gave_up.err, "illegal marker FFBF\n" + want_err +
                                         "too many (31) illegal markers found, giving up.\n"));
  EXPECT_EQ(gave_up.out.find("(EOI)"), std::string::npos);
  EXPECT_EQ(gave_up.status, 0);
}

TEST(MarkerWalk, StreamCutInsideItsScanDataLosesItsPositionOnTheLastByte) {
  // The skip stops on the last byte; the marker read there fails.  The marker
  // line shows 0000 at that byte's offset, and the No-EOI line shows that
  // same position with the diff -1.
  const Bytes file = Bytes{}.be16(0xFFD8).be16(0xFFDA).be16(4).raw({0x01, 0x02}).raw({0x11, 0x22, 0x33});
  RunResult r = run_with_files({{"cut.jpg", file}}, {"cut.jpg"}, /*merge=*/true);
  EXPECT_TRUE(same_text(r.out, banner() + file_lines("cut.jpg", 11) +
                                   "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                                   "Marker FFDA at file offset 00000002: (SOS) Start of Scan\n"
                                   "  field SOS has len 4\n"
                                   "  hopefully skipping 2 bytes of compressed image data to next 0xFF.\n"
                                   "  warning: memory has been available for 3 bytes\n"
                                   "get_int16() fails for end of data\n"
                                   "Marker 0000 at file offset 0000000A: illegal marker 0000\n"
                                   "field illegal marker at end of file (len is missing)\n"
                                   "Ooops, No EOI found. pos 0000000A > end 0000000B (diff -1)\n"));
}

// In-process walks over a buffer, for what only the caller can see: the
// cursor, intel_order and the nesting depth afterwards.
struct WalkEnd {
  const char* name;
  Bytes bytes;
  bool reaches_eoi;
};

TEST(MarkerWalk, EveryWayOutRestoresByteOrderAndDepth) {
  const WalkEnd ends[] = {
      {"end of image", Bytes{0xFF, 0xD8, 0xFF, 0xD9}, true},
      {"ran off the window", Bytes{}.be16(0xFFD8).be16(0xFFC0).be16(40), false},
      {"lost its position", Bytes{0xFF, 0xD8, 0xFF}, false},
      {"gave up", illegal_markers(31), false},
  };
  for (const auto& e : ends) {
    ByteRegion region = ByteRegion::over(e.bytes.data(), e.bytes.size());
    WalkContext context;
    context.depth = 3;  // as inside a thumbnail of a thumbnail
    CapturedOutput captured;
    {
      ByteOrderScope little_endian(true);
      scan_jpeg_markers(region, context);
      EXPECT_TRUE(intel_order) << e.name;
    }
    EXPECT_EQ(context.depth, 3) << e.name;
    EXPECT_EQ(!region.failed(), e.reaches_eoi) << e.name;
    if (e.reaches_eoi) {
      EXPECT_EQ(region.cursor, region.end) << e.name;
    }
  }
}

TEST(MarkerWalk, NestedWindowPrintsMarkerOffsetsFromItsBeginAndOoopsPositionsInTheFile) {
  // A stream found at offset 6 of a larger input, as carving walks it: the
  // marker lines count from the stream, the Ooops line names file offsets.
  const Bytes input = Bytes{}.fill(6, 0x00).raw({0xFF, 0xD8, 0xFF, 0xD9}).fill(2, 0x00);
  ByteRegion region{input.data(), 6, input.size(), 6};
  WalkContext context;
  CapturedOutput captured;
  scan_jpeg_markers(region, context);
  EXPECT_TRUE(same_text(captured.all(),
                        "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                        "Marker FFD9 at file offset 00000002: (EOI) End of Image\n"
                        "Ooops, EOI is not at end of file. pos 0000000A < end 0000000C (diff 2)\n"));
  EXPECT_EQ(region.cursor, 10u);
  EXPECT_EQ(context.depth, 0);
}

TEST(MarkerWalk, MarkersAreReadBigEndianInsideLittleEndianBlocks) {
  const Bytes b = Bytes{}.be16(0xFFD8).segment(0xFFC4, Bytes{0x00}).be16(0xFFD9);
  ByteRegion region = ByteRegion::over(b.data(), b.size());
  WalkContext context;
  CapturedOutput captured;
  ByteOrderScope little_endian(true);
  scan_jpeg_markers(region, context);
  EXPECT_TRUE(same_text(captured.all(),
                        "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                        "Marker FFC4 at file offset 00000002: (DHT) Define Huffman Table\n"
                        "  field DHT has len 3\n"
                        "Marker FFD9 at file offset 00000007: (EOI) End of Image\n"));
}

}  // namespace
}  // namespace segsniff::test
