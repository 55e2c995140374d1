// Entries whose data is itself a stream: the thumbnail pair, JPEGTables and
// the Maker Note.  The handlers are driven directly here (the pair's state
// machine, the bounds, the nesting limit); the golden tests through the
// program follow below.
#include <gtest/gtest.h>

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

TEST(ThumbnailPair, ValuesAreReadInTheStructuresByteOrder) {
  PairFixture f;
  ByteOrderScope intel(true);
  CapturedOutput captured;
  scan_thumbnail_offset(f.tiff(), f.value(0x28000000), f.context);  // 28 00 00 00: 40
  scan_thumbnail_length(f.tiff(), f.value(0x04000000), f.context);
  EXPECT_EQ(f.context.thumbnail.thumbnail_offset, 40u);
  EXPECT_EQ(f.context.thumbnail.thumbnail_length, 4u);
  EXPECT_TRUE(same_text(captured.all(), "      found EXIF jpeg thumbnail of size 4\n" +
                                            soi_eoi_walk +
                                            "      end of EXIF Thumbnail of size 4\n"));
  EXPECT_TRUE(intel_order);  // the walk put back the order it found
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
