#pragma once

#include "jpeg/byte_region.h"
#include "jpeg/walk_context.h"

namespace segsniff {

// The marker walk.  The cursor stands on the first marker.  On return the
// cursor stands just after an End-of-Image marker, or is no_position when
// the walk ended without one.  intel_order is big-endian for the walk's
// duration and is put back on every way out.
void scan_jpeg_markers(ByteRegion& region, WalkContext& context);

}  // namespace segsniff
