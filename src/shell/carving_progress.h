// The progress of a carving run on a terminal: one line on standard error,
// drawn over itself while an input is carved; the summary line per input
// once it is done goes through the printer.  Shown only when standard error is a terminal and
// standard output is not that terminal (the listing goes elsewhere); runs
// whose standard error is redirected print none of it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "jpeg/recover_jpeg_streams.h"

namespace segsniff {

class CarvingProgress {
 public:
  using Clock = std::chrono::steady_clock;

  // Whether the console asks for it (see above).
  static bool wanted();

  // An input of `size` bytes is about to be carved: draws the first line.
  void start(const char* name, std::uint64_t size);

  // The scan has reached `position`.  Draws the line again when the last
  // drawing is a quarter of a second old; costs one reading of the clock.
  void advance(std::uint64_t position, const CarvingTally& tally) {
    if (Clock::now() >= next_draw_) draw(position, tally);
  }

  // The input is done (or was given up): erases the line.  The summary
  // line follows through the printer (Printer::carving_summary).
  void finish();

 private:
  void draw(std::uint64_t position, const CarvingTally& tally);

  std::string name_;  // as shown (shown_string)
  std::uint64_t size_ = 0;
  Clock::time_point started_{};
  Clock::time_point next_draw_{};
};

}  // namespace segsniff
