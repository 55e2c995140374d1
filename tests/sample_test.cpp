// The project's sample picture: the file the build writes is the generator's
// output, segsniff walks it from SOI to EOI (Exif block and thumbnail
// included) without a complaint, and its coding tables and coded data are
// what a baseline viewer needs.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>

#include "jpeg_writer.h"
#include "sample_jpeg.h"
#include "support/golden.h"

namespace segsniff::test {
namespace {

using sample::ByteVector;

unsigned be16_at(const ByteVector& b, std::size_t p) { return b.at(p) << 8 | b.at(p + 1); }

// What a baseline viewer needs: Huffman tables that are prefix codes (counts
// per length add up to the symbols, no symbol twice, a Kraft sum below 1 so
// that no code is all one-bits), and coded data that runs from the SOS
// segment to the EOI marker, the last two bytes, with a 00 after every FF.
TEST(JpegWriter, HuffmanTablesAndCodedDataAreWhatADecoderExpects) {
  for (int t = 0; t < 2; ++t)
    for (sample::HuffmanTable huff : {sample::dc_huffman_table(t), sample::ac_huffman_table(t)}) {
      SCOPED_TRACE("table " + std::to_string(t));
      ASSERT_EQ(huff.bits.size(), 16u);
      std::size_t total = 0;
      double kraft = 0;
      for (std::size_t len = 1; len <= 16; ++len) {
        total += huff.bits[len - 1];
        kraft += huff.bits[len - 1] / std::pow(2.0, static_cast<double>(len));
      }
      EXPECT_EQ(total, huff.values.size());
      EXPECT_LT(kraft, 1.0);
      std::vector<bool> seen(256);
      for (std::uint8_t v : huff.values) {
        EXPECT_FALSE(seen[v]) << "symbol " << int(v) << " twice";
        seen[v] = true;
      }
    }

  std::size_t stuffed = 0;
  struct Case { std::uint16_t width, height; int components; };
  for (Case c : {Case{64, 48, 3}, Case{1, 1, 3}, Case{21, 9, 1}, Case{130, 70, 3}}) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    const ByteVector jpeg =
        sample::encode_baseline_jpeg(sample::make_test_pattern(c.width, c.height, c.components));
    std::size_t p = 2;
    for (unsigned marker = 0; marker != 0xFFDA; p += 2 + be16_at(jpeg, p + 2))
      marker = be16_at(jpeg, p);
    const std::size_t eoi = jpeg.size() - 2;
    ASSERT_LT(p, eoi);
    EXPECT_EQ(be16_at(jpeg, eoi), 0xFFD9u);
    for (; p < eoi; ++p)
      if (jpeg[p] == 0xFF) {
        EXPECT_EQ(jpeg.at(p + 1), 0x00) << "unstuffed FF at " << p;
        ++stuffed;
      }
  }
  EXPECT_GT(stuffed, 0u) << "no FF in any coded data: the stuffing went untested";
}

// Every line of `want` appears in `text`, whole and in this order; other
// lines may stand between them.
::testing::AssertionResult has_lines_in_order(const std::string& text,
                                              const std::vector<std::string>& want) {
  std::istringstream in(text);
  std::string line;
  std::size_t next = 0;
  while (next < want.size() && std::getline(in, line))
    if (line == want[next]) ++next;
  if (next == want.size()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "line not found in order: \"" << want[next] << "\"";
}

// The layout, counted by hand: APP0 at 2, APP1 at 0x14 with IFD0 -> IFD1
// whose thumbnail pair leads to a 643-byte stream walked on its own (its
// offsets count from its SOI, its EOI is its last two bytes), then DQT,
// SOF0, DHT, SOS, 358 bytes of coded data and EOI as the last two of 2241.
TEST(SampleJpeg, BuiltFileIsTheGeneratorsAndIsWalkedCleanlyToItsEnd) {
  std::ifstream f(sample_jpeg_path(), std::ios::binary);
  const std::string file(std::istreambuf_iterator<char>(f), {});
  ASSERT_FALSE(file.empty()) << sample_jpeg_path() << " was not built";
  const ByteVector generated = sample::make_sample_jpeg();
  EXPECT_TRUE(file == std::string(generated.begin(), generated.end()));

  RunResult r = run_with_files({{"sample.jpg", file}}, {"sample.jpg"}, /*merge=*/true);
  EXPECT_TRUE(has_lines_in_order(r.out, {
      "reading file sample.jpg:",
      "Filelen 2241 Bytes",
      "Marker FFD8 at file offset 00000000: (SOI) Start of Image",
      "Marker FFE0 at file offset 00000002: (APP0)",
      "  APP0 has len 16 and magic number 4A464946 ('JFIF')",
      "Marker FFE1 at file offset 00000014: (APP1)",
      "  APP1 has len 1272 and magic number 45786966 ('Exif')",
      "    found IFD with 11 tags at tiff-offset = 00000008",
      "      found EXIF IFD Pointer 000000D4",
      "      found Interoperability IFD Pointer 0000017E",
      "      found GPS IFD Pointer 0000019C",
      "    found IFD with 6 tags at tiff-offset = 0000020E",
      "      found EXIF jpeg thumbnail of size 643",
      "Marker FFD8 at file offset 00000000: (SOI) Start of Image",
      "Marker FFDB at file offset 00000002: (DQT) Define Quantization Table",
      "Marker FFC0 at file offset 00000088: (SOF) Start of Frame",
      "Marker FFC4 at file offset 0000009B: (DHT) Define Huffman Table",
      "Marker FFDA at file offset 0000023F: (SOS) Start of Scan",
      "  hopefully skipping 52 bytes of compressed image data to next 0xFF.",
      "Marker FFD9 at file offset 00000281: (EOI) End of Image",
      "      end of EXIF Thumbnail of size 643",
      "    no more IFD",
      "Marker FFDB at file offset 0000050E: (DQT) Define Quantization Table",
      "Marker FFC0 at file offset 00000594: (SOF) Start of Frame",
      "Marker FFC4 at file offset 000005A7: (DHT) Define Huffman Table",
      "Marker FFDA at file offset 0000074B: (SOS) Start of Scan",
      "  hopefully skipping 358 bytes of compressed image data to next 0xFF.",
      "Marker FFD9 at file offset 000008BF: (EOI) End of Image",
  }));
  for (const char* complaint : {"Ooops", "illegal", "fails", "warning"})
    EXPECT_EQ(r.out.find(complaint), std::string::npos) << complaint;
  EXPECT_EQ(r.status, 0);
}

}  // namespace
}  // namespace segsniff::test
