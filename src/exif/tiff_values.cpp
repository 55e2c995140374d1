#include "exif/tiff_values.h"

namespace segsniff {

namespace {

// A reader over the entry's data on element i, in the entry's byte order.
// The element's first byte lies at i × element size: 35 bits at most.
ByteRegion element(const TiffEntry& entry, std::uint32_t i) {
  ByteRegion data = entry.data;
  data.seek(ByteRegion::after(data.begin(), std::uint64_t{i} * entry.type->element_size));
  return data;
}

}  // namespace

std::uint8_t tiff_byte(const TiffEntry& entry, std::uint32_t i) {
  ByteRegion data = element(entry, i);
  return try_byte(data).value_or(0);
}

std::uint16_t tiff_short(const TiffEntry& entry, std::uint32_t i) {
  ByteRegion data = element(entry, i);
  ByteOrderScope order(entry.intel);
  return try_int16(data).value_or(0);
}

std::uint32_t tiff_long(const TiffEntry& entry, std::uint32_t i) {
  ByteRegion data = element(entry, i);
  ByteOrderScope order(entry.intel);
  return try_int32(data).value_or(0);
}

TiffRational tiff_rational(const TiffEntry& entry, std::uint32_t i) {
  ByteRegion data = element(entry, i);
  ByteOrderScope order(entry.intel);
  const std::uint32_t numerator = try_int32(data).value_or(0);
  return {numerator, try_int32(data).value_or(0)};
}

}  // namespace segsniff
