// The worst nesting and the longest chains that fit in one application
// segment, through the program.  Each kind of nesting (marker walks, IFDs)
// has its own bound; these inputs stack every kind at its bound at once.
#include <gtest/gtest.h>

#include <string>

#include "exif/tiff_context.h"
#include "jpeg/walk_context.h"
#include "support/golden.h"

namespace segsniff::test {
namespace {

constexpr std::size_t max_segment_payload = 65535 - 2;  // the length counts itself

std::size_t count_of(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

Bytes entry(bool ii, std::uint16_t tag, std::uint32_t value) {
  return Bytes{}.u16(ii, tag).u16(ii, 4).u32(ii, 1).u32(ii, value);
}

Bytes jpeg_with_exif(const Bytes& tiff) {
  return Bytes{}.be16(0xFFD8).segment(0xFFE1, Bytes{}.text("Exif").raw({0, 0}).append(tiff)).be16(0xFFD9);
}

// One level: IFDs nested max_ifd_depth deep through Exif IFD pointers (IFD i
// at 8 + 18 i), the deepest holding the thumbnail pair; the thumbnail is the
// next level's stream, followed by `padding` zero bytes.  Levels alternate
// byte orders.
Bytes nest_one_level(const Bytes& inner, bool ii, std::size_t padding = 0) {
  constexpr int deepest = max_ifd_depth - 1;
  constexpr std::uint32_t thumbnail_at = 8 + 18 * deepest + 2 + 24 + 4;
  Bytes tiff = Bytes{}.text(ii ? "II" : "MM").u16(ii, 42).u32(ii, 8);
  for (int i = 0; i < deepest; ++i)
    tiff.u16(ii, 1).append(entry(ii, 0x8769, static_cast<std::uint32_t>(8 + 18 * (i + 1)))).u32(ii, 0);
  tiff.u16(ii, 2)
      .append(entry(ii, 0x0201, thumbnail_at))
      .append(entry(ii, 0x0202, static_cast<std::uint32_t>(inner.size())))
      .u32(ii, 0);
  EXPECT_EQ(tiff.size(), thumbnail_at);
  return jpeg_with_exif(tiff.append(inner).fill(padding, 0));
}

// Seventeen levels, the outermost padded to the largest segment so that
// the image earns enough to walk them all: the file's walk and fifteen
// thumbnails are walked, each with all its IFDs, and the walk depth stops
// the sixteenth.
TEST(HostileRecursion, EveryKindOfNestingAtItsBoundInOneSegment) {
  Bytes stream{0xFF, 0xD8, 0xFF, 0xD9};
  for (int level = 0; level < max_walk_depth; ++level) stream = nest_one_level(stream, level % 2 == 0);
  const std::size_t unpadded = nest_one_level(stream, max_walk_depth % 2 == 0).size() - 8;
  stream = nest_one_level(Bytes(stream), max_walk_depth % 2 == 0, max_segment_payload - unpadded);
  ASSERT_EQ(stream.size() - 8, max_segment_payload);  // SOI, marker, length, EOI

  RunResult dump = run_with_files({{"deep.jpg", stream}}, {"deep.jpg"});
  EXPECT_EQ(count_of(dump.out, "(EOI) End of Image\n"), std::size_t{max_walk_depth});
  EXPECT_EQ(count_of(dump.out, "    found IFD with 1 tags"),
            std::size_t{max_walk_depth} * (max_ifd_depth - 1));
  EXPECT_EQ(count_of(dump.out, "      found EXIF jpeg thumbnail of size"),
            std::size_t{max_walk_depth});
  EXPECT_TRUE(same_text(dump.err,
                        "EXIF jpeg thumbnail not walked: JPEG streams nested deeper than 16\n"));

  // Carving starts a walk at every level's SOI: each is a stream of its own.
  RunResult carve = run_with_files({{"deep.jpg", stream}}, {"-recover", "deep.jpg"});
  EXPECT_EQ(count_of(carve.out, "found SOI-Marker at offset"), std::size_t{max_walk_depth} + 2);
  EXPECT_EQ(count_of(carve.out, "restore "), std::size_t{max_walk_depth} + 2);
}

// As many levels as fit in one segment: the nested walks stop at the bytes
// the segment earns, and their listing with them.
TEST(HostileRecursion, DeepestNestInOneSegmentStopsAtItsAllowance) {
  Bytes stream{0xFF, 0xD8, 0xFF, 0xD9};
  int levels = 0;
  for (;;) {
    Bytes next = nest_one_level(stream, levels % 2 == 0);
    if (next.size() - 8 > max_segment_payload) break;
    stream = next;
    ++levels;
  }
  ASSERT_GT(levels, 100);

  RunResult dump = run_with_files({{"deep.jpg", stream}}, {"deep.jpg"});
  const std::size_t walks = count_of(dump.out, "(EOI) End of Image\n") - 1;
  EXPECT_GE(walks, 3u);
  EXPECT_LT(walks, std::size_t{max_walk_depth} - 1);
  EXPECT_EQ(count_of(dump.err, "EXIF jpeg thumbnail not walked: embedded JPEG streams of this image"
                               " would exceed "),
            1u);
  EXPECT_LE(dump.out.size() + dump.err.size(), 1000 * stream.size());

  // Carving starts a walk at every level's SOI: each is a stream of its own.
  RunResult carve = run_with_files({{"deep.jpg", stream}}, {"-recover", "deep.jpg"});
  EXPECT_EQ(count_of(carve.out, "found SOI-Marker at offset"), std::size_t(levels) + 1);
  EXPECT_EQ(count_of(carve.out, "restore "), std::size_t(levels) + 1);
}

// The longest chain of empty IFDs that fits (6 bytes each), the last one
// pointing back at the first: walked in a loop, it ends where it loops.
TEST(HostileRecursion, LongestChainInOneSegmentEndsWhereItLoops) {
  Bytes tiff = Bytes{}.text("II").le16(42).le32(8);
  const std::size_t ifds = (max_segment_payload - 6 - 8) / 6;
  for (std::size_t i = 0; i + 1 < ifds; ++i) tiff.le16(0).le32(static_cast<std::uint32_t>(8 + 6 * (i + 1)));
  tiff.le16(0).le32(8);
  const Bytes file = jpeg_with_exif(tiff);
  ASSERT_LE(file.size() - 8, max_segment_payload);

  RunResult r = run_with_files({{"chain.jpg", file}}, {"chain.jpg"});
  EXPECT_EQ(count_of(r.out, "    found IFD with 0 tags"), ifds);
  EXPECT_EQ(count_of(r.out, "    no more IFD\n"), 1u);
  EXPECT_TRUE(same_text(r.err, "IFD at tiff-offset 00000008 walked before, chain ends here\n"));
}

}  // namespace
}  // namespace segsniff::test
