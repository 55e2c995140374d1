#pragma once

#include "jpeg/byte_region.h"
#include "shell/printer.h"

namespace segsniff {

// Define Quantization Table (FFDB) (T.81 B.2.4.1).  The listing shows the
// length only; the tables are told to the printer quietly.
//
//   +0  2  length L, big-endian, counting itself
//   +2     tables, each: precision Pq (high nibble, 0 = 8-bit, 1 = 16-bit)
//          and destination Tq (low nibble) in one byte, then 64 values of
//          1 or 2 bytes
//
// Leaves the cursor at the length field plus L (unchecked, as for every
// length-skipped segment).  Without two bytes for the length it reports the
// length missing and leaves the cursor where it was.  A table cut by the
// segment's end is told as incomplete and ends the tables.
void scan_dqt(ByteRegion& region, Printer& printer);

}  // namespace segsniff
