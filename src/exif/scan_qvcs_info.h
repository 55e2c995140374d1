#pragma once

#include "jpeg/byte_region.h"
#include "jpeg/walk_context.h"

namespace segsniff {

// A "QVCS" application segment (the camera maker's parameter segment).  The
// cursor stands on the first byte after the magic; segment_end is where the
// segment's length field says it ends.
void scan_qvcs_info(ByteRegion& region, Offset segment_end, WalkContext& context);

}  // namespace segsniff
