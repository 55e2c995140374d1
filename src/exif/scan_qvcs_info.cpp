#include "exif/scan_qvcs_info.h"

namespace segsniff {

// Placeholder until the QVCS decoder lands.
void scan_qvcs_info(ByteRegion& region, Offset segment_end, WalkContext&) {
  region.cursor = segment_end;
}

}  // namespace segsniff
