#pragma once

#include "jpeg/byte_region.h"
#include "jpeg/walk_context.h"

namespace segsniff {

// An "Exif" application segment.  The cursor stands on the first byte after
// the magic; segment_end is where the segment's length field says it ends
// (not bounded by the region).  Leaves the cursor on segment_end, or
// no_position after "no data in exif info".
void scan_exif_info(ByteRegion& region, Offset segment_end, WalkContext& context);

}  // namespace segsniff
