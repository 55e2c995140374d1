#include "jpeg/scan_dri.h"

#include "shell/channels.h"

namespace segsniff {

namespace {
constexpr std::uint16_t dri_length = 4;  // the length field and the interval
}  // namespace

void scan_dri(ByteRegion& region) {
  if (!region.holds(region.cursor(), dri_length)) {
    err_stream << "DRI at end of file (len is missing)\n";
    return;
  }
  const std::uint16_t length = get_int16(region);
  const std::uint16_t interval = get_int16(region);
  if (length != dri_length) err_stream << "DRI has illegal len " << length << "\n";
  out_printf("  DRI has value %04X\n", static_cast<unsigned>(interval));
}

}  // namespace segsniff
