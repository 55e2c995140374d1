#include "jpeg/scan_jpeg_markers.h"

namespace segsniff {

// Placeholder until the marker walk lands.
void scan_jpeg_markers(ByteRegion& region, WalkContext&) { region.fail(); }

}  // namespace segsniff
