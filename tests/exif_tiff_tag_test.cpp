// One IFD entry: the entry line, the value line and the dictionary lines,
// and the refusals that print nothing but one message.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exif/scan_ifd.h"
#include "support/golden.h"

namespace segsniff {
namespace {

using test::Bytes;
using test::CapturedOutput;
using test::same_text;

constexpr bool intel = true;
constexpr bool motorola = false;

// Fixtures: a two-byte IFD count, the entry at offset 2, value data from
// offset 14 on.  The region spans exactly the bytes built.
constexpr Offset entry_at = 2;
constexpr std::uint32_t data_at = 14;

Bytes entry(bool ii, std::uint16_t tag, std::uint16_t type, std::uint32_t count,
            std::uint32_t value) {
  return Bytes{0x00, 0x00}.u16(ii, tag).u16(ii, type).u32(ii, count).u32(ii, value);
}

struct TagDump {
  std::string out;
  std::string err;
  Offset cursor;
};

TagDump dump_entry(const Bytes& bytes, bool ii) {
  const std::vector<std::uint8_t> exact = bytes.vector();  // no slack for an overread
  ByteRegion region = ByteRegion::over(exact.data(), exact.size());
  region.seek(entry_at);
  ByteOrderScope order(ii);
  WalkContext walk{test::text_printer()};
  TiffContext context(walk);
  CapturedOutput captured;
  scan_tiff_tag(region, context);
  return {captured.out(), captured.err(), region.cursor()};
}

void expect_dump(const Bytes& bytes, bool ii, const std::string& out, const std::string& err = "") {
  TagDump have = dump_entry(bytes, ii);
  EXPECT_TRUE(same_text(have.out, out));
  EXPECT_TRUE(same_text(have.err, err));
  EXPECT_EQ(have.cursor, entry_at + 12);
}

TEST(ScanTiffTag, DataInTheValueFieldOrAtAnOffset) {
  // count 0: no bytes, no values, and the count-1 dictionary row does not match
  expect_dump(entry(intel, 0x0100, 3, 0, 0), intel,
              "      tag 0100, 0 short, off 00000000, val \n"
              "        value \n");
  // bytes, left-aligned in the field; the unused fourth byte is not shown
  expect_dump(entry(motorola, 0x0000, 1, 3, 0x01020304), motorola,
              "      tag 0000, 3 byte, off 01020304, val 01 02 03 \n"
              "        value  01 02 03\n"
              "        Illegal Tag (used for internal purpose of segsniff)\n");
}

TEST(ScanTiffTag, RawBytesAreCutAt32AndValuesAt16) {
  expect_dump(entry(intel, 0x0132, 2, 20, data_at).text("2002:10:06 12:34:56").u8(0), intel,
              "      tag 0132, 20 ascii, off 0000000E, val "
              "32 30 30 32 3A 31 30 3A 30 36 20 31 32 3A 33 34 3A 35 36 00 \n"
              "        value 2002:10:06 12:34 ...\n"
              "        Date Time (File change date and time)\n");
  std::string raw;
  for (int i = 0; i < 32; ++i) raw += "AB ";
  expect_dump(entry(intel, 0x9286, 7, 33, data_at).fill(33, 0xAB), intel,
              "      tag 9286, 33 undefined, off 0000000E, val " + raw + "...\n"
              "        value  ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ??? ...\n"
              "        User Comment ()\n");
}

TEST(ScanTiffTag, DecimalsOfLongsAndRationalsAreSignedWhateverTheType) {
  expect_dump(entry(motorola, 0x829A, 5, 1, data_at).be32(0x80000000).be32(1), motorola,
              "      tag 829A, 1 rational, off 0000000E, val 8000000000000001 \n"
              "        value  -2147483648/1\n"
              "        Exposure Time (in seconds)\n");
  expect_dump(entry(intel, 0xA002, 4, 1, 0xFFFFFFFF), intel,
              "      tag A002, 1 long, off FFFFFFFF, val FFFFFFFF \n"
              "        value  0xFFFFFFFF (-1)\n"
              "        Pixel X Dimension ()\n");
}

// The first n bytes of b.
Bytes cut(const Bytes& b, std::size_t n) {
  Bytes head;
  for (std::size_t i = 0; i < n; ++i) head.u8(b.vector()[i]);
  return head;
}

TEST(ScanTiffTag, RefusedEntriesPrintOnlyTheirMessages) {
  for (std::uint16_t type : {0, 6, 8, 11, 65535}) {
    SCOPED_TRACE(type);
    expect_dump(entry(intel, 0x0112, type, 1, 1), intel, "",
                "illegal data_type " + std::to_string(type) + "\n");
  }
  struct Case {
    Bytes bytes;
    const char* err;
    Offset cursor = entry_at + 12;
  };
  const Case cases[] = {
      // eight bytes of a rational where only four are left
      {entry(intel, 0x829A, 5, 1, data_at).le32(1), "illegal tiff tag (end of data out of area)\n"},
      // an offset at the region's end, and one that wraps when added
      {entry(intel, 0x829A, 5, 1, data_at), "illegal tiff tag (begin of data out of area)\n"},
      {entry(intel, 0x829A, 5, 1, 0xFFFFFFFF), "illegal tiff tag (begin of data out of area)\n"},
      // 0x80000000 shorts are 2^32 bytes, not 0
      {entry(intel, 0x0111, 3, 0x80000000, data_at).fill(8, 0),
       "illegal tiff tag (end of data out of area)\n"},
      // entries cut by the region's end report each failed field; the two
      // bytes left of a value field must not be shown as a short
      {cut(entry(intel, 0x0112, 3, 1, 1), 2 + 3),
       "get_int16() fails for end of data\n"
       "get_int32() fails for end of data\n"
       "get_int32() fails for end of data\n"
       "illegal data_type 0\n",
       no_position},
      {cut(entry(intel, 0x0112, 3, 1, 1), 2 + 10),
       "get_int32() fails for end of data\n"
       "illegal tiff tag (begin of data out of area)\n",
       no_position},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    TagDump have = dump_entry(c.bytes, intel);
    EXPECT_EQ(have.out, "");
    EXPECT_TRUE(same_text(have.err, c.err));
    EXPECT_EQ(have.cursor, c.cursor);
  }
}

}  // namespace
}  // namespace segsniff
