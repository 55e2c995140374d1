// The project's sample picture and the JPEG writer behind it: the file the
// build writes is the generator's output, its segments and Exif layout are
// those of a camera picture, and its coded data decodes back to the pattern
// it was made from (checked with a small independent baseline decoder).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <fstream>
#include <map>
#include <numbers>
#include <sstream>

#include "jpeg_writer.h"
#include "sample_jpeg.h"
#include "support/golden.h"

namespace segsniff::test {
namespace {

using sample::ByteVector;

ByteVector read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  const std::string text = s.str();
  return ByteVector(text.begin(), text.end());
}

unsigned be16_at(const ByteVector& b, std::size_t p) { return b.at(p) << 8 | b.at(p + 1); }
unsigned le16_at(const ByteVector& b, std::size_t p) { return b.at(p) | b.at(p + 1) << 8; }
std::uint32_t le32_at(const ByteVector& b, std::size_t p) {
  return le16_at(b, p) | static_cast<std::uint32_t>(le16_at(b, p + 2)) << 16;
}

// --- a minimal baseline decoder, written from T.81 independently of the writer

struct HuffmanDecoder {
  std::array<int, 17> first_code{}, count{}, first_index{};
  std::vector<std::uint8_t> values;
};

struct Decoded {
  int width = 0, height = 0, components = 0;
  std::vector<std::uint8_t> samples;  // interleaved like sample::Raster
  std::size_t end_of_scan = 0;        // position of the byte after the coded data
};

class BitReader {
 public:
  BitReader(const ByteVector& b, std::size_t p) : bytes_(b), pos_(p) {}
  int bit() {
    if (left_ == 0) {
      current_ = bytes_.at(pos_++);
      if (current_ == 0xFF) {
        EXPECT_EQ(bytes_.at(pos_), 0x00) << "unstuffed FF in coded data at " << pos_;
        ++pos_;
      }
      left_ = 8;
    }
    return (current_ >> --left_) & 1;
  }
  int bits(int n) {
    int v = 0;
    while (n-- > 0) v = v << 1 | bit();
    return v;
  }
  bool padding_is_ones() const { return (current_ & ((1 << left_) - 1)) == (1 << left_) - 1; }
  std::size_t position() const { return pos_; }

