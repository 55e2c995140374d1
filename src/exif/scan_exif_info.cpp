#include "exif/scan_exif_info.h"

namespace segsniff {

// Placeholder until the Exif decoder lands.
void scan_exif_info(ByteRegion& region, Offset segment_end, WalkContext&) {
  region.cursor = segment_end;
}

}  // namespace segsniff
