#pragma once

#include "jpeg/byte_region.h"
#include "shell/printer.h"

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
void scan_length_field(ByteRegion& region, const char* field_name, Printer& printer);

// The payload of the segment whose length field is at the cursor: the bytes
// after the length field up to the end the length declares, cut at the
// window's end, as a window of its own.  Empty when the length is missing or
// below 2.  Quiet; the cursor does not move.  For decoders of fields that
// the listing does not show.
ByteRegion segment_payload(const ByteRegion& region);

}  // namespace segsniff
