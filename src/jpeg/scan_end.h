// Where the EOI marker of a scan decoded from byte runs lies.
//
// After the scan's last MCU the library's bit reader, filling its buffer,
// runs into the EOI marker and stops just past it; when its buffer was
// full it stops just before.  Either way the marker sits at the position
// the library reports: an EOI anywhere else means the bytes decoded are
// not the photo's (another photo's end, which a search meets often).
#pragma once

#include "jpeg/byte_region.h"
#include "jpeg/byte_runs.h"

namespace segsniff {

// One past the FF D9 that ends just at or starts just at stream position
// `at` (an input offset inside `runs`, the runs of the stream in order);
// no_position when neither does.
Offset eoi_at(const ByteRegion& input, const ByteRuns& runs, Offset at);

}  // namespace segsniff
