// A minimal baseline JPEG writer: sequential DCT, 8-bit samples, Huffman
// coding with the example tables of ITU-T T.81 Annex K, every component at
// full resolution (4:4:4) or one grey component.  It exists so that the
// project owns its sample file and can build test and benchmark images of any
// size without shipping pictures.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace segsniff::sample {

using ByteVector = std::vector<std::uint8_t>;

// An image as the encoder takes it: Y (grey) or Y, Cb, Cr samples (JFIF
// colour space), interleaved by pixel, rows from top to bottom.
struct Raster {
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  int components = 3;  // 1 or 3
  ByteVector samples;  // width * height * components bytes

  std::uint8_t at(int x, int y, int c) const {
    return samples[(static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)) *
                       static_cast<std::size_t>(components) +
                   static_cast<std::size_t>(c)];
  }
};

// A colour picture: red rises to the right, green downwards, blue alternates
// in 8x8 squares (sharp edges give the Huffman coder some AC work).  The same
// arguments always give the same samples.
Raster make_test_pattern(std::uint16_t width, std::uint16_t height, int components = 3);

// One whole marker segment: FF xx, the big-endian length counting itself,
// then the payload.  The payload must be at most 65533 bytes.
ByteVector make_segment(std::uint8_t marker, std::span<const std::uint8_t> payload);

// APP0 "JFIF" version 1.01, aspect ratio 1:1, no thumbnail.
ByteVector jfif_app0_segment();

// The whole stream: SOI, `leading_segments` as given (APPn segments
// usually), DQT (both tables in one segment), SOF0, DHT (four tables in one
// segment), with a restart interval of `restart_interval` MCUs a DRI
// segment, SOS, the entropy-coded data with FF bytes stuffed (and the
// restart markers RST0..RST7 in turn between the intervals), EOI.
ByteVector encode_baseline_jpeg(const Raster& image,
                                std::span<const ByteVector> leading_segments = {},
                                std::uint16_t restart_interval = 0);

// The Huffman tables, exposed for the test that checks they are complete
// prefix codes: the BITS (codes per length 1..16) and HUFFVAL lists of T.81
// Annex C.
struct HuffmanTable {
  std::span<const std::uint8_t> bits;  // 16 counts
  std::span<const std::uint8_t> values;
};
HuffmanTable dc_huffman_table(int table);
HuffmanTable ac_huffman_table(int table);

}  // namespace segsniff::sample
