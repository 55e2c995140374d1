#pragma once

#include "jpeg/byte_region.h"
#include "jpeg/walk_context.h"

namespace segsniff {

// An application segment APP0..APP15 (markers FFE0..FFEF).  The cursor
// stands on the length field:
//
//   +0  2  length L, big-endian, counting itself and the rest of the segment
//   +2  4  magic, the first four payload bytes in file order
//   +6     the rest of the payload, L - 6 bytes
//
// The payload is told apart by its magic, never by the APP number (which is
// only printed): "Exif" and "QVCS" go to their decoders, "JFIF" and every
// other payload are shown as a capped hex dump.
//
// Leaves the cursor on the segment end that L declares (length field plus
// L, not bounded by the window), whatever the payload's decoder did, so the
// walk stays in step after a damaged block.  When L itself cannot be read
// there is no segment end, and the cursor is left as the failed read left it
// (no position), which ends the walk.
void scan_application_segment(ByteRegion& region, int app_number, WalkContext& context);

// Puts the cursor on the segment end, and says so (a finding on standard
// output) when a payload decoder left it elsewhere.  Both positions print as
// offsets from the window's begin; a lost position prints as
// FFFFFFFFFFFFFFFF.
void settle_at_segment_end(ByteRegion& region, Offset segment_end, Printer& printer);

}  // namespace segsniff
