// Where the EOI marker of a scan decoded from byte runs lies, from where the
// library stood when it got there.  The library takes bytes ahead of the
// MCU it decodes, so its position says only roughly where the scan's data
// ended; the marker itself is looked for in the runs around that place.
#pragma once

#include <cstddef>
#include <cstdint>

#include "jpeg/byte_region.h"
#include "jpeg/byte_runs.h"

namespace segsniff {

// The index of the run that holds p, searching on from `index` (a position
// just past a run's end counts as in it); runs.size() when none does.
std::size_t run_holding(const ByteRuns& runs, std::size_t index, Offset p);

// One past the EOI of the scan whose last MCU the library read up to `last`
// (in runs[index]): after the last MCU it stops at the EOI marker, with at
// most a few bytes of it in its bit buffer.  no_position when there is none.
Offset eoi_after(const ByteRegion& input, const ByteRuns& runs, std::size_t index, Offset last);

// One past the EOI of the scan whose data ran into the EOI marker while the
// library stood at `at` (it may have read the marker already, or be up to
// an MCU before it).  The header run (runs[0]) is not looked at.
Offset eoi_met(const ByteRegion& input, const ByteRuns& runs, Offset at);

}  // namespace segsniff
