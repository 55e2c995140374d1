// The application segment scanner: APP line, dispatch by magic, capped hex
// dumps, and the walk going on at the declared segment end.
#include <gtest/gtest.h>

#include "jpeg/byte_region.h"
#include "jpeg/scan_application_segment.h"
#include "jpeg/scan_jpeg_markers.h"
#include "shell/channels.h"
#include "support/golden.h"

namespace segsniff::test {
namespace {

// Walks SOI and the given bytes in process; returns standard output and
// standard error merged in program order.
std::string walk(const Bytes& after_soi) {
  const Bytes stream = Bytes{}.be16(0xFFD8).append(after_soi);
  ByteRegion region = ByteRegion::over(stream.data(), stream.size());
  WalkContext context;
  CapturedOutput captured;
  scan_jpeg_markers(region, context);
  return captured.all();
}

const std::string soi_line = "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n";

TEST(ApplicationSegment, JfifHeaderIsShownAsAShortDumpWhateverTheAppNumber) {
  const Bytes jfif = Bytes{}.text("JFIF").raw({0x00, 0x01, 0x01, 0x01, 0x00, 0x48, 0x00, 0x48, 0x00, 0x00});
  EXPECT_TRUE(same_text(walk(Bytes{}.segment(0xFFE0, jfif).be16(0xFFD9)),
                        soi_line +
                            "Marker FFE0 at file offset 00000002: (APP0)\n"
                            "  APP0 has len 16 and magic number 4A464946 ('JFIF')\n"
                            "    skipping jfif data of len 10\n"
                            "0001 0101 0048 0048 0000 \n"
                            "Marker FFD9 at file offset 00000014: (EOI) End of Image\n"));
  // A JFIF extension with a thumbnail: 32 bytes shown, then "...".
  const Bytes jfxx = Bytes{}.text("JFIF").fill(40, 0x5A);
  std::string dump;
  for (int i = 0; i < 16; ++i) dump += "5A5A ";
  EXPECT_TRUE(same_text(walk(Bytes{}.segment(0xFFEF, jfxx).be16(0xFFD9)),
                        soi_line +
                            "Marker FFEF at file offset 00000002: (APP15)\n"
                            "  APP15 has len 46 and magic number 4A464946 ('JFIF')\n"
                            "    skipping jfif data of len 40\n" +
                            dump + "...\n" +
                            "Marker FFD9 at file offset 00000032: (EOI) End of Image\n"));
}

TEST(ApplicationSegment, UnknownPayloadDumpStopsAfter320Bytes) {
  const Bytes icc = Bytes{}.text("ICC_PROFILE").u8(0).fill(400, 0xC3);  // payload 408
  std::string dump = "5052 4F46 494C 4500 ";                        // "PROFILE\0"
  for (int i = 0; i < 156; ++i) dump += "C3C3 ";
  EXPECT_TRUE(same_text(walk(Bytes{}.segment(0xFFE2, icc).be16(0xFFD9)),
                        soi_line +
                            "Marker FFE2 at file offset 00000002: (APP2)\n"
                            "  APP2 has len 414 and magic number 4943435F ('ICC_')\n"
                            "  unknown application 4943435F\n" +
                            dump + "...\n" +
                            "Marker FFD9 at file offset 000001A2: (EOI) End of Image\n"));
  // Exactly 320 bytes: no "...".  Three: an odd byte without a space.
  ByteRegion region;
  const Bytes exact = Bytes{}.be16(326).text("Meta").fill(320, 0x01);
  region = ByteRegion::over(exact.data(), exact.size());
  WalkContext context;
  {
    CapturedOutput captured;
    scan_application_segment(region, 9, context);
    EXPECT_EQ(captured.out().substr(captured.out().size() - 6), "0101 \n");
    EXPECT_EQ(region.cursor, 326u);
  }
  const Bytes three = Bytes{}.be16(9).text("Meta").raw({0x0A, 0x0B, 0x0C});
  region = ByteRegion::over(three.data(), three.size());
  CapturedOutput captured;
  scan_application_segment(region, 4, context);
  EXPECT_TRUE(same_text(captured.all(),
                        "  APP4 has len 9 and magic number 4D657461 ('Meta')\n"
                        "  unknown application 4D657461\n"
                        "0A0B 0C\n"));
}

TEST(ApplicationSegment, EmptyAndNegativePayloadsShowNoBytes) {
  // Length 6: nothing after the magic, an empty dump line.
  EXPECT_TRUE(same_text(walk(Bytes{}.segment(0xFFE3, Bytes{}.text("abcd")).be16(0xFFD9)),
                        soi_line +
                            "Marker FFE3 at file offset 00000002: (APP3)\n"
                            "  APP3 has len 6 and magic number 61626364 ('abcd')\n"
                            "  unknown application 61626364\n"
                            "\n"
                            "Marker FFD9 at file offset 0000000A: (EOI) End of Image\n"));
  // Length 2: the magic is read from the bytes after the segment, and the
  // walk goes on at the segment end, right after the length.
  EXPECT_TRUE(same_text(walk(Bytes{0xFF, 0xE0, 0x00, 0x02, 0xFF, 0xD9, 'a', 'b'}),
                        soi_line +
                            "Marker FFE0 at file offset 00000002: (APP0)\n"
                            "  APP0 has len 2 and magic number FFD96162 ('\xFF\xD9" "ab')\n"
                            "  unknown application FFD96162\n"
                            "\n"
                            "Marker FFD9 at file offset 00000006: (EOI) End of Image\n"
                            "Ooops, EOI is not at end of file. pos 00000008 < end 0000000A (diff 2)\n"));
  // A JFIF length below 6 prints its payload count negative.
  const Bytes short_jfif = Bytes{}.be16(5).text("JFIF");
  ByteRegion region = ByteRegion::over(short_jfif.data(), short_jfif.size());
  WalkContext context;
  CapturedOutput captured;
  scan_application_segment(region, 0, context);
  EXPECT_TRUE(same_text(captured.all(),
                        "  APP0 has len 5 and magic number 4A464946 ('JFIF')\n"
                        "    skipping jfif data of len -1\n"
                        "\n"));
  EXPECT_EQ(region.cursor, 5u);
}

TEST(ApplicationSegment, SegmentPastTheEndIsDumpedUpToTheEndOnly) {
  // Length 64 from offset 4: the segment would end at 68, the file has 16
  // bytes.  The dump stops at the end and says the payload goes on.
  EXPECT_TRUE(same_text(walk(Bytes{}.be16(0xFFE1).be16(64).text("ABCD").raw({1, 2, 3, 4, 5, 6})),
                        soi_line +
                            "Marker FFE1 at file offset 00000002: (APP1)\n"
                            "  APP1 has len 64 and magic number 41424344 ('ABCD')\n"
                            "  unknown application 41424344\n"
                            "0102 0304 0506 ...\n"
                            "Ooops, No EOI found. pos 00000044 > end 00000010 (diff 52)\n"));
}

TEST(ApplicationSegment, TooShortForLengthOrMagic) {
  // No length: nothing to describe; the walk ends where the read failed.
  EXPECT_TRUE(same_text(walk(Bytes{0xFF, 0xE1, 0x00}),
                        soi_line +
                            "Marker FFE1 at file offset 00000002: (APP1)\n"
                            "get_int16() fails for end of data\n"
                            "Ooops, No EOI found. pos 00000004 > end 00000005 (diff -1)\n"));
  // A length but no magic: the magic shows as 0 with dots, nothing is
  // dumped, and the walk goes on at the segment end.
  EXPECT_TRUE(same_text(walk(Bytes{0xFF, 0xE0, 0x00, 0x02, 0xFF, 0xD9}),
                        soi_line +
                            "Marker FFE0 at file offset 00000002: (APP0)\n"
                            "get_int32() fails for end of data\n"
                            "  APP0 has len 2 and magic number 00000000 ('....')\n"
                            "Marker FFD9 at file offset 00000006: (EOI) End of Image\n"));
}

TEST(ApplicationSegment, MagicCharactersAreMadeSafeForATerminal) {
  const Bytes b = Bytes{}.be16(6).raw({0x1B, '[', '2', 'J'});
  ByteRegion region = ByteRegion::over(b.data(), b.size());
  WalkContext context;
  CapturedOutput captured;
  set_terminal_safe(true);
  scan_application_segment(region, 0, context);
  set_terminal_safe(false);
  EXPECT_EQ(captured.out().substr(0, 52), "  APP0 has len 6 and magic number 1B5B324A ('.[2J')\n");
}

TEST(ApplicationSegment, CursorIsPutOnTheSegmentEndAndOtherPositionsAreReported) {
  const std::uint8_t bytes[32] = {};
  struct Case {
    const char* name;
    Offset left_at;
    std::string line;
  } cases[] = {
      {"at the segment end", 20, ""},
      {"short of it", 12, "scan_application_... leaves unexpected pos 0x00000008 instead of 0x00000010\n"},
      {"beyond the window", 40, "scan_application_... leaves unexpected pos 0x00000024 instead of 0x00000010\n"},
      {"lost", no_position,
       "scan_application_... leaves unexpected pos 0xFFFFFFFFFFFFFFFF instead of 0x00000010\n"},
  };
  for (const auto& c : cases) {
    ByteRegion region{bytes, 4, 32, c.left_at};
    CapturedOutput captured;
    settle_at_segment_end(region, 20);
    EXPECT_TRUE(same_text(captured.out(), c.line)) << c.name;  // the error sink prints to stdout
    EXPECT_EQ(captured.err(), "") << c.name;
    EXPECT_EQ(region.cursor, 20u) << c.name;
  }
}

TEST(ApplicationSegment, ExifAndQvcsPayloadsGoToTheirDecodersAndTheWalkGoesOn) {
  // Whatever the decoders print, the walk reads the next marker at the
  // segment end.  An Exif block in APP0 is still an Exif block.
  const Bytes tiff = Bytes{}.text("MM").be16(42).be32(8).be16(0).be32(0);
  const Bytes exif = Bytes{}.text("Exif").raw({0, 0}).append(tiff);
  const std::string exif_out = walk(Bytes{}.segment(0xFFE0, exif).be16(0xFFD9));
  EXPECT_EQ(exif_out.find("Marker FFE0 at file offset 00000002: (APP0)\n"
                          "  APP0 has len 22 and magic number 45786966 ('Exif')\n"),
            soi_line.size());
  EXPECT_EQ(exif_out.find("leaves unexpected pos"), std::string::npos) << exif_out;
  const std::string exif_end = "Marker FFD9 at file offset 0000001A: (EOI) End of Image\n";
  EXPECT_EQ(exif_out.substr(exif_out.size() - exif_end.size()), exif_end) << exif_out;

  const Bytes qvcs = Bytes{}.text("QVCS").fill(10, 0);
  const std::string qvcs_out = walk(Bytes{}.segment(0xFFE2, qvcs).be16(0xFFD9));
  EXPECT_EQ(qvcs_out.find("  APP2 has len 16 and magic number 51564353 ('QVCS')\n"),
            soi_line.size() + 44);
  const std::string qvcs_end = "Marker FFD9 at file offset 00000014: (EOI) End of Image\n";
  EXPECT_EQ(qvcs_out.substr(qvcs_out.size() - qvcs_end.size()), qvcs_end) << qvcs_out;
}

}  // namespace
}  // namespace segsniff::test
