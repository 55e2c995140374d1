#include "jpeg/scan_dqt.h"

#include "shell/channels.h"

namespace segsniff {

void scan_dqt(ByteRegion& region) {
  if (!region.holds(region.cursor(), 2)) {
    err_stream << "DQT at end of file (len is missing)\n";
    return;
  }
  const std::uint16_t length = get_int16(region);
  region.move_cursor(std::int64_t{length} - 2);
  out_stream << "  DQT has len " << length << "\n";
}

}  // namespace segsniff
