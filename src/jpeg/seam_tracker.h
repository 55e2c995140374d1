// How well each newly decoded run of MCUs continues the picture above it.
//
// For every MCU the tracker compares the mean samples of its top row of
// blocks with those of the bottom row of blocks of the MCU one picture row
// above (mcus_per_row MCUs earlier in the scan), in every component, and
// keeps the mean absolute difference per block column: the seam.  Photos
// change slowly from one row of blocks to the next (a few levels out of
// 255); blocks decoded from bytes that are not this photo's continuation
// land anywhere, tens of levels away from what lies above them.
//
// The first picture row has nothing above it: there each MCU is compared
// with the one to its left instead (its left column of blocks with that
// MCU's right column), so that a photo cut within its first row of MCUs
// can still be judged.  The first MCU of the picture gives no seam.
#pragma once

#include <cstdint>
#include <vector>

#include "jpeg/byte_region.h"
#include "jpeg/mcu_row_decoder.h"

namespace segsniff {

class SeamTracker {
 public:
  explicit SeamTracker(std::uint32_t mcus_per_row) : mcus_per_row_(mcus_per_row) {}

  // Takes the row the decoder decoded last.  Returns the mean seam of its
  // MCUs, or a negative value when none had an MCU above or to the left.
  double add_row(const McuRowDecoder& decoder);
  // Whether the row taken last lay in the first picture row (its seam, if
  // any, is to the left).
  bool in_first_row() const { return mcus_seen_ <= mcus_per_row_; }

 private:
  std::uint32_t mcus_per_row_;
  std::uint32_t mcus_seen_ = 0;
  int columns_ = 0;                     // block columns per MCU, all components
  int rows_ = 0;                        // block rows per MCU, all components
  std::vector<std::uint8_t> bottoms_;   // bottom block row of the last picture row of MCUs
  std::vector<std::uint8_t> rights_;    // right block column of the MCU before (first picture row)
};

// Mean seam of the rows that end in one block.
struct BlockTally {
  Offset block = no_position;
  double sum = 0;
  int rows = 0;
  void add(double seam) {
    if (seam < 0) return;
    sum += seam;
    ++rows;
  }
  double mean() const { return rows == 0 ? 0 : sum / rows; }
};

}  // namespace segsniff
