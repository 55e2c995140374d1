#pragma once

#include "jpeg/byte_region.h"
#include "shell/printer.h"

namespace segsniff {

// Define Restart Interval (FFDD).
//
//   +0  2  length, big-endian; 4 in every well-formed stream
//   +2  2  restart interval in MCUs
//
// Leaves the cursor 4 bytes on whatever the length says: a DRI segment has
// one layout, so a wrong length is reported rather than trusted.  Without
// four bytes it reports the length missing and leaves the cursor alone.
void scan_dri(ByteRegion& region, Printer& printer);

}  // namespace segsniff
