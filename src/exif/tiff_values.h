// The elements of a TIFF entry's data, read in the structure's byte order.
// The entry dump has made sure that the data holds all `count` elements, so
// these reads cannot fail; an index past the count reads 0.
#pragma once

#include <cstdint>

#include "shell/printer_records.h"

namespace segsniff {

struct TiffRational {
  std::uint32_t numerator = 0;
  std::uint32_t denominator = 0;
};

// Element i of a byte, ascii or undefined entry.
std::uint8_t tiff_byte(const TiffEntry& entry, std::uint32_t i);
// Element i of a short entry.
std::uint16_t tiff_short(const TiffEntry& entry, std::uint32_t i);
// Element i of a long or slong entry (the signed one reads as int32_t).
std::uint32_t tiff_long(const TiffEntry& entry, std::uint32_t i);
// Element i of a rational or srational entry.
TiffRational tiff_rational(const TiffEntry& entry, std::uint32_t i);

}  // namespace segsniff
