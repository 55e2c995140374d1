// The Exif header and the IFD chains, called in-process on hand-built Exif
// payloads (the bytes after the magic "Exif").
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exif/scan_exif_info.h"
#include "exif/tiff_context.h"
#include "support/golden.h"

namespace segsniff {
namespace {

using test::Bytes;
using test::CapturedOutput;
using test::same_text;

constexpr bool intel = true;

struct ExifDump {
  std::string all;  // standard output and error, in program order
  Offset cursor;
  Offset segment_end;
};

// The stream is "Exif", the two application-type bytes and the TIFF bytes,
// in a buffer of exactly that size; the segment ends with the stream.
ExifDump dump_exif(const Bytes& tiff, Bytes app_type = {0x00, 0x00}) {
  const std::vector<std::uint8_t> exact = Bytes{}.text("Exif").append(app_type).append(tiff).vector();
  ByteRegion region = ByteRegion::over(exact.data(), exact.size());
  region.seek(4);
  WalkContext walk{test::text_printer()};
  CapturedOutput captured;
  scan_exif_info(region, exact.size(), walk);
  EXPECT_FALSE(intel_order);  // the walk reads big-endian again
  return {captured.all(), region.cursor(), exact.size()};
}

Bytes header(bool ii, std::uint32_t ifd0) {
  return Bytes{}.text(ii ? "II" : "MM").u16(ii, 42).u32(ii, ifd0);
}

// An entry whose value field is the 32-bit number `value`.
Bytes& add_entry(Bytes& b, bool ii, std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                 std::uint32_t value) {
  return b.u16(ii, tag).u16(ii, type).u32(ii, count).u32(ii, value);
}

// An entry of one short, left-aligned in the value field.
Bytes& add_short(Bytes& b, bool ii, std::uint16_t tag, std::uint16_t value) {
  return b.u16(ii, tag).u16(ii, 3).u32(ii, 1).u16(ii, value).u16(ii, 0);
}

// Every kind of sub-IFD pointer, and chains inside and after them:
//    0 header, IFD0 at 8
//    8 IFD0: Orientation 1; Exif pointer -> 0x32; GPS pointer -> 0x62; next -> 0x6E
//   50 Exif IFD: Exposure Time at 0x80; Interoperability pointer -> 0x50
//   80 Interoperability IFD: "R98" in the value field
//   98 GPS IFD, empty; next -> 0x68, empty
//  110 IFD1: Compression 6
//  128 1/60
TEST(ScanExifInfo, TypicalStructure) {
  const bool ii = intel;
  Bytes b = header(ii, 8).u16(ii, 3);
  add_short(b, ii, 0x0112, 1);
  add_entry(b, ii, 0x8769, 4, 1, 0x32);
  add_entry(b, ii, 0x8825, 4, 1, 0x62);
  b.u32(ii, 0x6E).u16(ii, 2);
  add_entry(b, ii, 0x829A, 5, 1, 0x80);
  add_entry(b, ii, 0xA005, 4, 1, 0x50);
  b.u32(ii, 0).u16(ii, 1);
  b.u16(ii, 0x0001).u16(ii, 2).u32(ii, 4).text("R98").u8(0);
  b.u32(ii, 0);
  b.u16(ii, 0).u32(ii, 0x68).u16(ii, 0).u32(ii, 0);
  b.u16(ii, 1);
  add_short(b, ii, 0x0103, 6);
  b.u32(ii, 0).u32(ii, 1).u32(ii, 60);
  ExifDump d = dump_exif(b);
  EXPECT_TRUE(same_text(d.all,
                        "    found IFD with 3 tags at tiff-offset = 00000008\n"
                        "      tag 0112, 1 short, off 00000001, val 0100 \n"
                        "        value  0x0001 (1)\n"
                        "        Orientation (Orientation of Image)\n"
                        "      tag 8769, 1 long, off 00000032, val 32000000 \n"
                        "        value  0x00000032 (50)\n"
                        "      found EXIF IFD Pointer 00000032\n"
                        "    found IFD with 2 tags at tiff-offset = 00000032\n"
                        "      tag 829A, 1 rational, off 00000080, val 010000003C000000 \n"
                        "        value  1/60\n"
                        "        Exposure Time (in seconds)\n"
                        "      tag A005, 1 long, off 00000050, val 50000000 \n"
                        "        value  0x00000050 (80)\n"
                        "        Interoperability IFD Pointer ()\n"
                        "      found Interoperability IFD Pointer 00000050\n"
                        "    found IFD with 1 tags at tiff-offset = 00000050\n"
                        "      tag 0001, 4 ascii, off 00383952, val 52 39 38 00 \n"
                        "        value R98.\n"
                        "    no more IFD\n"
                        "    no more IFD\n"
                        "      tag 8825, 1 long, off 00000062, val 62000000 \n"
                        "        value  0x00000062 (98)\n"
                        "      found GPS IFD Pointer 00000062\n"
                        "    found IFD with 0 tags at tiff-offset = 00000062\n"
                        "    found IFD with 0 tags at tiff-offset = 00000068\n"
                        "    no more IFD\n"
                        "    found IFD with 1 tags at tiff-offset = 0000006E\n"
                        "      tag 0103, 1 short, off 00000006, val 0600 \n"
                        "        value  0x0006 (6)\n"
                        "        Compression (Compression Scheme)\n"
                        "    no more IFD\n"));
  EXPECT_EQ(d.cursor, d.segment_end);
}

// Damaged headers, and chains that walk no IFD.
TEST(ScanExifInfo, StructuresWithoutIfds) {
  const Bytes zeros{0x00, 0x00};
  struct Case {
    Bytes app_type, tiff;
    const char* all;
  };
  const Case cases[] = {
      // deviating application-type bytes do not stop the decode
      {{0x00, 0x20}, header(intel, 0), "missing alignment at app-type\n    no more IFD\n"},
      // "MI" and 42 in either order
      {zeros, Bytes{0x4D, 0x49, 0x00, 0x2A, 0x00, 0x00, 0x00, 0x08}, "invalid byte order 4D49002A\n"},
      {zeros, Bytes{}, "get_int32() fails for end of data\ninvalid byte order 00000000\n"},
      // IFD0 at the end of the structure, far beyond it
      {zeros, header(intel, 8), "    no more IFD\n"},
      {zeros, header(intel, 0xFFFFFFFF), "    no more IFD\n"},
      // IFD0's offset cut off
      {zeros, Bytes{}.text("II").le16(42).le16(8), "get_int32() fails for end of data\n    no more IFD\n"},
      // the count field begins on the last byte
      {zeros, header(intel, 8).u8(1), "IFD out of area\n    no more IFD\n"},
      // not even the application-type bytes: the position is lost
      {{0x00}, Bytes{}, "no data in exif info\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.all);
    ExifDump d = dump_exif(c.tiff, c.app_type);
    EXPECT_EQ(d.all, c.all);
    EXPECT_EQ(d.cursor, c.app_type.size() == 2 ? d.segment_end : no_position);
  }
}

// Only entries of the handled type (and, for the sub-IFD pointers, a count
// of 1) are handed on; the others get their ordinary lines.
TEST(ScanExifInfo, SpecialTagsOfAnotherTypeOrCountAreNotHandedOn) {
  Bytes b = header(intel, 8).u16(intel, 5);
  add_entry(b, intel, 0x8769, 3, 1, 0x4A);  // short
  add_entry(b, intel, 0x8825, 4, 2, 0x4A);  // two longs at 0x4A
  add_entry(b, intel, 0xA005, 9, 1, 0x4A);  // slong
  add_short(b, intel, 0x0201, 0x4A);        // thumbnail offset as a short
  b.u16(intel, 0x927C).u16(intel, 2).u32(intel, 4).text("abc").u8(0);  // ascii Maker Note
  b.u32(intel, 0);
  b.u16(intel, 0).u32(intel, 0).u16(intel, 0);  // 0x4A: an empty IFD, never reached
  ExifDump d = dump_exif(b);
  EXPECT_TRUE(same_text(d.all,
                        "    found IFD with 5 tags at tiff-offset = 00000008\n"
                        "      tag 8769, 1 short, off 0000004A, val 4A00 \n"
                        "        value  0x004A (74)\n"
                        "      tag 8825, 2 long, off 0000004A, val 00000000 00000000 \n"
                        "        value  0x00000000 (0) 0x00000000 (0)\n"
                        "      tag A005, 1 slong, off 0000004A, val 4A000000 \n"
                        "        value  0x0000004A (74)\n"
                        "      tag 0201, 1 short, off 0000004A, val 4A00 \n"
                        "        value  0x004A (74)\n"
                        "      tag 927C, 4 ascii, off 00636261, val 61 62 63 00 \n"
                        "        value abc.\n"
                        "    no more IFD\n"));
}

TEST(ScanExifInfo, EntriesPastTheEndOfDataAreSummedUp) {
  Bytes b = header(intel, 8).u16(intel, 1000);
  add_entry(b, intel, 0x9999, 1, 1, 7);
  add_entry(b, intel, 0x9999, 1, 1, 8);
  b.u16(intel, 0x9999).u16(intel, 1).u8(1);  // the third entry breaks off in its count
  ExifDump d = dump_exif(b);
  EXPECT_TRUE(same_text(d.all,
                        "    found IFD with 1000 tags at tiff-offset = 00000008\n"
                        "      tag 9999, 1 byte, off 00000007, val 07 \n"
                        "        value  07\n"
                        "      tag 9999, 1 byte, off 00000008, val 08 \n"
                        "        value  08\n"
                        "get_int32() fails for end of data\n"
                        "get_int32() fails for end of data\n"
                        "illegal tiff tag (begin of data out of area)\n"
                        "IFD at tiff-offset 00000008: 997 more entries lie past the end of data\n"
                        "no memory for offset of next ifd\n"
                        "    no more IFD\n"));
  EXPECT_EQ(d.cursor, d.segment_end);
}

std::size_t count_of(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(ScanExifInfo, SubIfdNestingIsBounded) {
  // Forty IFDs, each with one Exif pointer to the next, 18 bytes further on.
  Bytes b = header(intel, 8);
  for (std::uint32_t i = 1; i <= 40; ++i)
    add_entry(b.u16(intel, 1), intel, 0x8769, 4, 1, 8 + 18 * i).u32(intel, 0);
  ExifDump d = dump_exif(b);
  EXPECT_EQ(count_of(d.all, "    found IFD with 1 tags"), std::size_t{max_ifd_depth});
  EXPECT_EQ(count_of(d.all, "    no more IFD\n"), std::size_t{max_ifd_depth} + 1);
  // the 33rd IFD, at 8 + 32 * 18
  EXPECT_EQ(count_of(d.all, "IFD at tiff-offset 00000248 nested more than 32 deep, not walked\n"), 1u);
}

// IFD0 points at a hundred overlapping IFDs in an area of FF bytes; each of
// them reads 65535 entries of type 65535 until the end of the structure.
TEST(ScanExifInfo, OverlappingIfdsAreDumpedUpToTheEntryAllowance) {
  const int pointers = 100;
  const std::uint32_t area = 8 + 2 + 12 * pointers + 4;
  Bytes b = header(intel, 8).u16(intel, pointers);
  for (int i = 0; i < pointers; ++i) add_entry(b, intel, 0x8769, 4, 1, area + static_cast<std::uint32_t>(i));
  b.u32(intel, 0).fill(65000 - area, 0xFF);
  ExifDump d = dump_exif(b);
  const std::size_t entries = count_of(d.all, "illegal data_type ") + count_of(d.all, "illegal tiff tag") +
                              count_of(d.all, "      tag ");
  // Called without a walk, the block may spend what a segment of the
  // largest size earns.
  EXPECT_EQ(entries, largest_segment_bytes / segment_bytes_per_entry);
  EXPECT_EQ(count_of(d.all, ": more than 16383 entries in this image, dump stopped\n"), 1u);
  EXPECT_EQ(d.cursor, d.segment_end);
}

}  // namespace
}  // namespace segsniff
