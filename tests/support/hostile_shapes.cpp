#include "support/hostile_shapes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace segsniff::test {

namespace {

// An Exif segment's TIFF structure holds at most this many bytes: the length
// field counts itself, "Exif" and the two application-type bytes.
constexpr std::size_t max_tiff_bytes = 65535 - 2 - 6;
// What a stream of one Exif segment adds around its TIFF structure: SOI, the
// APP1 marker and length, "Exif" 00 00, EOI.
constexpr std::size_t exif_stream_frame = 2 + 4 + 6 + 2;

constexpr std::size_t header_bytes = 8;   // "MM" 42 IFD0-offset
constexpr std::size_t entry_bytes = 12;
constexpr std::size_t ifd_frame = 2 + 4;  // count, next-IFD offset
constexpr std::size_t rational_block_bytes = 16 * 8;

constexpr std::uint16_t type_long = 4;
constexpr std::uint16_t type_rational = 5;
constexpr std::uint16_t type_undefined = 7;
constexpr std::uint16_t tag_exif_ifd = 0x8769;
constexpr std::uint16_t tag_maker_note = 0x927C;
constexpr std::uint16_t tag_thumbnail_offset = 0x0201;
constexpr std::uint16_t tag_thumbnail_length = 0x0202;
constexpr std::uint16_t tag_exposure_time = 0x829A;

// Thumbnail pairs in the fan-out shapes: the number of nested walks one
// image was allowed before the allowance counted bytes.
constexpr int wide_fan_out = 64;

std::uint32_t u32(std::size_t v) { return static_cast<std::uint32_t>(v); }
std::uint16_t u16(std::size_t v) { return static_cast<std::uint16_t>(v); }

// All TIFF structures here are big-endian ("MM").
Bytes tiff_header(std::size_t ifd0) { return Bytes{}.text("MM").be16(42).be32(u32(ifd0)); }

Bytes entry(std::uint16_t tag, std::uint16_t type, std::size_t count, std::size_t value) {
  return Bytes{}.be16(tag).be16(type).be32(u32(count)).be32(u32(value));
}

// Sixteen rationals of -2^31/-2^31: the longest value line an entry prints.
Bytes rational_block() {
  Bytes b;
  for (int i = 0; i < 32; ++i) b.be32(0x80000000);
  return b;
}

Bytes exif_segment(const Bytes& tiff) {
  return Bytes{}.segment(0xFFE1, Bytes{}.text("Exif").raw({0, 0}).append(tiff));
}

Bytes exif_stream(const Bytes& tiff) { return Bytes{}.be16(0xFFD8).append(exif_segment(tiff)).be16(0xFFD9); }

std::size_t less(std::size_t a, std::size_t b) { return a > b ? a - b : 0; }

// SOI, as many Exif segments as `size` holds, each with the TIFF structure
// that make_tiff builds for the bytes it is given (the last one smaller), EOI.
Bytes exif_segments_filling(std::size_t size, Bytes (*make_tiff)(std::size_t tiff_bytes)) {
  Bytes b = Bytes{}.be16(0xFFD8);
  std::size_t left = less(size, exif_stream_frame);
  do {
    const Bytes tiff = make_tiff(std::min(left, max_tiff_bytes));
    b.append(exif_segment(tiff));
    left = less(left, tiff.size() + exif_stream_frame - 4);
  } while (left > 256);
  return b.be16(0xFFD9);
}

// Overlap.  IFD0 holds k Exif IFD pointers, to the IFDs that start every
// 12 bytes in an area of k identical entries; the count of each is the low
// half of the entry before it (the offset of a rational block), larger than
// the area, so each reads the rest of the area: k^2/2 entries of 550 bytes
// of listing each from 24k bytes.
Bytes overlapping_ifds_tiff(std::size_t tiff_bytes) {
  const std::size_t fixed = header_bytes + ifd_frame + rational_block_bytes + 2;
  const std::size_t k = std::max<std::size_t>(1, less(tiff_bytes, fixed) / (2 * entry_bytes));
  const std::size_t block = header_bytes + ifd_frame + entry_bytes * k;
  const std::size_t area = block + rational_block_bytes + 2;
  Bytes b = tiff_header(header_bytes).be16(u16(k));
  for (std::size_t j = 0; j < k; ++j) b.append(entry(tag_exif_ifd, type_long, 1, area - 2 + entry_bytes * j));
  b.be32(0).append(rational_block()).be16(u16(block));
  for (std::size_t j = 0; j < k; ++j) b.append(entry(tag_exposure_time, type_rational, 16, block));
  return b;
}

// The same overlap reached through Maker Notes: each note is read as a
// directory at its own position.
Bytes overlapping_maker_notes_tiff(std::size_t tiff_bytes) {
  const std::size_t fixed = header_bytes + ifd_frame + rational_block_bytes + 2;
  const std::size_t k = std::max<std::size_t>(1, less(tiff_bytes, fixed) / (2 * entry_bytes));
  const std::size_t block = header_bytes + ifd_frame + entry_bytes * k;
  const std::size_t area = block + rational_block_bytes + 2;
  const std::size_t end = area + entry_bytes * k;
  Bytes b = tiff_header(header_bytes).be16(u16(k));
  for (std::size_t j = 0; j < k; ++j) {
    const std::size_t note = area - 2 + entry_bytes * j;
    b.append(entry(tag_maker_note, type_undefined, end - note, note));
  }
  b.be32(0).append(rational_block()).be16(u16(block));
  for (std::size_t j = 0; j < k; ++j) b.append(entry(tag_exposure_time, type_rational, 16, block));
  return b;
}

// IFD0 holds `pairs` thumbnail pairs for `stream` and four rational
// entries; the stream follows the rational block.
Bytes thumbnail_pairs_tiff(int pairs, const Bytes& stream) {
  constexpr int rationals = 4;
  const std::size_t block = header_bytes + ifd_frame + entry_bytes * (2 * pairs + rationals);
  const std::size_t stream_at = block + rational_block_bytes;
  Bytes b = tiff_header(header_bytes).be16(u16(2 * pairs + rationals));
  for (int i = 0; i < pairs; ++i)
    b.append(entry(tag_thumbnail_offset, type_long, 1, stream_at))
        .append(entry(tag_thumbnail_length, type_long, 1, stream.size()));
  for (int i = 0; i < rationals; ++i) b.append(entry(tag_exposure_time, type_rational, 16, block));
  return b.be32(0).append(rational_block()).append(stream);
}

// Fan-out: 64 thumbnail pairs for one stream that holds overlapping IFDs.
Bytes thumbnail_fan_out_tiff(std::size_t tiff_bytes) {
  const std::size_t frame = header_bytes + ifd_frame + entry_bytes * (2 * wide_fan_out + 4) +
                            rational_block_bytes + exif_stream_frame;
  return thumbnail_pairs_tiff(wide_fan_out, exif_stream(overlapping_ifds_tiff(less(tiff_bytes, frame))));
}

// Nesting: level 0 is SOI EOI, level i a stream whose Exif block holds
// `pairs` thumbnail pairs for level i-1, as deep as tiff_bytes allows.
Bytes nested_tiff(std::size_t tiff_bytes, int pairs) {
  Bytes tiff = thumbnail_pairs_tiff(pairs, Bytes{0xFF, 0xD8, 0xFF, 0xD9});
  for (;;) {
    Bytes deeper = thumbnail_pairs_tiff(pairs, exif_stream(tiff));
    if (deeper.size() > tiff_bytes) return tiff;
    tiff = deeper;
  }
}

Bytes nested_thumbnails_tiff(std::size_t tiff_bytes) { return nested_tiff(tiff_bytes, 1); }
Bytes nested_fan_out_tiff(std::size_t tiff_bytes) { return nested_tiff(tiff_bytes, 4); }

// A chain of IFDs of one rational entry each, every one pointing at the
// next: the longest chain a segment holds.
Bytes ifd_chain_tiff(std::size_t tiff_bytes) {
  constexpr std::size_t ifd = ifd_frame + entry_bytes;
  const std::size_t first = header_bytes + rational_block_bytes;
  const std::size_t n = std::max<std::size_t>(1, less(tiff_bytes, first) / ifd);
  Bytes b = tiff_header(first).append(rational_block());
  for (std::size_t i = 0; i < n; ++i)
    b.be16(1).append(entry(tag_exposure_time, type_rational, 16, header_bytes))
        .be32(u32(i + 1 < n ? first + ifd * (i + 1) : 0));
  return b;
}

Bytes overlapping_ifds(std::size_t size) { return exif_segments_filling(size, overlapping_ifds_tiff); }
Bytes overlapping_maker_notes(std::size_t size) {
  return exif_segments_filling(size, overlapping_maker_notes_tiff);
}
Bytes thumbnail_fan_out(std::size_t size) { return exif_segments_filling(size, thumbnail_fan_out_tiff); }
Bytes nested_thumbnails(std::size_t size) { return exif_segments_filling(size, nested_thumbnails_tiff); }
Bytes nested_fan_out(std::size_t size) { return exif_segments_filling(size, nested_fan_out_tiff); }
Bytes ifd_chain(std::size_t size) { return exif_segments_filling(size, ifd_chain_tiff); }

// APP1 segments of length 2: each reads the next one's four bytes as its
// magic, and the walk goes on right after its length field -- the most
// listing a marker walk prints per byte (about 32).
Bytes app_segments(std::size_t size) {
  Bytes b = Bytes{}.be16(0xFFD8);
  for (std::size_t i = 0; i < std::max<std::size_t>(2, less(size, 4) / 4); ++i) b.be16(0xFFE1).be16(2);
  return b.be16(0xFFD9);
}

// QVCS segments as the QV-4000 writes them: hex dump, camera line, the
// parameter table dumped as a directory and again as a parameter line.
Bytes qvcs_segments(std::size_t size) {
  // "QVCS", the application-type bytes, the model padded to 14 bytes, N = 19
  Bytes payload{'Q', 'V', 'C', 'S', 0, 0, 'Q', 'V', '-', '4', '0', '0', '0', 0, 0, 0, 0, 0, 0, 0, 0, 19};
  for (std::uint16_t i = 0; i < 19; ++i) payload.be16(i).be16(3).be32(1).be16(0xFFFF).be16(0);
  payload.be32(0).be32(0);
  Bytes segment;
  segment.segment(0xFFE2, payload);
  Bytes b = Bytes{}.be16(0xFFD8);
  for (std::size_t i = 0; i < std::max<std::size_t>(1, less(size, 4) / segment.size()); ++i)
    b.append(segment);
  return b.be16(0xFFD9);
}

// FF D8 pairs back to back, then FF D9: every pair is a candidate whose walk
// lists all the pairs after it and is written to a file.
Bytes stacked_soi(std::size_t size) {
  Bytes b;
  for (std::size_t i = 0; i < std::max<std::size_t>(1, less(size, 2) / 2); ++i) b.be16(0xFFD8);
  return b.be16(0xFFD9);
}

// Sixteen FF D8 pairs in front of the fan-out picture: each is a candidate
// whose walk reaches the picture and lists it again.
Bytes soi_before_fan_out(std::size_t size) {
  constexpr std::size_t pairs = 16;
  Bytes b;
  for (std::size_t i = 0; i < pairs; ++i) b.be16(0xFFD8);
  return b.append(thumbnail_fan_out(less(size, 2 * pairs)));
}

const HostileShape hostile_shape_table[] = {
    {"overlapping-ifds",        "IFDs that overlap: each pointer re-reads the rest of one area", overlapping_ifds},
    {"overlapping-maker-notes", "the same overlap through Maker Notes read as directories",      overlapping_maker_notes},
    {"thumbnail-fan-out",       "64 thumbnail pairs for one stream that holds overlapping IFDs", thumbnail_fan_out},
    {"nested-fan-out",          "4 thumbnail pairs at every level for the next level's stream",  nested_fan_out},
    {"nested-thumbnails",       "one thumbnail in each level, as deep as a segment holds",       nested_thumbnails},
    {"ifd-chain",               "a chain of one-entry IFDs as long as a segment holds",          ifd_chain},
    {"app-segments",            "APP1 segments of length 2, the densest marker listing",         app_segments},
    {"qvcs-segments",           "QVCS segments, each dumped in hex, as a directory and a list",   qvcs_segments},
    {"stacked-soi",             "FF D8 pairs back to back, then FF D9",                          stacked_soi},
    {"soi-before-fan-out",      "16 FF D8 pairs in front of the thumbnail fan-out picture",      soi_before_fan_out},
};

}  // namespace

std::span<const HostileShape> hostile_shapes() { return hostile_shape_table; }

const HostileShape* find_hostile_shape(const char* name) {
  for (const HostileShape& shape : hostile_shape_table)
    if (std::strcmp(shape.name, name) == 0) return &shape;
  return nullptr;
}

}  // namespace segsniff::test
