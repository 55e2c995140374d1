// The application segment scanner: APP line, dispatch by magic, capped hex
// dumps, and the walk going on at the declared segment end.
#include <gtest/gtest.h>

#include "jpeg/byte_region.h"
#include "jpeg/scan_application_segment.h"
#include "jpeg/scan_jpeg_markers.h"
#include "support/golden.h"

namespace segsniff::test {
namespace {

std::string repeat(const std::string& piece, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += piece;
  return all;
}

const std::string soi = "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n";

// SOI and the bytes of each case, walked in process.
TEST(ApplicationSegment, PayloadDumps) {
  const struct {
    const char* name;
    Bytes after_soi;
    std::string want;
  } cases[] = {
      {"JFIF in any APP segment: 32 bytes shown",
       Bytes{}.segment(0xFFEF, Bytes{}.text("JFIF").fill(40, 0x5A)).be16(0xFFD9),
       "Marker FFEF at file offset 00000002: (APP15)\n"
       "  APP15 has len 46 and magic number 4A464946 ('JFIF')\n"
       "    skipping jfif data of len 40\n" + repeat("5A5A ", 16) + "...\n"
       "Marker FFD9 at file offset 00000032: (EOI) End of Image\n"},
      {"unknown payload of 321 bytes: 320 shown",
       Bytes{}.segment(0xFFE2, Bytes{}.text("Meta").fill(321, 0xC3)).be16(0xFFD9),
       "Marker FFE2 at file offset 00000002: (APP2)\n"
       "  APP2 has len 327 and magic number 4D657461 ('Meta')\n"
       "  unknown application 4D657461\n" + repeat("C3C3 ", 160) + "...\n"
       "Marker FFD9 at file offset 0000014B: (EOI) End of Image\n"},
      {"exactly 320 bytes: all shown",
       Bytes{}.segment(0xFFE2, Bytes{}.text("Meta").fill(320, 0xC3)).be16(0xFFD9),
       "Marker FFE2 at file offset 00000002: (APP2)\n"
       "  APP2 has len 326 and magic number 4D657461 ('Meta')\n"
       "  unknown application 4D657461\n" + repeat("C3C3 ", 160) + "\n"
       "Marker FFD9 at file offset 0000014A: (EOI) End of Image\n"},
      {"odd count: the last byte without a space",
       Bytes{}.segment(0xFFE4, Bytes{}.text("Meta").raw({0x0A, 0x0B, 0x0C})).be16(0xFFD9),
       "Marker FFE4 at file offset 00000002: (APP4)\n"
       "  APP4 has len 9 and magic number 4D657461 ('Meta')\n"
       "  unknown application 4D657461\n"
       "0A0B 0C\n"
       "Marker FFD9 at file offset 0000000D: (EOI) End of Image\n"},
      // The magic comes from the bytes after the segment; the walk goes on
      // at the segment end, right after the length.
      {"length 2", Bytes{0xFF, 0xE0, 0x00, 0x02, 0xFF, 0xD9, 'a', 'b'},
       "Marker FFE0 at file offset 00000002: (APP0)\n"
       "  APP0 has len 2 and magic number FFD96162 ('\xFF\xD9" "ab')\n"
       "  unknown application FFD96162\n"
       "\n"
       "Marker FFD9 at file offset 00000006: (EOI) End of Image\n"
       "Ooops, EOI is not at end of file. pos 00000008 < end 0000000A (diff 2)\n"},
      {"segment past the end: dumped up to the end",
       Bytes{}.be16(0xFFE1).be16(64).text("ABCD").raw({1, 2, 3, 4, 5, 6}),
       "Marker FFE1 at file offset 00000002: (APP1)\n"
       "  APP1 has len 64 and magic number 41424344 ('ABCD')\n"
       "  unknown application 41424344\n"
       "0102 0304 0506 ...\n"
       "Ooops, No EOI found. pos 00000044 > end 00000010 (diff 52)\n"},
      {"no length: no APP line", Bytes{0xFF, 0xE1, 0x00},
       "Marker FFE1 at file offset 00000002: (APP1)\n"
       "get_int16() fails for end of data\n"
       "Ooops, No EOI found. pos 00000004 > end 00000005 (diff -1)\n"},
      {"no magic: shown as 0, the walk goes on at the segment end",
       Bytes{0xFF, 0xE0, 0x00, 0x02, 0xFF, 0xD9},
       "Marker FFE0 at file offset 00000002: (APP0)\n"
       "get_int32() fails for end of data\n"
       "  APP0 has len 2 and magic number 00000000 ('....')\n"
       "Marker FFD9 at file offset 00000006: (EOI) End of Image\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes stream = Bytes{0xFF, 0xD8}.append(c.after_soi);
    ByteRegion region = ByteRegion::over(stream.data(), stream.size());
    WalkContext context{text_printer()};
    CapturedOutput captured;
    scan_jpeg_markers(region, context);
    EXPECT_TRUE(same_text(captured.all(), soi + c.want));
  }
}

TEST(ApplicationSegment, JfifLengthBelowSixPrintsItsPayloadCountNegative) {
  const Bytes short_jfif = Bytes{}.be16(5).text("JFIF");
  ByteRegion region = ByteRegion::over(short_jfif.data(), short_jfif.size());
  WalkContext context{text_printer()};
  CapturedOutput captured;
  scan_application_segment(region, 0, context);
  EXPECT_TRUE(same_text(captured.all(),
                        "  APP0 has len 5 and magic number 4A464946 ('JFIF')\n"
                        "    skipping jfif data of len -1\n"
                        "\n"));
  EXPECT_EQ(region.cursor(), 5u);
}

// A decoder that lost its position is reported with the lost position's
// all-ones value; the walk goes on at the segment end all the same.
TEST(ApplicationSegment, LostPositionIsReportedAndPutOnTheSegmentEnd) {
  const std::uint8_t bytes[32] = {};
  ByteRegion region(bytes, 4, 32);
  region.fail();
  CapturedOutput captured;
  settle_at_segment_end(region, 20, text_printer());
  EXPECT_TRUE(same_text(captured.out(),  // a finding the listing prints on standard output
                        "scan_application_... leaves unexpected pos 0xFFFFFFFFFFFFFFFF instead of 0x00000010\n"));
  EXPECT_EQ(region.cursor(), 20u);
}

}  // namespace
}  // namespace segsniff::test
