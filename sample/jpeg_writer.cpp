#include "jpeg_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <stdexcept>

namespace segsniff::sample {
namespace {

// Marker codes (T.81 Table B.1) written by this encoder.
constexpr std::uint8_t marker_sof0 = 0xC0;
constexpr std::uint8_t marker_dht = 0xC4;
constexpr std::uint8_t marker_soi = 0xD8;
constexpr std::uint8_t marker_eoi = 0xD9;
constexpr std::uint8_t marker_sos = 0xDA;
constexpr std::uint8_t marker_dqt = 0xDB;
constexpr std::uint8_t marker_app0 = 0xE0;
constexpr std::uint8_t marker_dri = 0xDD;
constexpr std::uint8_t marker_rst0 = 0xD0;

constexpr std::size_t max_segment_payload = 65533;  // length field 0xFFFF counts itself

// T.81 Figure A.6: natural index of each zigzag position.
constexpr std::array<std::uint8_t, 64> zigzag_table = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// T.81 Tables K.1 and K.2, natural order.
constexpr std::array<std::uint16_t, 64> luminance_quant_table = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr std::array<std::uint16_t, 64> chrominance_quant_table = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
    24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

// T.81 Tables K.3 to K.6: BITS then HUFFVAL.
constexpr std::array<std::uint8_t, 16> dc_luminance_bits = {0, 1, 5, 1, 1, 1, 1, 1,
                                                            1, 0, 0, 0, 0, 0, 0, 0};
constexpr std::array<std::uint8_t, 16> dc_chrominance_bits = {0, 3, 1, 1, 1, 1, 1, 1,
                                                              1, 1, 1, 0, 0, 0, 0, 0};
constexpr std::array<std::uint8_t, 12> dc_values = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
constexpr std::array<std::uint8_t, 16> ac_luminance_bits = {0, 2, 1, 3, 3, 2, 4, 3,
                                                            5, 5, 4, 4, 0, 0, 1, 0x7D};
constexpr std::array<std::uint8_t, 162> ac_luminance_values = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
    0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xA1, 0x08, 0x23, 0x42, 0xB1, 0xC1, 0x15, 0x52,
    0xD1, 0xF0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0A, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x25,
    0x26, 0x27, 0x28, 0x29, 0x2A, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x43, 0x44, 0x45,
    0x46, 0x47, 0x48, 0x49, 0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x63, 0x64,
    0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
    0x9A, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6,
    0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD2, 0xD3,
    0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8,
    0xE9, 0xEA, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA};
constexpr std::array<std::uint8_t, 16> ac_chrominance_bits = {0, 2, 1, 2, 4, 4, 3, 4,
                                                              7, 5, 4, 4, 0, 1, 2, 0x77};
constexpr std::array<std::uint8_t, 162> ac_chrominance_values = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
    0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xA1, 0xB1, 0xC1, 0x09, 0x23, 0x33,
    0x52, 0xF0, 0x15, 0x62, 0x72, 0xD1, 0x0A, 0x16, 0x24, 0x34, 0xE1, 0x25, 0xF1, 0x17, 0x18,
    0x19, 0x1A, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x43, 0x44,
    0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x63,
    0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A,
    0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
    0x98, 0x99, 0x9A, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4,
    0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA,
    0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7,
    0xE8, 0xE9, 0xEA, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA};

// Code and length for every symbol (T.81 Annex C: codes of one length are
// consecutive, each length starts at the previous length's next code << 1).
struct HuffmanCodes {
  std::array<std::uint16_t, 256> code{};
  std::array<std::uint8_t, 256> length{};
};

HuffmanCodes build_codes(HuffmanTable huff) {
  HuffmanCodes codes;
  std::uint16_t next = 0;
  std::size_t k = 0;
  for (std::uint8_t len = 1; len <= 16; ++len) {
    for (int i = 0; i < huff.bits[len - 1u]; ++i, ++k) {
      codes.code[huff.values[k]] = next++;
      codes.length[huff.values[k]] = len;
    }
    next = static_cast<std::uint16_t>(next << 1);
  }
  return codes;
}

