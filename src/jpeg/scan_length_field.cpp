#include "jpeg/scan_length_field.h"

#include "shell/channels.h"

namespace segsniff {

void scan_length_field(ByteRegion& region, const char* field_name) {
  if (!region.holds(region.cursor(), 2)) {
    err_stream << "field " << field_name << " at end of file (len is missing)\n";
    return;
  }
  const std::uint16_t length = get_int16(region);
  region.move_cursor(std::int64_t{length} - 2);
  out_stream << "  field " << field_name << " has len " << length << "\n";
}

}  // namespace segsniff
