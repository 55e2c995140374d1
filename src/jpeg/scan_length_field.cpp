#include "jpeg/scan_length_field.h"

namespace segsniff {

void scan_length_field(ByteRegion& region, const char* field_name, Printer& printer) {
  const Offset length_at = region.cursor();
  const std::optional<std::uint16_t> length = try_int16(region);
  if (!length) {
    printer.finding(Channel::err, length_at, "field %s at end of file (len is missing)\n",
                    field_name);
    return;
  }
  region.move_cursor(std::int64_t{*length} - 2);
  printer.segment_length(length_at, field_name, *length);
}

ByteRegion segment_payload(const ByteRegion& region) {
  ByteRegion length_field = region;
  const Offset length_at = region.cursor();
  const std::optional<std::uint16_t> length = try_int16(length_field);
  if (!length || *length < 2) return region.slice(region.end(), region.end());
  return region.slice(length_field.cursor(), ByteRegion::after(length_at, *length));
}

}  // namespace segsniff