// Collects bits most significant first and stuffs a 00 after every FF byte
// (T.81 F.1.2.3), so the coded data never holds a marker.
class BitWriter {
 public:
  explicit BitWriter(ByteVector& out) : out_(out) {}
  void put(std::uint32_t bits, int count) {
    for (int i = count - 1; i >= 0; --i) {
      acc_ = static_cast<std::uint8_t>((acc_ << 1) | ((bits >> i) & 1u));
      if (++filled_ == 8) emit();
    }
  }
  void flush() {  // pad the last byte with 1-bits
    while (filled_ != 0) put(1, 1);
  }
  void marker(std::uint8_t code) {  // after flush(): a marker is not stuffed
    out_.push_back(0xFF);
    out_.push_back(code);
  }

 private:
  void emit() {
    out_.push_back(acc_);
    if (acc_ == 0xFF) out_.push_back(0x00);
    acc_ = 0;
    filled_ = 0;
  }
  ByteVector& out_;
  std::uint8_t acc_ = 0;
  int filled_ = 0;
};

// Magnitude category of a coefficient (T.81 F.1.2.1.1) and its extra bits:
// the value itself when positive, value - 1 in `size` bits when negative.
int category(int value) {
  int magnitude = std::abs(value);
  int size = 0;
  while (magnitude != 0) {
    ++size;
    magnitude >>= 1;
  }
  return size;
}
std::uint32_t extra_bits(int value, int size) {
  return static_cast<std::uint32_t>(value >= 0 ? value : value + (1 << size) - 1);
}

// Forward DCT of one block of level-shifted samples (T.81 A.3.3), done as
// eight row transforms and eight column transforms, quantised and returned
// in zigzag order.
std::array<int, 64> transform_block(const std::array<double, 64>& block,
                                    const std::array<std::uint16_t, 64>& quant) {
  // basis[u * 8 + x] = C(u) / 2 * cos((2x + 1) u pi / 16)
  static const auto basis = [] {
    std::array<double, 64> b{};
    for (int u = 0; u < 8; ++u)
      for (int x = 0; x < 8; ++x)
        b[static_cast<std::size_t>(u * 8 + x)] =
            (u == 0 ? std::numbers::sqrt2 / 2 : 1.0) / 2 * std::cos((2 * x + 1) * u * std::numbers::pi / 16);
    return b;
  }();
  std::array<double, 64> rows{};  // rows[y * 8 + u]
  for (std::size_t y = 0; y < 8; ++y)
    for (std::size_t u = 0; u < 8; ++u) {
      double sum = 0;
      for (std::size_t x = 0; x < 8; ++x) sum += block[y * 8 + x] * basis[u * 8 + x];
      rows[y * 8 + u] = sum;
    }
  std::array<int, 64> coefficients{};
  for (std::size_t k = 0; k < 64; ++k) {
    const std::size_t natural = zigzag_table[k];
    const std::size_t v = natural / 8;
    const std::size_t u = natural % 8;
    double sum = 0;
    for (std::size_t y = 0; y < 8; ++y) sum += rows[y * 8 + u] * basis[v * 8 + y];
    coefficients[k] = static_cast<int>(std::lround(sum / quant[natural]));
  }
  return coefficients;
}

// One block: the DC difference, then (run, size) symbols for the AC
// coefficients with ZRL for runs of sixteen zeros and EOB after the last one.
void encode_block(BitWriter& bits, const std::array<int, 64>& coefficients, int& dc_predictor,
                  const HuffmanCodes& dc, const HuffmanCodes& ac) {
  int diff = coefficients[0] - dc_predictor;
  dc_predictor = coefficients[0];
  int size = category(diff);
  bits.put(dc.code[static_cast<std::size_t>(size)], dc.length[static_cast<std::size_t>(size)]);
  bits.put(extra_bits(diff, size), size);

  int run = 0;
  for (std::size_t k = 1; k < 64; ++k) {
    if (coefficients[k] == 0) {
      ++run;
      continue;
    }
    for (; run >= 16; run -= 16) bits.put(ac.code[0xF0], ac.length[0xF0]);
    size = category(coefficients[k]);
    auto symbol = static_cast<std::size_t>(run << 4 | size);
    bits.put(ac.code[symbol], ac.length[symbol]);
    bits.put(extra_bits(coefficients[k], size), size);
    run = 0;
  }
  if (run > 0) bits.put(ac.code[0x00], ac.length[0x00]);
}

