#include "exif/scan_ifd.h"

namespace segsniff {

// Placeholders until the IFD walk lands.
void scan_ifd_chain(const ByteRegion&, std::uint32_t, TiffContext&) {}
void scan_ifd(ByteRegion& region, TiffContext&) { region.fail(); }
void scan_tiff_tag(ByteRegion& region, TiffContext&) { region.move_cursor(12); }

}  // namespace segsniff
