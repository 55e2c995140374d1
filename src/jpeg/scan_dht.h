#pragma once

#include "jpeg/byte_region.h"
#include "shell/printer.h"

namespace segsniff {

// Define Huffman Table (FFC4) (T.81 B.2.4.2).  The listing shows the length
// only ("field DHT"); the tables go to the printer quietly.
//
//   +0  2  length L, big-endian, counting itself
//   +2     tables, each: class Tc (high nibble, 0 DC, 1 AC) and destination
//          Th (low nibble) in one byte, 16 counts of codes of each length,
//          then as many symbols as the counts add up to
//
// Leaves the cursor at the length field plus L, as scan_length_field does.
// A table cut by the segment's end is told as incomplete and ends the
// tables.
void scan_dht(ByteRegion& region, Printer& printer);

}  // namespace segsniff
