#pragma once

#include <cstdint>

#include "jpeg/byte_region.h"
#include "shell/printer.h"

namespace segsniff {

// Start of Frame, baseline (FFC0) (T.81 B.2.2).  The listing shows the
// length only ("field SOF"); the frame header goes to the printer quietly.
//
//   +0  2  length L, big-endian, counting itself
//   +2  1  sample precision P
//   +3  2  number of lines Y
//   +5  2  samples per line X
//   +7  1  number of components Nf
//   +8     Nf components of 3 bytes: id, sampling factors H (high nibble)
//          and V (low nibble), quantization table id
//
// Leaves the cursor at the length field plus L, as scan_length_field does.
void scan_sof(ByteRegion& region, std::uint16_t marker, Printer& printer);

// Whether a marker begins a frame (FFC0 .. FFCF but FFC4 DHT, FFC8 JPG and
// FFCC DAC).  The walk decodes FFC0 only; the others are illegal markers to
// it, whose frame header the printer is told all the same.
bool is_frame_marker(std::uint16_t marker);

// Tells the printer the frame header in `payload` (the segment after its
// length field, see segment_payload) of the segment whose length field is
// at `length_at`: nothing when not even the fixed part is there, the
// components that lie inside the payload otherwise.
void scan_frame_header(ByteRegion payload, Offset length_at, std::uint16_t marker,
                       Printer& printer);

}  // namespace segsniff
