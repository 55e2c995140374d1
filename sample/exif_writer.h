// A small writer of little-endian ("II") TIFF structures for Exif APP1
// segments: directories, their entries, out-of-line values, and pointers
// from an entry or a next-IFD field to another directory or to a blob (an
// embedded thumbnail).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

#include "jpeg_writer.h"

namespace segsniff::sample {

// TIFF 6.0 field types used here.
enum class TiffType : std::uint16_t {
  byte = 1,
  ascii = 2,
  short_ = 3,
  long_ = 4,
  rational = 5,
  undefined = 7,
  slong = 9,
  srational = 10,
};

struct TiffEntry {
  std::uint16_t tag = 0;
  TiffType type = TiffType::undefined;
  std::uint32_t count = 0;
  ByteVector data;      // the value bytes, little-endian
  int points_to = -1;   // >= 0: the value is the offset of that item of the layout
};

TiffEntry ascii_entry(std::uint16_t tag, std::string_view text);  // adds the terminating zero
TiffEntry byte_entry(std::uint16_t tag, std::initializer_list<std::uint8_t> values);
TiffEntry undefined_entry(std::uint16_t tag, std::string_view bytes);
TiffEntry short_entry(std::uint16_t tag, std::initializer_list<std::uint16_t> values);
TiffEntry long_entry(std::uint16_t tag, std::initializer_list<std::uint32_t> values);
TiffEntry rational_entry(std::uint16_t tag,
                         std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> values);
TiffEntry srational_entry(std::uint16_t tag,
                          std::initializer_list<std::pair<std::int32_t, std::int32_t>> values);
// A LONG holding the offset of item `target` (a sub-IFD or a blob).
TiffEntry pointer_entry(std::uint16_t tag, int target);

// One item of the structure: a directory (entries in ascending tag order, as
// TIFF requires; the writer keeps the order given) or a blob of raw bytes.
struct TiffItem {
  std::vector<TiffEntry> entries;
  int next = -1;  // item index of the next IFD in the chain, -1 for none
  ByteVector blob;
  bool is_blob = false;
};

// The TIFF structure: the header (II, 42, offset of item 0), then the items
// in order, each directory followed by its values of more than four bytes,
// every piece starting on an even offset.
ByteVector write_tiff(const std::vector<TiffItem>& items);

// APP1 segment: "Exif", two zero bytes, the TIFF structure.
ByteVector exif_app1_segment(const std::vector<TiffItem>& items);

}  // namespace segsniff::sample
