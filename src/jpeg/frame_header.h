// The frame header of a candidate stream, read quietly: where the frame and
// the first scan are, and what the frame and scan headers say.  The
// fragment search needs it before it decodes anything: the frame size to
// rewrite, the MCU count to expect, where the entropy-coded data begins and
// whether restart markers cut it into intervals.
#pragma once

#include <array>
#include <cstdint>

#include "jpeg/byte_region.h"

namespace segsniff {

struct FrameComponent {
  std::uint8_t h = 0;  // horizontal sampling factor
  std::uint8_t v = 0;  // vertical sampling factor
};

struct FrameHeader {
  Offset sof_at = no_position;   // the FF of the frame marker
  std::uint8_t sof_type = 0;     // the second byte of the frame marker (C0 .. CF)
  std::uint8_t precision = 0;
  std::uint16_t height = 0;
  std::uint16_t width = 0;
  int components = 0;
  std::array<FrameComponent, 4> component{};
  std::uint16_t restart_interval = 0;  // MCUs per interval, 0 without restart markers
  Offset sos_at = no_position;   // the FF of the first start-of-scan marker
  Offset data_at = no_position;  // first byte of that scan's entropy-coded data
  int scan_components = 0;
  bool full_spectrum = false;    // Ss 0, Se 63, Ah and Al 0: a sequential scan

  int max_h() const;
  int max_v() const;
  // A baseline or extended sequential Huffman frame of 8-bit samples whose
  // first scan holds every component (or a single one at full resolution):
  // its whole image is one scan, MCU after MCU, which the search can follow.
  bool single_sequential_scan() const;
  // MCUs in a row and rows of MCUs of that scan (0 when not such a frame).
  std::uint32_t mcus_per_row() const;
  std::uint32_t mcu_rows() const;
};

// Walks the marker segments of the stream whose SOI is at `soi` by their
// lengths up to the first start-of-scan header.  Prints nothing.  False when
// the stream ends, a segment is malformed, an EOI comes first, or no frame
// header precedes the scan; `header` then holds what was found.
bool read_frame_header(const ByteRegion& input, Offset soi, FrameHeader& header);

}  // namespace segsniff
