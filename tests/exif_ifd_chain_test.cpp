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
constexpr bool motorola = false;
const std::string nul(1, '\0');

struct ExifDump {
  std::string out;
  std::string err;
  std::string all;  // both, in program order
  Offset cursor;
  Offset segment_end;
};

// The stream is "Exif", the two application-type bytes and the TIFF bytes,
// in a buffer of exactly that size; the segment ends `beyond` bytes after
// the stream (a length field that claims more than the file holds).
ExifDump dump_exif(const Bytes& tiff, Bytes app_type = {0x00, 0x00}, Offset beyond = 0) {
  const std::vector<std::uint8_t> exact = Bytes{}.text("Exif").append(app_type).append(tiff).vector();
  ByteRegion region = ByteRegion::over(exact.data(), exact.size());
  region.cursor = 4;
  const Offset segment_end = exact.size() + beyond;
  WalkContext walk;
  CapturedOutput captured;
  scan_exif_info(region, segment_end, walk);
  EXPECT_FALSE(intel_order);  // the walk reads big-endian again
  return {captured.out(), captured.err(), captured.all(), region.cursor, segment_end};
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

// IFD0 with the Exif pointer, the Exif IFD with an Interoperability
// pointer, and IFD1:
//    0 header, IFD0 at 8
//    8 IFD0: Orientation 1; Exif pointer -> 0x26; next -> 0x56
//   38 Exif IFD: Exposure Time at 0x68; Interoperability pointer -> 0x44
//   68 Interoperability IFD: "R98" in the value field
//   86 IFD1: Compression 6
//  104 1/60
Bytes typical_tiff(bool ii) {
  Bytes b = header(ii, 8);
  b.u16(ii, 2);
  add_short(b, ii, 0x0112, 1);
  add_entry(b, ii, 0x8769, 4, 1, 0x26);
  b.u32(ii, 0x56);
  b.u16(ii, 2);
  add_entry(b, ii, 0x829A, 5, 1, 0x68);
  add_entry(b, ii, 0xA005, 4, 1, 0x44);
  b.u32(ii, 0);
  b.u16(ii, 1);
  b.u16(ii, 0x0001).u16(ii, 2).u32(ii, 4).text("R98").u8(0);
  b.u32(ii, 0);
  b.u16(ii, 1);
  add_short(b, ii, 0x0103, 6);
  b.u32(ii, 0);
  b.u32(ii, 1).u32(ii, 60);
  return b;
}

TEST(ScanExifInfo, TypicalStructureLittleEndian) {
  ExifDump d = dump_exif(typical_tiff(intel));
  EXPECT_TRUE(same_text(d.out,
                        "    found IFD with 2 tags at tiff-offset = 00000008\n"
                        "      tag 0112, 1 short, off 00000001, val 0100 \n"
                        "        value  0x0001 (1)\n"
                        "        Orientation (Orientation of Image)\n"
                        "      tag 8769, 1 long, off 00000026, val 26000000 \n"
                        "        value  0x00000026 (38)\n"
                        "      found EXIF IFD Pointer 00000026\n"
                        "    found IFD with 2 tags at tiff-offset = 00000026\n"
                        "      tag 829A, 1 rational, off 00000068, val 010000003C000000 \n"
                        "        value  1/60\n"
                        "        Exposure Time (in seconds)\n"
                        "      tag A005, 1 long, off 00000044, val 44000000 \n"
                        "        value  0x00000044 (68)\n"
                        "        Interoperability IFD Pointer ()\n"
                        "      found Interoperability IFD Pointer 00000044\n"
                        "    found IFD with 1 tags at tiff-offset = 00000044\n"
                        "      tag 0001, 4 ascii, off 00383952, val 52 39 38 00 \n"
                        "        value R98" + nul + "\n"
                        "    no more IFD\n"
                        "    no more IFD\n"
                        "    found IFD with 1 tags at tiff-offset = 00000056\n"
                        "      tag 0103, 1 short, off 00000006, val 0600 \n"
                        "        value  0x0006 (6)\n"
                        "        Compression (Compression Scheme)\n"
                        "    no more IFD\n"));
  EXPECT_EQ(d.err, "");
  EXPECT_EQ(d.cursor, d.segment_end);
}

TEST(ScanExifInfo, TypicalStructureBigEndian) {
  ExifDump d = dump_exif(typical_tiff(motorola));
  EXPECT_TRUE(same_text(d.out,
                        "    found IFD with 2 tags at tiff-offset = 00000008\n"
                        "      tag 0112, 1 short, off 00010000, val 0001 \n"
                        "        value  0x0001 (1)\n"
                        "        Orientation (Orientation of Image)\n"
                        "      tag 8769, 1 long, off 00000026, val 00000026 \n"
                        "        value  0x00000026 (38)\n"
                        "      found EXIF IFD Pointer 00000026\n"
                        "    found IFD with 2 tags at tiff-offset = 00000026\n"
                        "      tag 829A, 1 rational, off 00000068, val 000000010000003C \n"
                        "        value  1/60\n"
                        "        Exposure Time (in seconds)\n"
                        "      tag A005, 1 long, off 00000044, val 00000044 \n"
                        "        value  0x00000044 (68)\n"
                        "        Interoperability IFD Pointer ()\n"
                        "      found Interoperability IFD Pointer 00000044\n"
                        "    found IFD with 1 tags at tiff-offset = 00000044\n"
                        "      tag 0001, 4 ascii, off 52393800, val 52 39 38 00 \n"
                        "        value R98" + nul + "\n"
                        "    no more IFD\n"
                        "    no more IFD\n"
                        "    found IFD with 1 tags at tiff-offset = 00000056\n"
                        "      tag 0103, 1 short, off 00060000, val 0006 \n"
                        "        value  0x0006 (6)\n"
                        "        Compression (Compression Scheme)\n"
                        "    no more IFD\n"));
  EXPECT_EQ(d.err, "");
  EXPECT_EQ(d.cursor, d.segment_end);
}

TEST(ScanExifInfo, ApplicationTypeBytesAreCheckedButDoNotStopTheDecode) {
  const Bytes tiff = header(intel, 0);
  ExifDump d = dump_exif(tiff, {0x01, 0x00});
  EXPECT_EQ(d.err, "missing 0-Terminator at app-type\n");
  EXPECT_EQ(d.out, "    no more IFD\n");
  d = dump_exif(tiff, {0x00, 0x20});
  EXPECT_EQ(d.err, "missing alignment at app-type\n");
  d = dump_exif(tiff, {'x', 'y'});
  EXPECT_EQ(d.err, "missing 0-Terminator at app-type\nmissing alignment at app-type\n");
  EXPECT_EQ(d.out, "    no more IFD\n");
  EXPECT_EQ(d.cursor, d.segment_end);
}

TEST(ScanExifInfo, RefusedHeaders) {
  ExifDump d = dump_exif(Bytes{0x49, 0x49, 0x2B, 0x00, 0x08, 0x00, 0x00, 0x00});
  EXPECT_EQ(d.out, "");
  EXPECT_EQ(d.err, "invalid byte order 49492B00\n");
  EXPECT_EQ(d.cursor, d.segment_end);
  // "MI" and 42 in either order
  d = dump_exif(Bytes{0x4D, 0x49, 0x00, 0x2A, 0x00, 0x00, 0x00, 0x08});
  EXPECT_EQ(d.err, "invalid byte order 4D49002A\n");
  // no TIFF bytes at all
  d = dump_exif(Bytes{});
  EXPECT_EQ(d.out, "");
  EXPECT_EQ(d.err, "get_int32() fails for end of data\ninvalid byte order 00000000\n");
  EXPECT_EQ(d.cursor, d.segment_end);
  // three bytes
  d = dump_exif(Bytes{0x49, 0x49, 0x2A});
  EXPECT_EQ(d.err, "get_int32() fails for end of data\ninvalid byte order 00000000\n");
}

TEST(ScanExifInfo, NoApplicationTypeBytesLeavesThePositionLost) {
  const std::uint8_t bytes[] = {'E', 'x', 'i', 'f', 0x00};
  ByteRegion region = ByteRegion::over(bytes, sizeof bytes);
  region.cursor = 4;
  WalkContext walk;
  CapturedOutput captured;
  scan_exif_info(region, 100, walk);
  EXPECT_EQ(captured.out(), "");
  EXPECT_EQ(captured.err(), "no data in exif info\n");
  EXPECT_TRUE(region.failed());
}

TEST(ScanExifInfo, ChainsThatWalkNothing) {
  for (bool ii : {intel, motorola}) {
    SCOPED_TRACE(ii);
    // IFD0 at 0, at the end of the structure, far beyond it
    for (std::uint32_t offset : {0u, 8u, 0xFFFFFFFFu}) {
      ExifDump d = dump_exif(header(ii, offset));
      EXPECT_EQ(d.out, "    no more IFD\n");
      EXPECT_EQ(d.err, "");
      EXPECT_EQ(d.cursor, d.segment_end);
    }
    // IFD0's offset cut off
    ExifDump d = dump_exif(Bytes{}.text(ii ? "II" : "MM").u16(ii, 42).u16(ii, 8));
    EXPECT_EQ(d.all, "get_int32() fails for end of data\n    no more IFD\n");
  }
}

TEST(ScanExifInfo, IfdsThatDoNotFit) {
  // the count field begins on the last byte
  ExifDump d = dump_exif(header(intel, 8).u8(1));
  EXPECT_EQ(d.all, "IFD out of area\n    no more IFD\n");
  // entries end exactly at the segment end: no next-IFD offset
  Bytes b = header(motorola, 8).u16(motorola, 1);
  add_entry(b, motorola, 0x9999, 1, 1, 0x07000000);
  d = dump_exif(b);
  EXPECT_TRUE(same_text(d.all,
                        "    found IFD with 1 tags at tiff-offset = 00000008\n"
                        "      tag 9999, 1 byte, off 07000000, val 07 \n"
                        "        value  07\n"
                        "no memory for offset of next ifd\n"
                        "    no more IFD\n"));
  EXPECT_EQ(d.cursor, d.segment_end);
}

TEST(ScanExifInfo, EmptyIfdStillLinksToTheNext) {
  Bytes b = header(intel, 8).u16(intel, 0).u32(intel, 14).u16(intel, 0).u32(intel, 0);
  ExifDump d = dump_exif(b);
  EXPECT_EQ(d.out,
            "    found IFD with 0 tags at tiff-offset = 00000008\n"
            "    found IFD with 0 tags at tiff-offset = 0000000E\n"
            "    no more IFD\n");
  EXPECT_EQ(d.err, "");
}

TEST(ScanExifInfo, PointerTagsNeedOneLong) {
  Bytes b = header(intel, 8).u16(intel, 3);
  add_entry(b, intel, 0x8769, 3, 1, 0x32);  // short
  add_entry(b, intel, 0x8825, 4, 2, 0x32);  // two longs at 0x32
  add_entry(b, intel, 0xA005, 9, 1, 0x32);  // slong
  b.u32(intel, 0);
  b.u16(intel, 0).u32(intel, 0).u16(intel, 0);  // 0x32: an empty IFD, never reached
  ExifDump d = dump_exif(b);
  EXPECT_TRUE(same_text(d.out,
                        "    found IFD with 3 tags at tiff-offset = 00000008\n"
                        "      tag 8769, 1 short, off 00000032, val 3200 \n"
                        "        value  0x0032 (50)\n"
                        "      tag 8825, 2 long, off 00000032, val 00000000 00000000 \n"
                        "        value  0x00000000 (0) 0x00000000 (0)\n"
                        "      tag A005, 1 slong, off 00000032, val 32000000 \n"
                        "        value  0x00000032 (50)\n"
                        "    no more IFD\n"));
  EXPECT_EQ(d.err, "");
}

TEST(ScanExifInfo, GpsPointerAndASubChainOfTwoIfds) {
  // IFD0 -> GPS IFD at 0x1A, whose next offset leads to another IFD at 0x20
  Bytes b = header(motorola, 8).u16(motorola, 1);
  add_entry(b, motorola, 0x8825, 4, 1, 0x1A);
  b.u32(motorola, 0);
  b.u16(motorola, 0).u32(motorola, 0x20);
  b.u16(motorola, 0).u32(motorola, 0);
  ExifDump d = dump_exif(b);
  EXPECT_TRUE(same_text(d.out,
                        "    found IFD with 1 tags at tiff-offset = 00000008\n"
                        "      tag 8825, 1 long, off 0000001A, val 0000001A \n"
                        "        value  0x0000001A (26)\n"
                        "      found GPS IFD Pointer 0000001A\n"
                        "    found IFD with 0 tags at tiff-offset = 0000001A\n"
                        "    found IFD with 0 tags at tiff-offset = 00000020\n"
                        "    no more IFD\n"
                        "    no more IFD\n"));
}

TEST(ScanExifInfo, LoopsEndTheChainWithOneMessage) {
  // an IFD whose next offset is its own
  ExifDump d = dump_exif(header(intel, 8).u16(intel, 0).u32(intel, 8));
  EXPECT_TRUE(same_text(d.all,
                        "    found IFD with 0 tags at tiff-offset = 00000008\n"
                        "IFD at tiff-offset 00000008 walked before, chain ends here\n"
                        "    no more IFD\n"));
  // two IFDs that name each other as next
  d = dump_exif(header(motorola, 8).u16(motorola, 0).u32(motorola, 14).u16(motorola, 0).u32(motorola, 8));
  EXPECT_TRUE(same_text(d.all,
                        "    found IFD with 0 tags at tiff-offset = 00000008\n"
                        "    found IFD with 0 tags at tiff-offset = 0000000E\n"
                        "IFD at tiff-offset 00000008 walked before, chain ends here\n"
                        "    no more IFD\n"));
  // an Exif pointer back to IFD0: the sub-chain ends, IFD0 goes on
  Bytes b = header(intel, 8).u16(intel, 2);
  add_entry(b, intel, 0x8769, 4, 1, 8);
  add_short(b, intel, 0x0112, 3);
  b.u32(intel, 0);
  d = dump_exif(b);
  EXPECT_TRUE(same_text(d.all,
                        "    found IFD with 2 tags at tiff-offset = 00000008\n"
                        "      tag 8769, 1 long, off 00000008, val 08000000 \n"
                        "        value  0x00000008 (8)\n"
                        "      found EXIF IFD Pointer 00000008\n"
                        "IFD at tiff-offset 00000008 walked before, chain ends here\n"
                        "    no more IFD\n"
                        "      tag 0112, 1 short, off 00000003, val 0300 \n"
                        "        value  0x0003 (3)\n"
                        "        Orientation (Orientation of Image)\n"
                        "    no more IFD\n"));
  EXPECT_EQ(d.cursor, d.segment_end);
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

TEST(ScanExifInfo, NothingIsReadPastTheStreamWhenTheSegmentClaimsMore) {
  // IFD0 with a rational whose data and a next IFD that lie inside the
  // declared segment but past the end of the stream
  Bytes b = header(intel, 8).u16(intel, 1);
  add_entry(b, intel, 0x829A, 5, 1, 0x20);
  b.u32(intel, 0x30);
  ExifDump d = dump_exif(b, {0x00, 0x00}, 0x100);
  EXPECT_TRUE(same_text(d.all,
                        "    found IFD with 1 tags at tiff-offset = 00000008\n"
                        "illegal tiff tag (begin of data out of area)\n"
                        "    no more IFD\n"));
  EXPECT_EQ(d.cursor, d.segment_end);
}

TEST(ScanExifInfo, SegmentEndBeforeTheTiffHeaderGivesAnEmptyStructure) {
  const std::vector<std::uint8_t> bytes = Bytes{}.text("Exif").raw({0, 0}).append(header(intel, 8)).vector();
  ByteRegion region = ByteRegion::over(bytes.data(), bytes.size());
  region.cursor = 4;
  WalkContext walk;
  CapturedOutput captured;
  scan_exif_info(region, 5, walk);  // a length field of 3
  EXPECT_EQ(captured.err(), "get_int32() fails for end of data\ninvalid byte order 00000000\n");
  EXPECT_EQ(region.cursor, 5u);
}

// Each IFD holds one Exif pointer to the next, 18 bytes further on.
Bytes nested_pointers(int levels) {
  Bytes b = header(intel, 8);
  for (int i = 0; i < levels; ++i) {
    b.u16(intel, 1);
    add_entry(b, intel, 0x8769, 4, 1, static_cast<std::uint32_t>(8 + 18 * (i + 1)));
    b.u32(intel, 0);
  }
  return b;
}

std::size_t count_of(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(ScanExifInfo, SubIfdNestingIsBounded) {
  ExifDump d = dump_exif(nested_pointers(40));
  EXPECT_EQ(count_of(d.out, "    found IFD with 1 tags"), std::size_t{max_ifd_depth});
  EXPECT_EQ(count_of(d.out, "      found EXIF IFD Pointer"), std::size_t{max_ifd_depth});
  EXPECT_EQ(count_of(d.out, "    no more IFD\n"), std::size_t{max_ifd_depth} + 1);
  // the 33rd IFD, at 8 + 32 * 18
  EXPECT_EQ(d.err, "IFD at tiff-offset 00000248 nested more than 32 deep, not walked\n");
  EXPECT_EQ(d.cursor, d.segment_end);
}

TEST(ScanExifInfo, ASegmentFullOfNestedPointersDoesNotExhaustTheStack) {
  ExifDump d = dump_exif(nested_pointers((65533 - 8) / 18));
  EXPECT_EQ(count_of(d.out, "    found IFD with 1 tags"), std::size_t{max_ifd_depth});
  EXPECT_EQ(count_of(d.err, "\n"), 1u);
}

// IFD0 points at a hundred overlapping IFDs in an area of FF bytes; each of
// them reads 65535 entries of type 65535 until the end of the structure.
TEST(ScanExifInfo, OverlappingIfdsAreDumpedUpToTheEntryBudget) {
  const int pointers = 100;
  const std::uint32_t area = 8 + 2 + 12 * pointers + 4;
  Bytes b = header(intel, 8).u16(intel, pointers);
  for (int i = 0; i < pointers; ++i) add_entry(b, intel, 0x8769, 4, 1, area + static_cast<std::uint32_t>(i));
  b.u32(intel, 0).fill(65000 - area, 0xFF);
  ExifDump d = dump_exif(b);
  const std::size_t entries = count_of(d.all, "illegal data_type ") + count_of(d.all, "illegal tiff tag") +
                              count_of(d.all, "      tag ");
  EXPECT_EQ(entries, max_entries_per_structure);
  EXPECT_EQ(count_of(d.err, "entries in this TIFF structure, dump stopped\n"), 1u);
  EXPECT_EQ(d.cursor, d.segment_end);
}

}  // namespace
}  // namespace segsniff
