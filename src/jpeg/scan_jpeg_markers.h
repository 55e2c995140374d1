#pragma once

#include "jpeg/byte_region.h"
#include "jpeg/walk_context.h"

namespace segsniff {

// The marker walk.  The cursor stands on the first marker (the walk itself
// does not insist on FF D8; callers that need it test it).  One line per
// marker, "Marker XXXX at file offset OOOOOOOO: " with the offset from the
// window's begin, then the marker's name and its segment's lines.
//
// On return the cursor stands just after an End-of-Image marker, or is
// no_position when the walk ran off the window, lost its position in a
// failed read, or gave up after 31 illegal markers.  intel_order is
// big-endian for the walk's duration and context.depth counts it as open;
// both are put back on every way out.
void scan_jpeg_markers(ByteRegion& region, WalkContext& context);

}  // namespace segsniff