void append(ByteVector& out, std::span<const std::uint8_t> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}
void append_be16(ByteVector& out, unsigned value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

ByteVector dqt_segment(int components) {
  ByteVector payload;
  for (int t = 0; t < (components == 1 ? 1 : 2); ++t) {
    payload.push_back(static_cast<std::uint8_t>(t));  // 8-bit precision, table t
    const auto& table = t == 0 ? luminance_quant_table : chrominance_quant_table;
    for (std::uint8_t natural : zigzag_table) payload.push_back(static_cast<std::uint8_t>(table[natural]));
  }
  return make_segment(marker_dqt, payload);
}

ByteVector sof0_segment(const Raster& image) {
  ByteVector payload{8};  // sample precision
  append_be16(payload, image.height);
  append_be16(payload, image.width);
  payload.push_back(static_cast<std::uint8_t>(image.components));
  for (int c = 0; c < image.components; ++c) {
    payload.push_back(static_cast<std::uint8_t>(c + 1));  // component id
    payload.push_back(0x11);                              // 1x1 sampling
    payload.push_back(c == 0 ? 0 : 1);                    // quantisation table
  }
  return make_segment(marker_sof0, payload);
}

ByteVector dht_segment(int components) {
  ByteVector payload;
  for (int t = 0; t < (components == 1 ? 1 : 2); ++t) {
    for (int ac = 0; ac < 2; ++ac) {
      HuffmanTable huff = ac != 0 ? ac_huffman_table(t) : dc_huffman_table(t);
      payload.push_back(static_cast<std::uint8_t>(ac << 4 | t));
      append(payload, huff.bits);
      append(payload, huff.values);
    }
  }
  return make_segment(marker_dht, payload);
}

ByteVector sos_segment(int components) {
  ByteVector payload{static_cast<std::uint8_t>(components)};
  for (int c = 0; c < components; ++c) {
    payload.push_back(static_cast<std::uint8_t>(c + 1));
    payload.push_back(c == 0 ? 0x00 : 0x11);  // DC and AC table numbers
  }
  payload.insert(payload.end(), {0, 63, 0});  // Ss, Se, Ah/Al of a sequential scan
  return make_segment(marker_sos, payload);
}

// Blocks in raster order, the components of one position interleaved (one
// MCU = one block of each component); edge blocks repeat the last column
// and row.  After every `restart_interval` MCUs but the last, the bits are
// padded, the next restart marker written and the predictors reset.
void encode_scan(ByteVector& out, const Raster& image, std::uint16_t restart_interval) {
  const HuffmanCodes dc_codes[2] = {build_codes(dc_huffman_table(0)), build_codes(dc_huffman_table(1))};
  const HuffmanCodes ac_codes[2] = {build_codes(ac_huffman_table(0)), build_codes(ac_huffman_table(1))};
  std::array<std::array<std::uint16_t, 64>, 2> quant{luminance_quant_table, chrominance_quant_table};
  std::vector<int> predictors(static_cast<std::size_t>(image.components), 0);
  BitWriter bits(out);
  long mcus = 0;
  for (int by = 0; by < image.height; by += 8) {
    for (int bx = 0; bx < image.width; bx += 8) {
      if (restart_interval != 0 && mcus != 0 && mcus % restart_interval == 0) {
        bits.flush();
        bits.marker(static_cast<std::uint8_t>(marker_rst0 + (mcus / restart_interval - 1) % 8));
        std::fill(predictors.begin(), predictors.end(), 0);
      }
      ++mcus;
      for (int c = 0; c < image.components; ++c) {
        std::array<double, 64> block{};
        for (int y = 0; y < 8; ++y)
          for (int x = 0; x < 8; ++x)
            block[static_cast<std::size_t>(y * 8 + x)] =
                image.at(std::min(bx + x, image.width - 1), std::min(by + y, image.height - 1), c) -
                128.0;
        const std::size_t t = c == 0 ? 0 : 1;
        encode_block(bits, transform_block(block, quant[t]), predictors[static_cast<std::size_t>(c)],
                     dc_codes[t], ac_codes[t]);
      }
    }
  }
  bits.flush();
}

}  // namespace