 private:
  const ByteVector& bytes_;
  std::size_t pos_;
  std::uint8_t current_ = 0;
  int left_ = 0;
};

int decode_symbol(BitReader& in, const HuffmanDecoder& h) {
  int code = 0;
  for (int len = 1; len <= 16; ++len) {
    code = code << 1 | in.bit();
    if (code - h.first_code[len] < h.count[len] && code >= h.first_code[len])
      return h.values.at(static_cast<std::size_t>(h.first_index[len] + code - h.first_code[len]));
  }
  ADD_FAILURE() << "no Huffman code matches";
  return 0;
}

int extend(int v, int size) { return size == 0 ? 0 : v < (1 << (size - 1)) ? v - (1 << size) + 1 : v; }

Decoded decode_baseline(const ByteVector& b) {
  Decoded d;
  std::array<std::array<int, 64>, 4> quant{};
  std::array<HuffmanDecoder, 8> huffman;  // DC 0..3, AC 4..7
  std::array<int, 4> quant_of{}, dc_of{}, ac_of{};
  EXPECT_EQ(be16_at(b, 0), 0xFFD8u);
  std::size_t p = 2;
  for (;;) {
    unsigned marker = be16_at(b, p);
    std::size_t length = be16_at(b, p + 2), q = p + 4, end = p + 2 + length;
    if (marker == 0xFFDB) {
      for (; q < end; q += 65)
        for (std::size_t k = 0; k < 64; ++k) quant.at(b.at(q) & 3)[sample::zigzag_order()[k]] = b.at(q + 1 + k);
    } else if (marker == 0xFFC0) {
      d.height = static_cast<int>(be16_at(b, q + 1));
      d.width = static_cast<int>(be16_at(b, q + 3));
      d.components = b.at(q + 5);
      for (int c = 0; c < d.components; ++c) {
        EXPECT_EQ(b.at(q + 7 + 3u * static_cast<unsigned>(c)), 0x11) << "4:4:4 expected";
        quant_of.at(static_cast<std::size_t>(c)) = b.at(q + 8 + 3u * static_cast<unsigned>(c));
      }
    } else if (marker == 0xFFC4) {
      while (q < end) {
        HuffmanDecoder& h = huffman.at((b.at(q) >> 4) * 4u + (b.at(q) & 3u));
        int code = 0, index = 0;
        for (int len = 1; len <= 16; ++len) {
          h.count[len] = b.at(q + static_cast<std::size_t>(len));
          h.first_code[len] = code;
          h.first_index[len] = index;
          code = (code + h.count[len]) << 1;
          index += h.count[len];
        }
        h.values.assign(b.begin() + static_cast<long>(q + 17), b.begin() + static_cast<long>(q + 17) + index);
        q += 17 + static_cast<std::size_t>(index);
      }
    } else if (marker == 0xFFDA) {
      for (int c = 0; c < b.at(q); ++c) {
        dc_of.at(static_cast<std::size_t>(c)) = b.at(q + 2 + 2u * static_cast<unsigned>(c)) >> 4;
        ac_of.at(static_cast<std::size_t>(c)) = b.at(q + 2 + 2u * static_cast<unsigned>(c)) & 3;
      }
      p = end;
      break;
    }
    p = end;
  }

  d.samples.assign(static_cast<std::size_t>(d.width * d.height * d.components), 0);
  BitReader in(b, p);
  std::array<int, 4> predictor{};
  for (int by = 0; by < d.height; by += 8)
    for (int bx = 0; bx < d.width; bx += 8)
      for (std::size_t c = 0; c < static_cast<std::size_t>(d.components); ++c) {
        std::array<double, 64> coef{};
        int size = decode_symbol(in, huffman.at(static_cast<std::size_t>(dc_of[c])));
        predictor[c] += extend(in.bits(size), size);
        coef[0] = predictor[c] * quant.at(static_cast<std::size_t>(quant_of[c]))[0];
        for (std::size_t k = 1; k < 64;) {
          int rs = decode_symbol(in, huffman.at(4 + static_cast<std::size_t>(ac_of[c])));
          if (rs == 0x00) break;
          k += static_cast<std::size_t>(rs >> 4);
          size = rs & 15;
          std::size_t natural = sample::zigzag_order()[std::min<std::size_t>(k, 63)];
          coef[natural] = extend(in.bits(size), size) * quant.at(static_cast<std::size_t>(quant_of[c]))[natural];
          ++k;
        }
        for (int y = 0; y < 8; ++y)
          for (int x = 0; x < 8; ++x) {
            double sum = 0;
            for (int v = 0; v < 8; ++v)
              for (int u = 0; u < 8; ++u)
                sum += (u == 0 ? std::numbers::sqrt2 / 2 : 1) * (v == 0 ? std::numbers::sqrt2 / 2 : 1) *
                       coef[static_cast<std::size_t>(v * 8 + u)] *
                       std::cos((2 * x + 1) * u * std::numbers::pi / 16) *
                       std::cos((2 * y + 1) * v * std::numbers::pi / 16);
            if (bx + x < d.width && by + y < d.height)
              d.samples[static_cast<std::size_t>(((by + y) * d.width + bx + x) * d.components) + c] =
                  static_cast<std::uint8_t>(std::clamp(std::lround(sum / 4 + 128), 0L, 255L));
          }
      }
  EXPECT_TRUE(in.padding_is_ones());
  d.end_of_scan = in.position();
  return d;
}

// Mean and largest difference between a decoded picture and its source.
void expect_close(const Decoded& d, const sample::Raster& source, const char* what) {
  ASSERT_EQ(d.width, source.width) << what;
  ASSERT_EQ(d.height, source.height) << what;
  ASSERT_EQ(d.components, source.components) << what;
  double total = 0;
  int largest = 0;
  for (std::size_t i = 0; i < d.samples.size(); ++i) {
    int diff = std::abs(d.samples[i] - source.samples[i]);
    total += diff;
    largest = std::max(largest, diff);
  }
  EXPECT_LT(total / static_cast<double>(d.samples.size()), 3.0) << what;
  EXPECT_LT(largest, 16) << what;
}

TEST(JpegWriter, CodedDataDecodesBackToTheSourcePicture) {
  struct Case { std::uint16_t width, height; int components; };
  for (Case c : {Case{64, 48, 3}, Case{16, 12, 3}, Case{21, 9, 1}, Case{1, 1, 3}, Case{130, 70, 3}}) {
    const std::string what = std::to_string(c.width) + "x" + std::to_string(c.height) + "x" +
                             std::to_string(c.components);
    sample::Raster source = sample::make_test_pattern(c.width, c.height, c.components);
    ByteVector jpeg = sample::encode_baseline_jpeg(source);
    Decoded d = decode_baseline(jpeg);
    expect_close(d, source, what.c_str());
    // The coded data ends exactly at the EOI marker, the last two bytes.
    EXPECT_EQ(d.end_of_scan, jpeg.size() - 2) << what;
    EXPECT_EQ(be16_at(jpeg, jpeg.size() - 2), 0xFFD9u) << what;
  }
}

TEST(JpegWriter, HuffmanTablesAreCompletePrefixCodes) {
  for (int t = 0; t < 2; ++t) {
    for (sample::HuffmanTable huff : {sample::dc_huffman_table(t), sample::ac_huffman_table(t)}) {
      ASSERT_EQ(huff.bits.size(), 16u);
      std::size_t total = 0;
      double kraft = 0;
      for (std::size_t len = 1; len <= 16; ++len) {
        total += huff.bits[len - 1];
        kraft += huff.bits[len - 1] / std::pow(2.0, static_cast<double>(len));
      }
      EXPECT_EQ(total, huff.values.size()) << "table " << t;
      EXPECT_LT(kraft, 1.0) << "table " << t << ": an all-ones code would be used";
      std::vector<bool> seen(256);
      for (std::uint8_t v : huff.values) {
        EXPECT_FALSE(seen[v]) << "symbol " << int(v) << " twice in table " << t;
        seen[v] = true;
      }
    }
  }
}

TEST(SampleJpeg, BuiltFileIsTheGeneratorsOutputInCameraSegmentOrder) {
  const ByteVector file = read_file(SEGSNIFF_SAMPLE_JPEG);
  ASSERT_FALSE(file.empty()) << SEGSNIFF_SAMPLE_JPEG << " was not built";
  EXPECT_EQ(file, sample::make_sample_jpeg());

  std::vector<unsigned> markers;
  std::size_t p = 2;
  while (markers.empty() || markers.back() != 0xFFDA) {
    markers.push_back(be16_at(file, p));
    p += 2 + be16_at(file, p + 2);
  }
  EXPECT_EQ(markers, (std::vector<unsigned>{0xFFE0, 0xFFE1, 0xFFDB, 0xFFC0, 0xFFC4, 0xFFDA}));
  expect_close(decode_baseline(file), sample::make_test_pattern(64, 48), "sample");
}

// IFD0 -> IFD1 -> 0x0201/0x0202: the thumbnail pair leads to the whole
// thumbnail stream, SOI to EOI, inside the Exif segment.
TEST(SampleJpeg, ExifThumbnailPairLeadsToACompleteStream) {
  const ByteVector file = sample::make_sample_jpeg();
  const std::size_t app1 = 2 + 2 + be16_at(file, 4);
  ASSERT_EQ(be16_at(file, app1), 0xFFE1u);
  const std::size_t app1_end = app1 + 2 + be16_at(file, app1 + 2);
  const std::size_t tiff = app1 + 10;
  ASSERT_EQ(std::string(file.begin() + static_cast<long>(app1 + 4), file.begin() + static_cast<long>(tiff)),
            std::string("Exif\0\0", 6));
  ASSERT_EQ(le32_at(file, tiff), 0x002A4949u);  // "II", 42

  auto entries = [&](std::uint32_t ifd) {
    std::map<unsigned, std::uint32_t> values;  // tag -> value field
    for (unsigned i = 0; i < le16_at(file, tiff + ifd); ++i)
      values[le16_at(file, tiff + ifd + 2 + 12 * i)] = le32_at(file, tiff + ifd + 2 + 12 * i + 8);
    return std::pair(values, le32_at(file, tiff + ifd + 2 + 12 * le16_at(file, tiff + ifd)));
  };
  auto [ifd0, ifd1_offset] = entries(le32_at(file, tiff + 4));
  EXPECT_TRUE(ifd0.count(0x8769) && ifd0.count(0x8825)) << "Exif and GPS pointers";
  ASSERT_NE(ifd1_offset, 0u);
  auto [ifd1, after_ifd1] = entries(ifd1_offset);
  EXPECT_EQ(after_ifd1, 0u);
  auto [exif_ifd, after_exif] = entries(ifd0[0x8769]);
  EXPECT_EQ(exif_ifd[0xA002], 64u);
  EXPECT_EQ(exif_ifd[0xA003], 48u);

  const std::size_t thumb = tiff + ifd1.at(0x0201);
  const std::size_t thumb_end = thumb + ifd1.at(0x0202);
  ASSERT_LE(thumb_end, app1_end);
  EXPECT_EQ(ByteVector(file.begin() + static_cast<long>(thumb), file.begin() + static_cast<long>(thumb_end)),
            sample::make_sample_thumbnail());
  EXPECT_EQ(be16_at(file, thumb), 0xFFD8u);
  EXPECT_EQ(be16_at(file, thumb_end - 2), 0xFFD9u);
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

// The layout of the sample, counted by hand: SOI; APP0 of 2+16 bytes at 2;
// APP1 of 2+1272 at 0x14; DQT of 2+132 at 0x50E; SOF0 of 2+17 at 0x594; DHT
// of 2+418 at 0x5A7; SOS of 2+12 at 0x74B; 358 bytes of coded data; EOI at
// 0x8BF, the last two of 2241 bytes.
TEST(SampleDump, OuterWalkListsEverySegmentAndEndsOnTheLastBytes) {
  ScratchDir dir;
  const ByteVector bytes = read_file(SEGSNIFF_SAMPLE_JPEG);
  dir.write("sample.jpg", std::string(bytes.begin(), bytes.end()));
  RunResult r = run_segsniff(dir, {"sample.jpg"});
  EXPECT_TRUE(has_lines_in_order(r.out, {
      "reading file sample.jpg:",
      "Filelen 2241 Bytes",
      "file size 2241 bytes",
      "Marker FFD8 at file offset 00000000: (SOI) Start of Image",
      "Marker FFE0 at file offset 00000002: (APP0)",
      "  APP0 has len 16 and magic number 4A464946 ('JFIF')",
      "Marker FFE1 at file offset 00000014: (APP1)",
      "  APP1 has len 1272 and magic number 45786966 ('Exif')",
      "Marker FFDB at file offset 0000050E: (DQT) Define Quantization Table",
      "  DQT has len 132",
      "Marker FFC0 at file offset 00000594: (SOF) Start of Frame",
      "  field SOF has len 17",
      "Marker FFC4 at file offset 000005A7: (DHT) Define Huffman Table",
      "  field DHT has len 418",
      "Marker FFDA at file offset 0000074B: (SOS) Start of Scan",
      "  field SOS has len 12",
      "  hopefully skipping 358 bytes of compressed image data to next 0xFF.",
      "Marker FFD9 at file offset 000008BF: (EOI) End of Image",
  }));
  EXPECT_TRUE(same_text(r.err, ""));
  EXPECT_EQ(r.status, 0);
}

// Inside the Exif block, after the second half of the thumbnail pair, the
// 643-byte thumbnail at TIFF offset 0x26C is walked as a stream of its own:
// offsets count from its SOI; DQT at 2, SOF0 at 0x88, DHT at 0x9B, SOS at
// 0x23F, 52 bytes of coded data, EOI at 0x281, its last two bytes.  Then the
// top-level chain ends and the outer walk goes on with its DQT.
TEST(SampleDump, ThumbnailIsWalkedInsideTheExifBlockAndEndsOnItsEoi) {
  ScratchDir dir;
  const ByteVector bytes = read_file(SEGSNIFF_SAMPLE_JPEG);
  dir.write("sample.jpg", std::string(bytes.begin(), bytes.end()));
  RunResult r = run_segsniff(dir, {"sample.jpg"}, /*merge=*/true);
  EXPECT_TRUE(has_lines_in_order(r.out, {
      "  APP1 has len 1272 and magic number 45786966 ('Exif')",
      "    found IFD with 11 tags at tiff-offset = 00000008",
      "      found EXIF IFD Pointer 000000D4",
      "      found Interoperability IFD Pointer 0000017E",
      "      found GPS IFD Pointer 0000019C",
      "    found IFD with 6 tags at tiff-offset = 0000020E",
      "      tag 0202, 1 long, off 00000283, val 83020000 ",
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
  }));
  // Nothing in the sample is malformed: no warning anywhere in the output.
  EXPECT_EQ(r.out.find("Ooops"), std::string::npos);
  EXPECT_EQ(r.out.find("illegal"), std::string::npos);
  EXPECT_EQ(r.out.find("fails"), std::string::npos);
}

}  // namespace
}  // namespace segsniff::test
