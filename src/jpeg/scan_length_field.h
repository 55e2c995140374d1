#pragma once

#include "jpeg/byte_region.h"

namespace segsniff {

// A segment that is reported by its length only (SOF, DHT, SOS and every
// marker the walk does not know).
//
//   +0  2  length L, big-endian, counting itself and the rest of the segment
//
// Leaves the cursor at the length field plus L, unchecked against the window
// (the walk's loop test catches a length that runs past the end).  A length
// of 0 or 1 moves the cursor back onto the length field; that is still after
// the marker, so the walk moves on.  Without two bytes for the length it
// reports the field missing and leaves the cursor where it was.
void scan_length_field(ByteRegion& region, const char* field_name);

}  // namespace segsniff
