#include "jpeg/seam_tracker.h"

#include <cstdlib>

namespace segsniff {

double SeamTracker::add_row(const McuRowDecoder& decoder) {
  if (columns_ == 0) {
    for (int c = 0; c < decoder.components(); ++c) columns_ += decoder.blocks_wide(c);
    bottoms_.assign(std::size_t{mcus_per_row_} * static_cast<std::size_t>(columns_), 0);
  }
  std::int64_t sum = 0;
  std::int64_t count = 0;
  for (int j = 0; j < decoder.row_mcus(); ++j, ++mcus_seen_) {
    std::uint8_t* below = &bottoms_[(mcus_seen_ % mcus_per_row_) * static_cast<std::uint32_t>(columns_)];
    const bool has_above = mcus_seen_ >= mcus_per_row_;
    int column = 0;
    for (int c = 0; c < decoder.components(); ++c) {
      const int last_row = decoder.blocks_high(c) - 1;
      for (int x = 0; x < decoder.blocks_wide(c); ++x, ++column) {
        if (has_above) sum += std::abs(decoder.block_mean(j, c, 0, x) - below[column]);
        below[column] = decoder.block_mean(j, c, last_row, x);
      }
    }
    if (has_above) count += columns_;
  }
  return count == 0 ? -1.0 : static_cast<double>(sum) / static_cast<double>(count);
}

}  // namespace segsniff
