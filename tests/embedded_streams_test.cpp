// Entries whose data is itself a stream: the thumbnail pair, JPEGTables and
// the Maker Note.  The handlers are driven directly here (the pair's state
// machine, the bounds, the nesting limit); the golden tests through the
// program follow below.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>

#include "exif/embedded_streams.h"
#include "support/golden.h"

namespace segsniff::test {
namespace {

// A TIFF region of 64 bytes with a minimal JPEG stream (SOI, EOI) at
// offset 40, and a value field at offset 8 whose contents each test sets.
struct PairFixture {
  Bytes bytes = Bytes{}.fill(40, 0x00).raw({0xFF, 0xD8, 0xFF, 0xD9}).fill(20, 0x00);
  WalkContext walk;
  TiffContext context{walk};

  PairFixture() { walk.depth = 1; }
  ByteRegion tiff() const { return ByteRegion{bytes.data(), 0, bytes.size(), 0}; }
  // The data region of a long entry whose value field holds v (big-endian).
  ByteRegion value(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[8 + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    return ByteRegion{bytes.data(), 8, 12, 8};
  }
};

const std::string soi_eoi_walk =
    "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
    "Marker FFD9 at file offset 00000002: (EOI) End of Image\n";

TEST(ThumbnailPair, SecondHalfOfThePairWalksTheThumbnailInEitherOrder) {
  for (bool offset_first : {true, false}) {
    PairFixture f;
    CapturedOutput captured;
    if (offset_first) {
      scan_thumbnail_offset(f.tiff(), f.value(40), f.context);
      EXPECT_EQ(captured.all(), "");
      scan_thumbnail_length(f.tiff(), f.value(4), f.context);
    } else {
      scan_thumbnail_length(f.tiff(), f.value(4), f.context);
      EXPECT_EQ(captured.all(), "");
      scan_thumbnail_offset(f.tiff(), f.value(40), f.context);
    }
    EXPECT_TRUE(same_text(captured.all(), "      found EXIF jpeg thumbnail of size 4\n" +
                                              soi_eoi_walk +
                                              "      end of EXIF Thumbnail of size 4\n"))
        << "offset first " << offset_first;
    EXPECT_FALSE(f.context.thumbnail.thumbnail_offset_seen);
    EXPECT_FALSE(f.context.thumbnail.thumbnail_length_seen);
  }
}

TEST(ThumbnailPair, SecondOffsetOverwritesTheFirstWithAWarning) {
  PairFixture f;
  CapturedOutput captured;
  scan_thumbnail_offset(f.tiff(), f.value(2), f.context);
  scan_thumbnail_offset(f.tiff(), f.value(40), f.context);
  scan_thumbnail_length(f.tiff(), f.value(4), f.context);
  scan_thumbnail_length(f.tiff(), f.value(7), f.context);  // pending again, alone
  EXPECT_TRUE(same_text(captured.all(), "    warning: thumbnail offset overwritten\n"
                                        "      found EXIF jpeg thumbnail of size 4\n" +
                                            soi_eoi_walk +
                                            "      end of EXIF Thumbnail of size 4\n"));
  EXPECT_TRUE(f.context.thumbnail.thumbnail_length_seen);
  scan_thumbnail_length(f.tiff(), f.value(9), f.context);
  EXPECT_EQ(captured.all().substr(captured.all().rfind("    warning")),
            "    warning: thumbnail length overwritten\n");
}

TEST(ThumbnailPair, ThumbnailOutsideTheStructureIsRefusedAndThePairSpent) {
  struct Case {
    std::uint32_t offset, length;
    const char* message;
  };
  const Case cases[] = {
      {64, 1, "illegal EXIF jpeg thumbnail (begin of data out of area)\n"},
      {0xFFFFFFFF, 0xFFFFFFFF, "illegal EXIF jpeg thumbnail (begin of data out of area)\n"},
      {40, 25, "illegal EXIF jpeg thumbnail (end of data out of area)\n"},  // one past
      {63, 0xFFFFFFFF, "illegal EXIF jpeg thumbnail (end of data out of area)\n"},
      {0, 0, "illegal EXIF jpeg thumbnail (end of data out of area)\n"},  // byte before begin
  };
  for (const Case& c : cases) {
    PairFixture f;
    CapturedOutput captured;
    scan_thumbnail_offset(f.tiff(), f.value(c.offset), f.context);
    scan_thumbnail_length(f.tiff(), f.value(c.length), f.context);
    EXPECT_TRUE(same_text(captured.all(), c.message)) << c.offset << " " << c.length;
    // A later pair starts afresh: no overwrite warning.
    scan_thumbnail_offset(f.tiff(), f.value(40), f.context);
    scan_thumbnail_length(f.tiff(), f.value(4), f.context);
    EXPECT_TRUE(same_text(captured.all(), c.message +
                                              std::string("      found EXIF jpeg thumbnail of size 4\n") +
                                              soi_eoi_walk +
                                              "      end of EXIF Thumbnail of size 4\n"));
  }
}

TEST(ThumbnailPair, LongEntryOfCountZeroGivesOffsetZero) {
  PairFixture f;
  CapturedOutput captured;
  scan_thumbnail_offset(f.tiff(), ByteRegion{f.bytes.data(), 20, 20, 20}, f.context);
  EXPECT_EQ(captured.all(), "get_int32() fails for end of data\n");
  EXPECT_TRUE(f.context.thumbnail.thumbnail_offset_seen);
  EXPECT_EQ(f.context.thumbnail.thumbnail_offset, 0u);
}

TEST(NestedStreams, WalkOneLevelBeyondTheLimitIsNotEntered) {
  PairFixture f;
  f.walk.depth = max_walk_depth;
  CapturedOutput captured;
  scan_thumbnail_offset(f.tiff(), f.value(40), f.context);
  scan_thumbnail_length(f.tiff(), f.value(4), f.context);
  scan_jpeg_tables(f.tiff(), ByteRegion{f.bytes.data(), 40, 44, 40}, f.context);
  EXPECT_TRUE(same_text(captured.all(),
                        "      found EXIF jpeg thumbnail of size 4\n"
                        "EXIF jpeg thumbnail not walked: JPEG streams nested deeper than 16\n"
                        "      end of EXIF Thumbnail of size 4\n"
                        "      found Tag 'JPEGTables' (tables of jpeg compressed image) of size 4\n"
                        "Tag 'JPEGTables' not walked: JPEG streams nested deeper than 16\n"
                        "      end of Tag 'JPEGTables'\n"));

  f.walk.depth = max_walk_depth - 1;
  CapturedOutput at_limit;
  scan_jpeg_tables(f.tiff(), ByteRegion{f.bytes.data(), 40, 44, 40}, f.context);
  EXPECT_TRUE(same_text(at_limit.all(),
                        "      found Tag 'JPEGTables' (tables of jpeg compressed image) of size 4\n" +
                            soi_eoi_walk + "      end of Tag 'JPEGTables'\n"));
  EXPECT_EQ(f.walk.depth, max_walk_depth - 1);
}

}  // namespace
}  // namespace segsniff::test

// ---------------------------------------------------------------------------
// Golden tests through the program.

namespace segsniff::test {
namespace {

// One IFD entry; `value` is the value field as a 32-bit number in the
// structure's order (long values, offsets).
Bytes entry(bool intel, std::uint16_t tag, std::uint16_t type, std::uint32_t count,
            std::uint32_t value) {
  return Bytes{}.u16(intel, tag).u16(intel, type).u32(intel, count).u32(intel, value);
}

// A short value, left-aligned in the value field.
Bytes short_entry(bool intel, std::uint16_t tag, std::uint16_t value) {
  return Bytes{}.u16(intel, tag).u16(intel, 3).u32(intel, 1).u16(intel, value).u16(intel, 0);
}

// TIFF header with IFD0 at offset 8, then IFD0 with `entries` and a next-IFD
// offset of 0, then `tail` (values, thumbnails) from offset 8 + 2 + 12n + 4.
Bytes tiff(bool intel, const std::vector<Bytes>& entries, const Bytes& tail = {}) {
  Bytes b;
  b.text(intel ? "II" : "MM").u16(intel, 42).u32(intel, 8);
  b.u16(intel, static_cast<std::uint16_t>(entries.size()));
  for (const Bytes& e : entries) b.append(e);
  return b.u32(intel, 0).append(tail);
}

constexpr std::uint32_t tail_offset(std::size_t entries) { return 8 + 2 + 12 * entries + 4; }

Bytes exif_segment(const Bytes& tiff_bytes) {
  return Bytes{}.segment(0xFFE1, Bytes{}.text("Exif").raw({0, 0}).append(tiff_bytes));
}

Bytes jpeg_with(const Bytes& segments) {
  return Bytes{}.be16(0xFFD8).append(segments).be16(0xFFD9);
}

std::string file_head(const std::string& name, std::size_t size) {
  return "reading file " + name + ":\nFilelen " + std::to_string(size) + " Bytes\nfile size " +
         std::to_string(size) + " bytes\n";
}

__attribute__((format(printf, 1, 2))) std::string format(const char* pattern, ...) {
  char line[256];
  va_list args;
  va_start(args, pattern);
  std::vsnprintf(line, sizeof line, pattern, args);
  va_end(args);
  return line;
}

// A small stream: SOI, a DQT segment of length 4, EOI (10 bytes).
const Bytes small_stream = Bytes{0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x04, 0x00, 0x00, 0xFF, 0xD9};
const std::string small_stream_walk =
    "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
    "Marker FFDB at file offset 00000002: (DQT) Define Quantization Table\n"
    "  DQT has len 4\n"
    "Marker FFD9 at file offset 00000008: (EOI) End of Image\n";

TEST(EmbeddedStreamsGolden, ThumbnailInLittleEndianIfdIsWalkedAndTheIfdGoesOnLittleEndian) {
  Bytes file = jpeg_with(exif_segment(tiff(true,
                                           {entry(true, 0x0201, 4, 1, tail_offset(3)),
                                            entry(true, 0x0202, 4, 1, 10),
                                            short_entry(true, 0x0128, 2)},
                                           small_stream)));
  ASSERT_EQ(file.size(), 74u);
  RunResult r = run_with_files({{"thumb.jpg", file}}, {"thumb.jpg"}, true);
  EXPECT_TRUE(same_text(r.out, banner() + file_head("thumb.jpg", 74) +
                                   "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                                   "Marker FFE1 at file offset 00000002: (APP1)\n"
                                   "  APP1 has len 68 and magic number 45786966 ('Exif')\n"
                                   "    found IFD with 3 tags at tiff-offset = 00000008\n"
                                   "      tag 0201, 1 long, off 00000032, val 32000000 \n"
                                   "        value  0x00000032 (50)\n"
                                   "        JPEG Interchange Format ()\n"
                                   "      tag 0202, 1 long, off 0000000A, val 0A000000 \n"
                                   "        value  0x0000000A (10)\n"
                                   "        JPEG Interchange Format Length ()\n"
                                   "      found EXIF jpeg thumbnail of size 10\n" +
                                   small_stream_walk +
                                   "      end of EXIF Thumbnail of size 10\n"
                                   "      tag 0128, 1 short, off 00000002, val 0200 \n"
                                   "        value  0x0002 (2)\n"
                                   "        Resolution Unit ()\n"
                                   "    no more IFD\n"
                                   "Marker FFD9 at file offset 00000048: (EOI) End of Image\n"));
}

// A lone offset in one Exif block (or file) is never paired with a lone
// length in the next: the second block has a stream at the same offset of
// its own, and still nothing is walked.
TEST(EmbeddedStreamsGolden, PendingHalfOfThePairEndsWithItsExifBlock) {
  const Bytes stream = Bytes{0xFF, 0xD8, 0xFF, 0xD9};
  Bytes offset_only = exif_segment(tiff(false, {entry(false, 0x0201, 4, 1, 26)}, stream));
  Bytes length_only = exif_segment(tiff(false, {entry(false, 0x0202, 4, 1, 4)}, stream));
  const std::string offset_lines =
      "  APP1 has len 38 and magic number 45786966 ('Exif')\n"
      "    found IFD with 1 tags at tiff-offset = 00000008\n"
      "      tag 0201, 1 long, off 0000001A, val 0000001A \n"
      "        value  0x0000001A (26)\n"
      "        JPEG Interchange Format ()\n"
      "    no more IFD\n";
  const std::string length_lines =
      "  APP1 has len 38 and magic number 45786966 ('Exif')\n"
      "    found IFD with 1 tags at tiff-offset = 00000008\n"
      "      tag 0202, 1 long, off 00000004, val 00000004 \n"
      "        value  0x00000004 (4)\n"
      "        JPEG Interchange Format Length ()\n"
      "    no more IFD\n";

  Bytes both = jpeg_with(Bytes{}.append(offset_only).append(length_only));
  Bytes first = jpeg_with(offset_only);
  Bytes second = jpeg_with(length_only);
  RunResult r = run_with_files({{"both.jpg", both}, {"a.jpg", first}, {"b.jpg", second}},
                               {"both.jpg", "a.jpg", "b.jpg"}, true);
  EXPECT_TRUE(same_text(r.out, banner() + file_head("both.jpg", 84) +
                                   "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                                   "Marker FFE1 at file offset 00000002: (APP1)\n" +
                                   offset_lines +
                                   "Marker FFE1 at file offset 0000002A: (APP1)\n" +
                                   length_lines +
                                   "Marker FFD9 at file offset 00000052: (EOI) End of Image\n" +
                                   file_head("a.jpg", 44) +
                                   "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                                   "Marker FFE1 at file offset 00000002: (APP1)\n" +
                                   offset_lines +
                                   "Marker FFD9 at file offset 0000002A: (EOI) End of Image\n" +
                                   file_head("b.jpg", 44) +
                                   "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                                   "Marker FFE1 at file offset 00000002: (APP1)\n" +
                                   length_lines +
                                   "Marker FFD9 at file offset 0000002A: (EOI) End of Image\n"));
}

// Only a long 0x0201 is an offset and only an undefined 0x927C a Maker
// Note: these get their ordinary lines, and the lone length stays alone.
TEST(EmbeddedStreamsGolden, EntriesOfOtherTypesAreNotHandedOn) {
  Bytes ascii_note = Bytes{}.be16(0x927C).be16(2).be32(4).text("abc").u8(0);
  Bytes file = jpeg_with(exif_segment(tiff(false, {short_entry(false, 0x0201, 26),
                                                   entry(false, 0x0202, 4, 1, 4), ascii_note})));
  RunResult r = run_with_files({{"plain.jpg", file}}, {"plain.jpg"}, true);
  EXPECT_TRUE(same_text(r.out, banner() + file_head("plain.jpg", 64) +
                                   "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                                   "Marker FFE1 at file offset 00000002: (APP1)\n"
                                   "  APP1 has len 58 and magic number 45786966 ('Exif')\n"
                                   "    found IFD with 3 tags at tiff-offset = 00000008\n"
                                   "      tag 0201, 1 short, off 001A0000, val 001A \n"
                                   "        value  0x001A (26)\n"
                                   "      tag 0202, 1 long, off 00000004, val 00000004 \n"
                                   "        value  0x00000004 (4)\n"
                                   "        JPEG Interchange Format Length ()\n"
                                   "      tag 927C, 4 ascii, off 61626300, val 61 62 63 00 \n" +
                                   std::string("        value abc\0\n", 19) +
                                   "    no more IFD\n"
                                   "Marker FFD9 at file offset 0000003E: (EOI) End of Image\n"));
}

TEST(EmbeddedStreamsGolden, JpegTablesValueIsWalkedFromItsFirstByte) {
  Bytes file = jpeg_with(exif_segment(tiff(false, {entry(false, 0x015B, 7, 10, tail_offset(1))},
                                           small_stream)));
  RunResult r = run_with_files({{"tables.jpg", file}}, {"tables.jpg"}, true);
  EXPECT_TRUE(same_text(r.out, banner() + file_head("tables.jpg", file.size()) +
                                   "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                                   "Marker FFE1 at file offset 00000002: (APP1)\n"
                                   "  APP1 has len 44 and magic number 45786966 ('Exif')\n"
                                   "    found IFD with 1 tags at tiff-offset = 00000008\n"
                                   "      tag 015B, 10 undefined, off 0000001A, val "
                                   "FF D8 FF DB 00 04 00 00 FF D9 \n"
                                   "        value  ??? ??? ??? ??? ??? ??? ??? ??? ??? ???\n"
                                   "      found Tag 'JPEGTables' (tables of jpeg compressed image)"
                                   " of size 10\n" +
                                   small_stream_walk +
                                   "      end of Tag 'JPEGTables'\n"
                                   "    no more IFD\n"
                                   "Marker FFD9 at file offset 00000030: (EOI) End of Image\n"));
}

TEST(EmbeddedStreamsGolden, MakerNoteIsDumpedAsOneIfdWithOffsetsFromTheTiffHeader) {
  // The note: one Orientation entry and a next-IFD offset that is not followed.
  Bytes note = Bytes{}.be16(1).append(short_entry(false, 0x0112, 1)).be32(8);
  Bytes file = jpeg_with(exif_segment(tiff(false, {entry(false, 0x927C, 7, 18, tail_offset(1))},
                                           note)));
  RunResult r = run_with_files({{"note.jpg", file}}, {"note.jpg"}, true);
  EXPECT_TRUE(same_text(r.out, banner() + file_head("note.jpg", file.size()) +
                                   "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                                   "Marker FFE1 at file offset 00000002: (APP1)\n"
                                   "  APP1 has len 52 and magic number 45786966 ('Exif')\n"
                                   "    found IFD with 1 tags at tiff-offset = 00000008\n"
                                   "      tag 927C, 18 undefined, off 0000001A, val "
                                   "00 01 01 12 00 03 00 00 00 01 00 01 00 00 00 00 00 08 \n"
                                   "        value  ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ???"
                                   " ??? ??? ??? ??? ...\n"
                                   "        Maker Note ()\n"
                                   "      found EXIF Maker Note of size 18\n"
                                   "    found IFD with 1 tags at tiff-offset = 0000001A\n"
                                   "      tag 0112, 1 short, off 00010000, val 0001 \n"
                                   "        value  0x0001 (1)\n"
                                   "        Orientation (Orientation of Image)\n"
                                   "      end of EXIF Maker Note of size 18\n"
                                   "    no more IFD\n"
                                   "Marker FFD9 at file offset 00000038: (EOI) End of Image\n"));
}

// A note whose own entry is a Maker Note at the note itself, and a note at
// IFD0: each directory is dumped once; the repeat is refused.  A note of 4
// bytes lies in the value field, whose first two bytes are its count.
TEST(EmbeddedStreamsGolden, MakerNotesPointingBackAreNotWalkedTwice) {
  Bytes self = Bytes{}.be16(1).append(entry(false, 0x927C, 7, 18, tail_offset(3))).be32(0);
  Bytes file = jpeg_with(exif_segment(tiff(false,
                                           {entry(false, 0x927C, 7, 18, tail_offset(3)),
                                            entry(false, 0x927C, 7, 18, 8),
                                            entry(false, 0x927C, 7, 4, 0)},
                                           self)));
  const std::string self_raw = "00 01 92 7C 00 07 00 00 00 12 00 00 00 32 00 00 00 00 \n";
  const std::string ifd0_raw = "00 03 92 7C 00 07 00 00 00 12 00 00 00 32 92 7C 00 07 \n";
  const std::string undefined_16 =
      "        value  ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ...\n"
      "        Maker Note ()\n";
  RunResult r = run_with_files({{"loop.jpg", file}}, {"loop.jpg"}, true);
  EXPECT_TRUE(same_text(r.out, banner() + file_head("loop.jpg", file.size()) +
                                   "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                                   "Marker FFE1 at file offset 00000002: (APP1)\n"
                                   "  APP1 has len 76 and magic number 45786966 ('Exif')\n"
                                   "    found IFD with 3 tags at tiff-offset = 00000008\n"
                                   "      tag 927C, 18 undefined, off 00000032, val " +
                                   self_raw + undefined_16 +
                                   "      found EXIF Maker Note of size 18\n"
                                   "    found IFD with 1 tags at tiff-offset = 00000032\n"
                                   "      tag 927C, 18 undefined, off 00000032, val " +
                                   self_raw + undefined_16 +
                                   "      found EXIF Maker Note of size 18\n"
                                   "IFD at tiff-offset 00000032 walked before, chain ends here\n"
                                   "      end of EXIF Maker Note of size 18\n"
                                   "      end of EXIF Maker Note of size 18\n"
                                   "      tag 927C, 18 undefined, off 00000008, val " +
                                   ifd0_raw + undefined_16 +
                                   "      found EXIF Maker Note of size 18\n"
                                   "IFD at tiff-offset 00000008 walked before, chain ends here\n"
                                   "      end of EXIF Maker Note of size 18\n"
                                   "      tag 927C, 4 undefined, off 00000000, val 00 00 00 00 \n"
                                   "        value  ??? ??? ??? ???\n"
                                   "        Maker Note ()\n"
                                   "      found EXIF Maker Note of size 4\n"
                                   "    found IFD with 0 tags at tiff-offset = 0000002A\n"
                                   "      end of EXIF Maker Note of size 4\n"
                                   "    no more IFD\n"
                                   "Marker FFD9 at file offset 00000050: (EOI) End of Image\n"));
}

// Stream of `levels` nested JPEG streams: each is SOI, an "MM" Exif block
// whose IFD0 holds the pair for the next stream, EOI.  The innermost is SOI
// EOI.  1260 levels are the most that fit in one segment of 64 KiB.
Bytes nested_stream(int levels) {
  Bytes inner{0xFF, 0xD8, 0xFF, 0xD9};
  for (int i = 0; i < levels; ++i) {
    Bytes pair_tiff = tiff(false,
                           {entry(false, 0x0201, 4, 1, tail_offset(2)),
                            entry(false, 0x0202, 4, 1, static_cast<std::uint32_t>(inner.size()))},
                           inner);
    inner = jpeg_with(exif_segment(pair_tiff));
  }
  return inner;
}

// The walk of a stream of `m` levels, seen at walk depth `depth`.
std::string nested_walk(int m, int depth) {
  if (m == 0)
    return "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
           "Marker FFD9 at file offset 00000002: (EOI) End of Image\n";
  unsigned inner = 4 + 52 * static_cast<unsigned>(m - 1);
  std::string s = "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                  "Marker FFE1 at file offset 00000002: (APP1)\n" +
                  format("  APP1 has len %u and magic number 45786966 ('Exif')\n", 46 + inner) +
                  "    found IFD with 2 tags at tiff-offset = 00000008\n"
                  "      tag 0201, 1 long, off 00000026, val 00000026 \n"
                  "        value  0x00000026 (38)\n"
                  "        JPEG Interchange Format ()\n" +
                  format("      tag 0202, 1 long, off %08X, val %08X \n", inner, inner) +
                  format("        value  0x%08X (%u)\n", inner, inner) +
                  "        JPEG Interchange Format Length ()\n" +
                  format("      found EXIF jpeg thumbnail of size %u\n", inner);
  if (depth < max_walk_depth)
    s += nested_walk(m - 1, depth + 1);
  else
    s += "EXIF jpeg thumbnail not walked: JPEG streams nested deeper than 16\n";
  return s + format("      end of EXIF Thumbnail of size %u\n", inner) + "    no more IFD\n" +
         format("Marker FFD9 at file offset %08X: (EOI) End of Image\n", inner + 50);
}

TEST(EmbeddedStreamsGolden, ThumbnailsNestedBeyondSixteenWalksStopWithOneMessage) {
  Bytes deepest = nested_stream(1260);
  ASSERT_LE(deepest.size(), 65535u + 6);
  Bytes sixteen = nested_stream(15);  // file walk plus 15 thumbnails: all walked
  RunResult r = run_with_files({{"deep.jpg", deepest}, {"sixteen.jpg", sixteen}},
                               {"deep.jpg", "sixteen.jpg"}, true);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(same_text(r.out, banner() + file_head("deep.jpg", deepest.size()) +
                                   nested_walk(1260, 1) +
                                   file_head("sixteen.jpg", sixteen.size()) +
                                   nested_walk(15, 1)));
}

// Many pairs in one IFD for the same stream, and the same at every level of
// a nest: the walks would multiply level by level.  An outermost walk
// enters at most 64 nested ones; the next file starts afresh.
TEST(EmbeddedStreamsGolden, NestedWalksUnderOneImageStopAtSixtyFour) {
  const Bytes stream = Bytes{0xFF, 0xD8, 0xFF, 0xD9};
  std::vector<Bytes> pairs;
  for (int i = 0; i < 70; ++i) {
    pairs.push_back(entry(false, 0x0201, 4, 1, tail_offset(140)));
    pairs.push_back(entry(false, 0x0202, 4, 1, 4));
  }
  Bytes wide = jpeg_with(exif_segment(tiff(false, pairs, stream)));
  std::string want = "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                     "Marker FFE1 at file offset 00000002: (APP1)\n"
                     "  APP1 has len 1706 and magic number 45786966 ('Exif')\n"
                     "    found IFD with 140 tags at tiff-offset = 00000008\n";
  for (int i = 0; i < 70; ++i) {
    want += "      tag 0201, 1 long, off 0000069E, val 0000069E \n"
            "        value  0x0000069E (1694)\n"
            "        JPEG Interchange Format ()\n"
            "      tag 0202, 1 long, off 00000004, val 00000004 \n"
            "        value  0x00000004 (4)\n"
            "        JPEG Interchange Format Length ()\n"
            "      found EXIF jpeg thumbnail of size 4\n";
    want += i < 64 ? "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                     "Marker FFD9 at file offset 00000002: (EOI) End of Image\n"
                   : "EXIF jpeg thumbnail not walked: 64 embedded JPEG streams walked in this"
                     " image already\n";
    want += "      end of EXIF Thumbnail of size 4\n";
  }
  want += "    no more IFD\n"
          "Marker FFD9 at file offset 000006AE: (EOI) End of Image\n";

  // Four pairs at each of 16 levels: 4^15 walks without the total.
  Bytes nest = stream;
  for (int level = 0; level < 16; ++level) {
    std::vector<Bytes> level_pairs;
    for (int i = 0; i < 4; ++i) {
      level_pairs.push_back(entry(false, 0x0201, 4, 1, tail_offset(8)));
      level_pairs.push_back(entry(false, 0x0202, 4, 1, static_cast<std::uint32_t>(nest.size())));
    }
    nest = jpeg_with(exif_segment(tiff(false, level_pairs, nest)));
  }

  RunResult r = run_with_files({{"wide.jpg", wide}, {"nest.jpg", nest}, {"next.jpg", wide}},
                               {"wide.jpg", "nest.jpg", "next.jpg"}, true);
  std::size_t nest_at = r.out.find("reading file nest.jpg:\n");
  std::size_t next_at = r.out.find("reading file next.jpg:\n");
  ASSERT_NE(nest_at, std::string::npos);
  ASSERT_NE(next_at, std::string::npos);
  EXPECT_TRUE(same_text(r.out.substr(0, nest_at),
                        banner() + file_head("wide.jpg", wide.size()) + want));
  EXPECT_TRUE(same_text(r.out.substr(next_at), file_head("next.jpg", wide.size()) + want));

  std::string nest_out = r.out.substr(nest_at, next_at - nest_at);
  auto count = [&](const std::string& line) {
    std::size_t n = 0;
    for (std::size_t at = nest_out.find(line); at != std::string::npos;
         at = nest_out.find(line, at + 1))
      ++n;
    return n;
  };
  EXPECT_EQ(count("Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"), 1u + 64u);
  EXPECT_EQ(count("      found EXIF jpeg thumbnail"), count("      end of EXIF Thumbnail"));
  EXPECT_GT(count("embedded JPEG streams walked in this image already\n"), 0u);
  std::string last = format("Marker FFD9 at file offset %08zX: (EOI) End of Image\n",
                            nest.size() - 2);
  EXPECT_EQ(nest_out.substr(nest_out.size() - last.size()), last);
}

// Every real camera file whose IFD1 carries a thumbnail (sizes found by
// reading the files' IFD1 by hand) shows that thumbnail walked to its EOI,
// which is the thumbnail's last two bytes.
TEST(EmbeddedStreamsGolden, CorpusThumbnailsAreWalkedToTheirEndOfImage) {
  if (corpus_dir().empty()) GTEST_SKIP() << "corpus folder ../shared/corpus not found";
  const std::pair<const char*, unsigned> thumbnails[] = {
      {"Canon_40D.jpg", 1378},          {"Canon_DIGITAL_IXUS_400.jpg", 1805},
      {"Canon_PowerShot_S40.jpg", 5448}, {"DSCN0010.jpg", 6702},
      {"Fujifilm_FinePix6900ZOOM.jpg", 1428}, {"Kodak_CX7530.jpg", 1918},
      {"Konica_Minolta_DiMAGE_Z3.jpg", 1234}, {"Nikon_COOLPIX_P1.jpg", 1639},
      {"Nikon_D70.jpg", 1700},          {"Olympus_C8080WZ.jpg", 1061},
      {"PaintTool_sample.jpg", 2251},   {"Panasonic_DMC-FZ30.jpg", 1607},
      {"Pentax_K10D.jpg", 1349},        {"Ricoh_Caplio_RR330.jpg", 1307},
      {"Samsung_Digimax_i50_MP3.jpg", 1418}, {"Sony_HDR-HC3.jpg", 1232},
      {"corrupted.jpg", 5309},          {"long_description.jpg", 1322},
  };
  ScratchDir dir;
  for (const auto& [name, size] : thumbnails) {
    RunResult r = run_segsniff(dir, {corpus_dir() + "/" + name});
    std::string found = format("      found EXIF jpeg thumbnail of size %u\n", size);
    std::string end = format("      end of EXIF Thumbnail of size %u\n", size);
    std::string eoi = format("Marker FFD9 at file offset %08X: (EOI) End of Image\n", size - 2);
    std::size_t at = r.out.find(found);
    ASSERT_NE(at, std::string::npos) << name;
    // A Maker Note dumped as a directory may hold the pair again: every walk
    // of the thumbnail ends the same way.
    for (; at != std::string::npos; at = r.out.find(found, at + 1)) {
      std::size_t end_at = r.out.find(end, at);
      ASSERT_NE(end_at, std::string::npos) << name;
      ASSERT_GE(end_at, at + found.size() + eoi.size()) << name;
      EXPECT_EQ(r.out.substr(end_at - eoi.size(), eoi.size()), eoi) << name;
    }
  }
}

}  // namespace
}  // namespace segsniff::test
