#pragma once

#include "jpeg/byte_region.h"
#include "jpeg/walk_context.h"

namespace segsniff {

// The entropy-coded data after a Start-of-Scan header.  It is not decoded:
// the cursor goes to the first FF D9 pair at or after it.  Stuffed bytes
// (FF 00), restart markers (FF D0..D7) and every other FF pair are passed
// over, so a progressive file shows its first scan only.
//
// Leaves the cursor on the FF of the pair, where the walk reads the
// End-of-Image marker next.  Without a pair it stops on the window's last
// byte, where the walk's next marker read fails.  A cursor that is not in
// the window, or on its last byte, does not move.
//
// Tells the printer the number of bytes passed over, and a warning (on
// standard output) with the bytes that were available from the start when
// the pair is not the window's last two bytes (trailing data, or no
// End-of-Image marker at all).
void skip_scan_data(ByteRegion& region, WalkContext& context);

}  // namespace segsniff
