#pragma once

#include "jpeg/byte_region.h"
#include "shell/printer.h"

namespace segsniff {

// Start of Scan (FFDA) (T.81 B.2.3), the header only: the entropy-coded
// data after it is skip_scan_data's.  The listing shows the length only
// ("field SOS"); the header goes to the printer quietly.
//
//   +0  2  length L, big-endian, counting itself
//   +2  1  number of components Ns
//   +3     Ns components of 2 bytes: id, DC table (high nibble) and AC
//          table (low nibble)
//   then   spectral selection start Ss, end Se (1 byte each), successive
//          approximation Ah (high nibble) and Al (low nibble) in one byte
//
// Leaves the cursor at the length field plus L, as scan_length_field does.
void scan_sos(ByteRegion& region, Printer& printer);

}  // namespace segsniff
