// Exif blocks in files, through the program: the Exif lines between the
// marker lines, the byte order after the block, a segment that claims more
// bytes than the file has, and the thumbnails of the camera corpus.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>

#include "support/golden.h"

namespace segsniff::test {
namespace {

std::string file_lines(const std::string& name, std::size_t size) {
  return "reading file " + name + ":\nFilelen " + std::to_string(size) + " Bytes\nfile size " +
         std::to_string(size) + " bytes\n";
}

// Little-endian TIFF structure: IFD0 at 8 with one Orientation entry.
Bytes orientation_tiff() {
  return Bytes{}.text("II").le16(42).le32(8).le16(1).le16(0x0112).le16(3).le32(1).le32(6).le32(0);
}

Bytes exif_payload(const Bytes& tiff) { return Bytes{}.text("Exif").raw({0x00, 0x00}).append(tiff); }

// A little-endian block, a refused one, then a DQT whose length is read
// big-endian again, EOI: each block leaves the walk in step.
TEST(ExifGolden, BlocksLeaveTheWalkInStepAndBigEndian) {
  const Bytes file = Bytes{}
                         .be16(0xFFD8)
                         .segment(0xFFE1, exif_payload(orientation_tiff()))
                         .segment(0xFFE1, Bytes{}.text("Exif").raw({0x01, 0x00, 0x49, 0x49, 0x2B, 0x00}))
                         .be16(0xFFDB).be16(4).raw({0x00, 0x00})
                         .be16(0xFFD9);
  ASSERT_EQ(file.size(), 60u);
  RunResult r = run_with_files({{"orient.jpg", file}}, {"orient.jpg"}, /*merge=*/true);
  EXPECT_TRUE(same_text(r.out, banner() + file_lines("orient.jpg", 60) +
                                   "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                                   "Marker FFE1 at file offset 00000002: (APP1)\n"
                                   "  APP1 has len 34 and magic number 45786966 ('Exif')\n"
                                   "    found IFD with 1 tags at tiff-offset = 00000008\n"
                                   "      tag 0112, 1 short, off 00000006, val 0600 \n"
                                   "        value  0x0006 (6)\n"
                                   "        Orientation (Orientation of Image)\n"
                                   "    no more IFD\n"
                                   "Marker FFE1 at file offset 00000026: (APP1)\n"
                                   "  APP1 has len 12 and magic number 45786966 ('Exif')\n"
                                   "missing 0-Terminator at app-type\n"
                                   "invalid byte order 49492B00\n"
                                   "Marker FFDB at file offset 00000034: (DQT) Define Quantization Table\n"
                                   "  DQT has len 4\n"
                                   "Marker FFD9 at file offset 0000003A: (EOI) End of Image\n"));
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

// Thumbnail sizes read by hand from the files' IFD1 (little- and big-endian
// files).  Each thumbnail is walked to its EOI, which is its last two bytes;
// a Maker Note dumped as a directory may hold the pair again, and every
// walk of it ends the same way.
TEST(ExifGolden, CorpusThumbnailsAreWalkedToTheirEndOfImage) {
  if (corpus_dir().empty()) GTEST_SKIP() << "corpus folder " << SEGSNIFF_CORPUS_DIR << " is absent";
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
    const std::string found = "      found EXIF jpeg thumbnail of size " + std::to_string(size) + "\n";
    const std::string end = "      end of EXIF Thumbnail of size " + std::to_string(size) + "\n";
    char line[64];
    std::snprintf(line, sizeof line, "Marker FFD9 at file offset %08X: (EOI) End of Image\n", size - 2);
    const std::string eoi = line;
    std::size_t at = r.out.find(found);
    ASSERT_NE(at, std::string::npos) << name;
    for (; at != std::string::npos; at = r.out.find(found, at + 1)) {
      const std::size_t end_at = r.out.find(end, at);
      ASSERT_NE(end_at, std::string::npos) << name;
      ASSERT_GE(end_at, at + found.size() + eoi.size()) << name;
      EXPECT_EQ(r.out.substr(end_at - eoi.size(), eoi.size()), eoi) << name;
    }
  }
}

}  // namespace
}  // namespace segsniff::test
