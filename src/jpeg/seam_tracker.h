// How well each newly decoded run of MCUs continues the picture above it.
//
// For every MCU the tracker compares the mean samples of its top row of
// blocks with those of the bottom row of blocks of the MCU one picture row
// above (mcus_per_row MCUs earlier in the scan), in every component, and
// keeps the mean absolute difference per block column: the seam.  Photos
// change slowly from one row of blocks to the next (a few levels out of
// 255); blocks decoded from bytes that are not this photo's continuation
// land anywhere, tens of levels away from what lies above them.  The first
// picture row has nothing above it and gives no seam.
#pragma once

#include <cstdint>
#include <vector>

#include "jpeg/mcu_row_decoder.h"

namespace segsniff {

class SeamTracker {
 public:
  explicit SeamTracker(std::uint32_t mcus_per_row) : mcus_per_row_(mcus_per_row) {}

  // Takes the row the decoder decoded last.  Returns the mean seam of its
  // MCUs, or a negative value when none of them had an MCU above it yet.
  double add_row(const McuRowDecoder& decoder);

 private:
  std::uint32_t mcus_per_row_;
  std::uint32_t mcus_seen_ = 0;
  int columns_ = 0;                     // block columns per MCU, all components
  std::vector<std::uint8_t> bottoms_;   // bottom block row of the last picture row of MCUs
};

}  // namespace segsniff
