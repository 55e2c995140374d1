// Entries whose data is itself a stream: the thumbnail pair, JPEGTables and
// the Maker Note.  The handlers are driven directly here (the pair's state
// machine, the bounds, the nesting limit); the golden tests through the
// program follow below.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exif/embedded_streams.h"
#include "support/golden.h"

namespace segsniff::test {
namespace {

// A TIFF region of 64 bytes with a minimal JPEG stream (SOI, EOI) at
// offset 40, and a value field at offset 8 whose contents each entry sets.
struct PairFixture {
  Bytes bytes = Bytes{}.fill(40, 0x00).raw({0xFF, 0xD8, 0xFF, 0xD9}).fill(20, 0x00);
  WalkContext walk{text_printer()};
  TiffContext context{walk};

  PairFixture() { walk.depth = 1; }
  ByteRegion tiff() const { return ByteRegion(bytes.data(), 0, bytes.size()); }
  // The data region of a long entry whose value field holds v (big-endian).
  ByteRegion value(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[8 + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    return ByteRegion(bytes.data(), 8, 12);
  }
};

struct PairEntry {
  char half;  // 'o' thumbnail offset, 'l' thumbnail length
  std::uint32_t value;
};

const std::string walk_of_4 =
    "      found EXIF jpeg thumbnail of size 4\n"
    "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
    "Marker FFD9 at file offset 00000002: (EOI) End of Image\n"
    "      end of EXIF Thumbnail of size 4\n";

// Either half may come first; the second walks the thumbnail and spends the
// pair, also when the thumbnail is refused, so the next pair starts afresh.
TEST(ThumbnailPair, SecondHalfWalksOrRefusesTheThumbnailAndSpendsThePair) {
  struct Case {
    std::vector<PairEntry> entries;
    std::string want;
  };
  const Case cases[] = {
      {{{'o', 40}, {'l', 4}}, walk_of_4},
      {{{'l', 4}, {'o', 40}}, walk_of_4},
      {{{'o', 2}, {'o', 40}, {'l', 4}, {'l', 7}, {'l', 9}},
       "    warning: thumbnail offset overwritten\n" + walk_of_4 +
           "    warning: thumbnail length overwritten\n"},
      {{{'o', 64}, {'l', 1}, {'o', 40}, {'l', 4}},
       "illegal EXIF jpeg thumbnail (begin of data out of area)\n" + walk_of_4},
      {{{'o', 40}, {'l', 25}, {'o', 40}, {'l', 4}},  // one byte past the end
       "illegal EXIF jpeg thumbnail (end of data out of area)\n" + walk_of_4},
      {{{'o', 63}, {'l', 0xFFFFFFFF}}, "illegal EXIF jpeg thumbnail (end of data out of area)\n"},
      {{{'o', 0}, {'l', 0}}, "illegal EXIF jpeg thumbnail (end of data out of area)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.want);
    PairFixture f;
    CapturedOutput captured;
    for (const PairEntry& e : c.entries)
      (e.half == 'o' ? scan_thumbnail_offset : scan_thumbnail_length)(f.tiff(), f.value(e.value),
                                                                       f.context);
    EXPECT_TRUE(same_text(captured.all(), c.want));
  }
}

TEST(NestedStreams, WalkOneLevelBeyondTheLimitIsNotEntered) {
  PairFixture f;
  f.walk.depth = max_walk_depth;
  CapturedOutput captured;
  scan_thumbnail_offset(f.tiff(), f.value(40), f.context);
  scan_thumbnail_length(f.tiff(), f.value(4), f.context);
  scan_jpeg_tables(f.tiff(), ByteRegion(f.bytes.data(), 40, 44), f.context);
  EXPECT_TRUE(same_text(captured.all(),
                        "      found EXIF jpeg thumbnail of size 4\n"
                        "EXIF jpeg thumbnail not walked: JPEG streams nested deeper than 16\n"
                        "      end of EXIF Thumbnail of size 4\n"
                        "      found Tag 'JPEGTables' (tables of jpeg compressed image) of size 4\n"
                        "Tag 'JPEGTables' not walked: JPEG streams nested deeper than 16\n"
                        "      end of Tag 'JPEGTables'\n"));
}

// Golden tests through the program.

// One IFD entry; `value` is the value field as a 32-bit number in the
// structure's order (long values, offsets).
Bytes entry(bool intel, std::uint16_t tag, std::uint16_t type, std::uint32_t count,
            std::uint32_t value) {
  return Bytes{}.u16(intel, tag).u16(intel, type).u32(intel, count).u32(intel, value);
}

// TIFF header with IFD0 at offset 8, then IFD0 with `entries` and a next-IFD
// offset of 0, then `tail` (values, thumbnails) from tail_offset(n) on.
Bytes tiff(bool intel, const std::vector<Bytes>& entries, const Bytes& tail = {}) {
  Bytes b;
  b.text(intel ? "II" : "MM").u16(intel, 42).u32(intel, 8);
  b.u16(intel, static_cast<std::uint16_t>(entries.size()));
  for (const Bytes& e : entries) b.append(e);
  return b.u32(intel, 0).append(tail);
}

constexpr std::uint32_t tail_offset(std::size_t entries) { return 8 + 2 + 12 * entries + 4; }

Bytes jpeg_with_exif(const std::vector<Bytes>& tiffs) {
  Bytes b = Bytes{}.be16(0xFFD8);
  for (const Bytes& t : tiffs) b.segment(0xFFE1, Bytes{}.text("Exif").raw({0, 0}).append(t));
  return b.be16(0xFFD9);
}

std::string file_head(const std::string& name, std::size_t size) {
  return "reading file " + name + ":\nFilelen " + std::to_string(size) + " Bytes\nfile size " +
         std::to_string(size) + " bytes\n";
}

// A small stream: SOI, a DQT segment of length 4, EOI (10 bytes).
const Bytes small_stream = Bytes{0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x04, 0x00, 0x00, 0xFF, 0xD9};
const std::string small_stream_walk =
    "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
    "Marker FFDB at file offset 00000002: (DQT) Define Quantization Table\n"
    "  DQT has len 4\n"
    "Marker FFD9 at file offset 00000008: (EOI) End of Image\n";

// The thumbnail pair and JPEGTables name the same bytes; after both walks
// the IFD goes on little-endian.  A lone offset then stays pending with its
// Exif block: the next block's lone length is never paired with it.
TEST(EmbeddedStreamsGolden, ThumbnailAndJpegTablesAreWalkedAndAPendingHalfEndsWithItsBlock) {
  const Bytes file = jpeg_with_exif({tiff(true,
                                          {entry(true, 0x0201, 4, 1, tail_offset(5)),
                                           entry(true, 0x0202, 4, 1, 10),
                                           entry(true, 0x015B, 7, 10, tail_offset(5)),
                                           entry(true, 0x0128, 3, 1, 2),
                                           entry(true, 0x0201, 4, 1, tail_offset(5))},
                                          small_stream),
                                     tiff(false, {entry(false, 0x0202, 4, 1, 10)}, small_stream)});
  ASSERT_EQ(file.size(), 144u);
  RunResult r = run_with_files({{"thumb.jpg", file}}, {"thumb.jpg"}, true);
  EXPECT_TRUE(same_text(r.out, banner() + file_head("thumb.jpg", 144) +
                                   "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                                   "Marker FFE1 at file offset 00000002: (APP1)\n"
                                   "  APP1 has len 92 and magic number 45786966 ('Exif')\n"
                                   "    found IFD with 5 tags at tiff-offset = 00000008\n"
                                   "      tag 0201, 1 long, off 0000004A, val 4A000000 \n"
                                   "        value  0x0000004A (74)\n"
                                   "        JPEG Interchange Format ()\n"
                                   "      tag 0202, 1 long, off 0000000A, val 0A000000 \n"
                                   "        value  0x0000000A (10)\n"
                                   "        JPEG Interchange Format Length ()\n"
                                   "      found EXIF jpeg thumbnail of size 10\n" +
                                   small_stream_walk +
                                   "      end of EXIF Thumbnail of size 10\n"
                                   "      tag 015B, 10 undefined, off 0000004A, val "
                                   "FF D8 FF DB 00 04 00 00 FF D9 \n"
                                   "        value  ??? ??? ??? ??? ??? ??? ??? ??? ??? ???\n"
                                   "      found Tag 'JPEGTables' (tables of jpeg compressed image)"
                                   " of size 10\n" +
                                   small_stream_walk +
                                   "      end of Tag 'JPEGTables'\n"
                                   "      tag 0128, 1 short, off 00000002, val 0200 \n"
                                   "        value  0x0002 (2)\n"
                                   "        Resolution Unit ()\n"
                                   "      tag 0201, 1 long, off 0000004A, val 4A000000 \n"
                                   "        value  0x0000004A (74)\n"
                                   "        JPEG Interchange Format ()\n"
                                   "    no more IFD\n"
                                   "Marker FFE1 at file offset 00000060: (APP1)\n"
                                   "  APP1 has len 44 and magic number 45786966 ('Exif')\n"
                                   "    found IFD with 1 tags at tiff-offset = 00000008\n"
                                   "      tag 0202, 1 long, off 0000000A, val 0000000A \n"
                                   "        value  0x0000000A (10)\n"
                                   "        JPEG Interchange Format Length ()\n"
                                   "    no more IFD\n"
                                   "Marker FFD9 at file offset 0000008E: (EOI) End of Image\n"));
}

// A Maker Note is dumped as one IFD at its value, with offsets from the TIFF
// header; its next-IFD offset (8 here) is not followed.  A note whose own
// entry is a Maker Note at the note itself, and a note at IFD0: each
// directory is dumped once; the repeat is refused.  A note of 4 bytes lies
// in the value field, whose first two bytes are its count.
TEST(EmbeddedStreamsGolden, MakerNotesAreDumpedOnceAsIfds) {
  const Bytes self = Bytes{}.be16(1).append(entry(false, 0x927C, 7, 18, tail_offset(3))).be32(8);
  const Bytes file = jpeg_with_exif({tiff(false,
                                          {entry(false, 0x927C, 7, 18, tail_offset(3)),
                                           entry(false, 0x927C, 7, 18, 8),
                                           entry(false, 0x927C, 7, 4, 0)},
                                          self)});
  const std::string self_raw = "00 01 92 7C 00 07 00 00 00 12 00 00 00 32 00 00 00 08 \n";
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

// The layout of a real Nikon file (87_OSError.jpg), rebuilt: the data come
// first and IFD0 last, so the Maker Note -- whose text header "Nikon\0" is
// read as a count of 26958 entries -- sweeps in steps of 12 over IFD0's own
// entries and follows IFD0's GPS pointer before IFD0's walk gets there.  The
// note may not walk the Exif IFD again (the structure is walking it), and
// what it walks must not keep the GPS IFD from being walked at IFD0's
// pointer.  Offsets from the TIFF header:
//     0  header, IFD0 at 0x50
//     8  Exif IFD: the Maker Note (36 bytes at 0x2C)
//  0x1A  GPS IFD: GPS version 2.2
//  0x2C  Maker Note: "Nikon\0" 02 00 00 00, "II" 2A 00 08 00 00 00, a
//        directory of one entry (version "0210")
//  0x50  IFD0: Make, Exif IFD pointer, GPS IFD pointer (0x50 - 0x2C is 36,
//        so the note's steps of 12 meet IFD0's entries)
//  0x7A  "NIKON CORPORATION\0", to the end of the segment at 0x8C
TEST(EmbeddedStreamsGolden, MakerNoteNeverKeepsARealIfdFromBeingWalkedAtItsOwnPointer) {
  const bool ii = true;
  const Bytes exif_ifd = Bytes{}.le16(1).append(entry(ii, 0x927C, 7, 36, 0x2C)).le32(0);
  const Bytes gps_ifd = Bytes{}.le16(1).append(entry(ii, 0x0000, 1, 4, 0x0202)).le32(0);
  const Bytes note = Bytes{}
                         .text("Nikon").raw({0x00, 0x02, 0x00, 0x00, 0x00})
                         .text("II").le16(42).le32(8)
                         .le16(1).append(entry(ii, 0x0001, 7, 4, 0x30313230)).le32(0);
  const Bytes ifd0 = Bytes{}
                         .le16(3)
                         .append(entry(ii, 0x010F, 2, 18, 0x7A))
                         .append(entry(ii, 0x8769, 4, 1, 0x08))
                         .append(entry(ii, 0x8825, 4, 1, 0x1A))
                         .le32(0);
  const Bytes tiff = Bytes{}
                         .text("II").le16(42).le32(0x50)
                         .append(exif_ifd).append(gps_ifd).append(note).append(ifd0)
                         .text("NIKON CORPORATION").u8(0);
  ASSERT_EQ(tiff.size(), 0x8Cu);
  const Bytes file = jpeg_with_exif({tiff});
  const std::string gps_walk =
      "      found GPS IFD Pointer 0000001A\n"
      "    found IFD with 1 tags at tiff-offset = 0000001A\n"
      "      tag 0000, 4 byte, off 00000202, val 02 02 00 00 \n"
      "        value  02 02 00 00\n"
      "        Illegal Tag (used for internal purpose of segsniff)\n"
      "    no more IFD\n";
  const std::string make =
      "      tag 010F, 18 ascii, off 0000007A, val 4E 49 4B 4F 4E 20 43 4F 52 50 4F 52 41 54 49 4F "
      "4E 00 \n"
      "        value NIKON CORPORATIO ...\n"
      "        Make (Image input equipment manufacturer)\n";
  const std::string exif_pointer =
      "      tag 8769, 1 long, off 00000008, val 08000000 \n"
      "        value  0x00000008 (8)\n"
      "      found EXIF IFD Pointer 00000008\n";
  const std::string gps_pointer =
      "      tag 8825, 1 long, off 0000001A, val 1A000000 \n"
      "        value  0x0000001A (26)\n";
  RunResult r = run_with_files({{"nikon.jpg", file}}, {"nikon.jpg"}, true);
  EXPECT_TRUE(same_text(
      r.out, banner() + file_head("nikon.jpg", file.size()) +
                 "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                 "Marker FFE1 at file offset 00000002: (APP1)\n"
                 "  APP1 has len 148 and magic number 45786966 ('Exif')\n"
                 "    found IFD with 3 tags at tiff-offset = 00000050\n" +
                 make + exif_pointer +
                 "    found IFD with 1 tags at tiff-offset = 00000008\n"
                 "      tag 927C, 36 undefined, off 0000002C, val 4E 69 6B 6F 6E 00 02 00 00 00 "
                 "49 49 2A 00 08 00 00 00 01 00 01 00 07 00 04 00 00 00 30 32 31 30 ...\n"
                 "        value  ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? "
                 "...\n"
                 "        Maker Note ()\n"
                 "      found EXIF Maker Note of size 36\n"
                 "    found IFD with 26958 tags at tiff-offset = 0000002C\n"
                 "illegal data_type 110\n"
                 "illegal data_type 0\n"
                 "illegal data_type 12848\n" +
                 make + exif_pointer +
                 "IFD at tiff-offset 00000008 walked before, chain ends here\n"
                 "    no more IFD\n" +
                 gps_pointer + gps_walk +
                 "illegal data_type 0\n"
                 "get_int32() fails for end of data\n"
                 "illegal data_type 21071\n"
                 "IFD at tiff-offset 0000002C: 26950 more entries lie past the end of data\n"
                 "no memory for offset of next ifd\n"
                 "      end of EXIF Maker Note of size 36\n"
                 "    no more IFD\n" +
                 gps_pointer + gps_walk +
                 "    no more IFD\n"
                 "Marker FFD9 at file offset 00000098: (EOI) End of Image\n"));
}

std::size_t count_of(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Many pairs in one IFD for the same stream, and the same at every level of
// a nest: the walks would multiply level by level.  An image walks at most
// 64 embedded streams, of at most 4 bytes for every byte of its application
// segments; the next file starts afresh.
TEST(EmbeddedStreamsGolden, NestedWalksUnderOneImageStopAtTheImagesAllowance) {
  // n pairs for the stream of `length` bytes after the IFD of 2n entries
  auto pairs = [](int n, std::size_t length) {
    std::vector<Bytes> entries;
    for (int i = 0; i < n; ++i) {
      entries.push_back(entry(false, 0x0201, 4, 1, tail_offset(2 * n)));
      entries.push_back(entry(false, 0x0202, 4, 1, static_cast<std::uint32_t>(length)));
    }
    return entries;
  };
  const Bytes stream{0xFF, 0xD8, 0xFF, 0xD9};
  const Bytes wide = jpeg_with_exif({tiff(false, pairs(70, 4), stream)});
  // Four pairs at each of 16 levels: 4^15 walks without a total.
  Bytes nest = stream;
  for (int level = 0; level < 16; ++level)
    nest = jpeg_with_exif({tiff(false, pairs(4, nest.size()), nest)});
  const std::size_t nest_segment = nest.size() - 2 - 2 - 2;  // SOI, APP1 marker, EOI

  RunResult r = run_with_files({{"wide.jpg", wide}, {"nest.jpg", nest}}, {"wide.jpg", "nest.jpg"},
                               true);
  const std::size_t nest_at = r.out.find("reading file nest.jpg:\n");
  ASSERT_NE(nest_at, std::string::npos);
  const std::string wide_out = r.out.substr(0, nest_at);
  const std::string nest_out = r.out.substr(nest_at);
  EXPECT_EQ(count_of(wide_out, "      found EXIF jpeg thumbnail of size 4\n"
                               "EXIF jpeg thumbnail not walked: 64 embedded JPEG streams walked"
                               " in this image already\n"
                               "      end of EXIF Thumbnail of size 4\n"),
            70u - 64u);
  EXPECT_EQ(count_of(wide_out, "(EOI) End of Image\n"), 1u + 64u);

  // The nest's walks stop at the bytes: the first walks go down the first
  // pair of every level while their sum stays within the allowance.
  std::size_t walked_bytes = 0, walks = 0;
  for (std::size_t at = nest_out.find("      found EXIF jpeg thumbnail of size "); at != std::string::npos;
       at = nest_out.find("      found EXIF jpeg thumbnail of size ", at + 1)) {
    const std::size_t line_end = nest_out.find('\n', at);
    if (nest_out.compare(line_end + 1, 7, "Marker ") != 0) continue;  // refused
    walked_bytes += std::stoul(nest_out.substr(at + 40, line_end - at - 40));
    ++walks;
  }
  EXPECT_GT(walks, 2u);
  EXPECT_LE(walked_bytes, 4 * nest_segment);
  EXPECT_EQ(count_of(nest_out, "(EOI) End of Image\n"), 1u + walks);
  EXPECT_GT(count_of(nest_out, "EXIF jpeg thumbnail not walked: embedded JPEG streams of this image"
                               " would exceed "),
            0u);
  for (const std::string* out : {&wide_out, &nest_out}) {
    // every thumbnail found is walked or refused with a message
    EXPECT_EQ(count_of(*out, "      found EXIF jpeg thumbnail"),
              count_of(*out, "(SOI) Start of Image\n") - 1 + count_of(*out, " not walked: "));
    EXPECT_EQ(count_of(*out, "      found EXIF jpeg thumbnail"),
              count_of(*out, "      end of EXIF Thumbnail"));
  }
}

}  // namespace
}  // namespace segsniff::test