Raster make_test_pattern(std::uint16_t width, std::uint16_t height, int components) {
  Raster image{width, height, components, {}};
  image.samples.reserve(static_cast<std::size_t>(width) * height * static_cast<std::size_t>(components));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      double r = width > 1 ? 255.0 * x / (width - 1) : 128;
      double g = height > 1 ? 255.0 * y / (height - 1) : 128;
      double b = ((x / 8 + y / 8) % 2) != 0 ? 200 : 60;
      // JFIF colour conversion (full-range BT.601).
      double luma = 0.299 * r + 0.587 * g + 0.114 * b;
      double cb = 128 - 0.168736 * r - 0.331264 * g + 0.5 * b;
      double cr = 128 + 0.5 * r - 0.418688 * g - 0.081312 * b;
      for (double v : {luma, cb, cr}) {
        image.samples.push_back(static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)));
        if (components == 1) break;
      }
    }
  }
  return image;
}

ByteVector make_segment(std::uint8_t marker, std::span<const std::uint8_t> payload) {
  if (payload.size() > max_segment_payload) throw std::length_error("segment payload too long");
  ByteVector segment;
  segment.reserve(payload.size() + 4);
  segment.push_back(0xFF);
  segment.push_back(marker);
  append_be16(segment, static_cast<unsigned>(payload.size() + 2));
  append(segment, payload);
  return segment;
}

ByteVector jfif_app0_segment() {
  const ByteVector payload = {'J', 'F', 'I', 'F', 0,  // identifier
                              1,   1,                 // version 1.01
                              0,                      // density unit: aspect ratio only
                              0,   1,   0,   1,       // density 1:1
                              0,   0};                // no thumbnail
  return make_segment(marker_app0, payload);
}

ByteVector encode_baseline_jpeg(const Raster& image, std::span<const ByteVector> leading_segments,
                                std::uint16_t restart_interval) {
  if ((image.components != 1 && image.components != 3) || image.width == 0 || image.height == 0 ||
      image.samples.size() !=
          static_cast<std::size_t>(image.width) * image.height * static_cast<std::size_t>(image.components))
    throw std::invalid_argument("raster does not describe an image");
  ByteVector out{0xFF, marker_soi};
  for (const ByteVector& segment : leading_segments) append(out, segment);
  append(out, dqt_segment(image.components));
  append(out, sof0_segment(image));
  append(out, dht_segment(image.components));
  if (restart_interval != 0) {
    const ByteVector interval{static_cast<std::uint8_t>(restart_interval >> 8),
                              static_cast<std::uint8_t>(restart_interval)};
    append(out, make_segment(marker_dri, interval));
  }
  append(out, sos_segment(image.components));
  encode_scan(out, image, restart_interval);
  out.insert(out.end(), {0xFF, marker_eoi});
  return out;
}

HuffmanTable dc_huffman_table(int table) {
  return {table == 0 ? std::span<const std::uint8_t>(dc_luminance_bits) : dc_chrominance_bits, dc_values};
}
HuffmanTable ac_huffman_table(int table) {
  return table == 0 ? HuffmanTable{ac_luminance_bits, ac_luminance_values}
                    : HuffmanTable{ac_chrominance_bits, ac_chrominance_values};
}

}  // namespace segsniff::sample
