#pragma once

#include "jpeg/byte_region.h"

namespace segsniff {

// Define Quantization Table (FFDB): only the length is reported, the tables
// themselves are image content.
//
//   +0  2  length L, big-endian, counting itself
//
// Leaves the cursor at the length field plus L (unchecked, as for every
// length-skipped segment).  Without two bytes for the length it reports the
// length missing and leaves the cursor where it was.
void scan_dqt(ByteRegion& region);

}  // namespace segsniff
