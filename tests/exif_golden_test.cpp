// Exif blocks in files, through the program: the Exif lines between the
// marker lines, the byte order after the block, a segment that claims more
// bytes than the file has, and the camera corpus.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/golden.h"

namespace segsniff::test {
namespace {

std::string file_lines(const std::string& name, std::size_t size) {
  return "reading file " + name + ":\nFilelen " + std::to_string(size) + " Bytes\nfile size " +
         std::to_string(size) + " bytes\n";
}

// TIFF structure: header with IFD0 at 8, IFD0 of one Orientation entry.
Bytes orientation_tiff(bool ii) {
  return Bytes{}
      .text(ii ? "II" : "MM").u16(ii, 42).u32(ii, 8)
      .u16(ii, 1)
      .u16(ii, 0x0112).u16(ii, 3).u32(ii, 1).u16(ii, 6).u16(ii, 0)
      .u32(ii, 0);
}

Bytes exif_payload(const Bytes& tiff) { return Bytes{}.text("Exif").raw({0x00, 0x00}).append(tiff); }

// A little-endian block, then a big-endian one, then a DQT whose length is
// read big-endian again, EOI.
TEST(ExifGolden, BlocksInBothByteOrdersAndTheWalkGoesOnBigEndian) {
  const Bytes file = Bytes{}
                         .be16(0xFFD8)
                         .segment(0xFFE1, exif_payload(orientation_tiff(true)))
                         .segment(0xFFE1, exif_payload(orientation_tiff(false)))
                         .be16(0xFFDB).be16(4).raw({0x00, 0x00})
                         .be16(0xFFD9);
  ASSERT_EQ(file.size(), 82u);
  RunResult r = run_with_files({{"orient.jpg", file}}, {"orient.jpg"}, /*merge=*/true);
  EXPECT_TRUE(same_text(r.out, banner() + file_lines("orient.jpg", 82) +
                                   "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                                   "Marker FFE1 at file offset 00000002: (APP1)\n"
                                   "  APP1 has len 34 and magic number 45786966 ('Exif')\n"
                                   "    found IFD with 1 tags at tiff-offset = 00000008\n"
                                   "      tag 0112, 1 short, off 00000006, val 0600 \n"
                                   "        value  0x0006 (6)\n"
                                   "        Orientation (Orientation of Image)\n"
                                   "    no more IFD\n"
                                   "Marker FFE1 at file offset 00000026: (APP1)\n"
                                   "  APP1 has len 34 and magic number 45786966 ('Exif')\n"
                                   "    found IFD with 1 tags at tiff-offset = 00000008\n"
                                   "      tag 0112, 1 short, off 00060000, val 0006 \n"
                                   "        value  0x0006 (6)\n"
                                   "        Orientation (Orientation of Image)\n"
                                   "    no more IFD\n"
                                   "Marker FFDB at file offset 0000004A: (DQT) Define Quantization Table\n"
                                   "  DQT has len 4\n"
                                   "Marker FFD9 at file offset 00000050: (EOI) End of Image\n"));
  EXPECT_EQ(r.status, 0);
}

// The length field claims 256 bytes; the file ends after 38.  The rational's
// data and the next IFD lie inside the claimed segment but past the file:
// neither is read.
TEST(ExifGolden, SegmentLongerThanTheFileIsDecodedUpToTheFilesEnd) {
  const Bytes tiff = Bytes{}
                         .text("II").le16(42).le32(8)
                         .le16(1)
                         .le16(0x829A).le16(5).le32(1).le32(0x40)
                         .le32(0x50);
  const Bytes file = Bytes{}.be16(0xFFD8).be16(0xFFE1).be16(256).append(exif_payload(tiff));
  ASSERT_EQ(file.size(), 38u);
  RunResult r = run_with_files({{"cut.jpg", file}}, {"cut.jpg"}, /*merge=*/true);
  EXPECT_TRUE(same_text(r.out, banner() + file_lines("cut.jpg", 38) +
                                   "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                                   "Marker FFE1 at file offset 00000002: (APP1)\n"
                                   "  APP1 has len 256 and magic number 45786966 ('Exif')\n"
                                   "    found IFD with 1 tags at tiff-offset = 00000008\n"
                                   "illegal tiff tag (begin of data out of area)\n"
                                   "    no more IFD\n"
                                   "Ooops, No EOI found. pos 00000104 > end 00000026 (diff 222)\n"));
  EXPECT_EQ(r.status, 0);
}

// A damaged header: the block is refused and the walk goes on at the
// segment end without a position message.
TEST(ExifGolden, RefusedByteOrderLeavesTheWalkInStep) {
  const Bytes file = Bytes{}
                         .be16(0xFFD8)
                         .segment(0xFFE1, Bytes{}.text("Exif").raw({0x01, 0x00, 0x49, 0x49, 0x2B, 0x00}))
                         .be16(0xFFD9);
  RunResult r = run_with_files({{"bad.jpg", file}}, {"bad.jpg"}, /*merge=*/true);
  EXPECT_TRUE(same_text(r.out, banner() + file_lines("bad.jpg", 18) +
                                   "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                                   "Marker FFE1 at file offset 00000002: (APP1)\n"
                                   "  APP1 has len 12 and magic number 45786966 ('Exif')\n"
                                   "missing 0-Terminator at app-type\n"
                                   "invalid byte order 49492B00\n"
                                   "Marker FFD9 at file offset 00000010: (EOI) End of Image\n"));
}

// A JPEG stream whose Exif block nests `ifds` IFDs through Exif pointers;
// the deepest holds the thumbnail pair of `inner`, which follows the IFDs.
Bytes stream_with_deep_thumbnail(const Bytes& inner, std::uint32_t ifds) {
  Bytes tiff = Bytes{}.text("II").le16(42).le32(8);
  for (std::uint32_t j = 0; j + 1 < ifds; ++j)
    tiff.le16(1).le16(0x8769).le16(4).le32(1).le32(8 + 18 * (j + 1)).le32(0);
  const std::uint32_t thumbnail_at = static_cast<std::uint32_t>(tiff.size()) + 30;
  tiff.le16(2)
      .le16(0x0201).le16(4).le32(1).le32(thumbnail_at)
      .le16(0x0202).le16(4).le32(1).le32(static_cast<std::uint32_t>(inner.size()))
      .le32(0)
      .append(inner);
  return Bytes{}.be16(0xFFD8).segment(0xFFE1, exif_payload(tiff)).be16(0xFFD9);
}

std::size_t count_of(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The deepest nesting the bounds allow: sixteen marker walks (the file and
// fifteen thumbnails), each thumbnail reached through 32 nested IFDs.  Under
// the sanitizer build this shows the stack holds it.
TEST(ExifGolden, DeepestNestingOfWalksAndIfdsRunsToTheEnd) {
  Bytes stream{0xFF, 0xD8, 0xFF, 0xD9};
  for (int level = 0; level < 15; ++level) stream = stream_with_deep_thumbnail(stream, 32);
  ASSERT_LT(stream.size(), 65535u);
  RunResult r = run_with_files({{"deep.jpg", stream}}, {"deep.jpg"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(count_of(r.out, "      found EXIF jpeg thumbnail of size "), 15u);
  EXPECT_EQ(count_of(r.out, "    found IFD with 1 tags"), 15u * 31);
  EXPECT_EQ(count_of(r.out, "(EOI) End of Image\n"), 16u);
}

// Lines expected in this order (not necessarily adjacent) in `text`.
::testing::AssertionResult lines_in_order(const std::string& text,
                                          const std::vector<std::string>& lines) {
  std::size_t at = 0;
  for (const auto& line : lines) {
    std::size_t found = text.find(line, at);
    if (found == std::string::npos)
      return ::testing::AssertionFailure() << "missing (in order): " << line;
    at = found + line.size();
  }
  return ::testing::AssertionSuccess();
}

TEST(ExifGolden, EveryCorpusFileDumpsItsExifStructure) {
  const std::vector<std::string> files = corpus_files();
  if (files.empty()) GTEST_SKIP() << "corpus folder " << SEGSNIFF_CORPUS_DIR << " is absent";
  ScratchDir dir;
  for (const auto& path : files) {
    RunResult r = run_segsniff(dir, {path});
    EXPECT_EQ(r.status, 0) << path;
    EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << path << "\n" << r.err;
    EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << path << "\n" << r.err;
    // every file of the corpus holds an Exif block with IFD0 at offset 8
    EXPECT_TRUE(lines_in_order(r.out, {"magic number 45786966 ('Exif')\n",
                                       "    found IFD with ", " tags at tiff-offset = 00000008\n",
                                       "    no more IFD\n"}))
        << path;
  }
}

// Tag counts, pointers and the thumbnail pair read by hand from the files'
// bytes, following the Exif layout.
TEST(ExifGolden, CorpusStructuresMatchTheirBytes) {
  if (corpus_dir().empty()) GTEST_SKIP() << "corpus folder is absent";
  ScratchDir dir;
  // little-endian, with a GPS IFD of one entry (the version tag)
  RunResult r = run_segsniff(dir, {corpus_dir() + "/Canon_40D.jpg"});
  EXPECT_TRUE(lines_in_order(r.out, {
      "    found IFD with 11 tags at tiff-offset = 00000008\n",
      "      found EXIF IFD Pointer 000000D6\n",
      "    found IFD with 30 tags at tiff-offset = 000000D6\n",
      "      found Interoperability IFD Pointer 000003B4\n",
      "    found IFD with 2 tags at tiff-offset = 000003B4\n",
      "    no more IFD\n",
      "      tag 8825, 1 long, off 000003D2, val D2030000 \n",
      "      found GPS IFD Pointer 000003D2\n",
      "    found IFD with 1 tags at tiff-offset = 000003D2\n",
      "      tag 0000, 4 byte, off 00000202, val 02 02 00 00 \n",
      "    no more IFD\n",
      "    found IFD with 6 tags at tiff-offset = 000003E4\n",
      "      tag 0201, 1 long, off 00000442, val 42040000 \n",
      "      tag 0202, 1 long, off 00000562, val 62050000 \n",
      "      found EXIF jpeg thumbnail of size 1378\n",
      "    no more IFD\n"}));
  // GPS IFD of ten entries
  r = run_segsniff(dir, {corpus_dir() + "/DSCN0010.jpg"});
  EXPECT_TRUE(lines_in_order(r.out, {
      "    found IFD with 12 tags at tiff-offset = 00000008\n",
      "    found IFD with 34 tags at tiff-offset = 0000010C\n",
      "      found GPS IFD Pointer 0000039E\n",
      "    found IFD with 10 tags at tiff-offset = 0000039E\n",
      "    found IFD with 6 tags at tiff-offset = 00001166\n",
      "      tag 0201, 1 long, off 000011C4, val C4110000 \n",
      "      tag 0202, 1 long, off 00001A2E, val 2E1A0000 \n"}));
  // big-endian
  r = run_segsniff(dir, {corpus_dir() + "/Fujifilm_FinePix6900ZOOM.jpg"});
  EXPECT_TRUE(lines_in_order(r.out, {
      "    found IFD with 11 tags at tiff-offset = 00000008\n",
      "      tag 0112, 1 short, off 00010000, val 0001 \n",
      "    found IFD with 28 tags at tiff-offset = 000000E2\n",
      "    found IFD with 2 tags at tiff-offset = 0000039E\n",
      "    found IFD with 8 tags at tiff-offset = 000003BC\n",
      "      tag 0201, 1 long, off 00000432, val 00000432 \n",
      "      tag 0202, 1 long, off 00000594, val 00000594 \n"}));
}

}  // namespace
}  // namespace segsniff::test
