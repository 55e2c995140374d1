#include "jpeg/scan_dri.h"

namespace segsniff {

namespace {
constexpr std::uint16_t dri_length = 4;  // the length field and the interval
}  // namespace

void scan_dri(ByteRegion& region, Printer& printer) {
  const Offset length_at = region.cursor();
  if (!region.holds(length_at, dri_length)) {
    printer.finding(Channel::err, length_at, "DRI at end of file (len is missing)\n");
    return;
  }
  const std::uint16_t length = get_int16(region, printer);
  const std::uint16_t interval = get_int16(region, printer);
  if (length != dri_length)
    printer.finding(Channel::err, length_at, "DRI has illegal len %u\n", unsigned{length});
  printer.restart_interval(length_at, interval);
}

}  // namespace segsniff
