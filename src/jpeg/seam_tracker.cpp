#include "jpeg/seam_tracker.h"

#include <cstdlib>

namespace segsniff {

double SeamTracker::add_row(const McuRowDecoder& decoder) {
  if (columns_ == 0) {
    for (int c = 0; c < decoder.components(); ++c) {
      columns_ += decoder.blocks_wide(c);
      rows_ += decoder.blocks_high(c);
    }
    bottoms_.assign(std::size_t{mcus_per_row_} * static_cast<std::uint32_t>(columns_), 0);
    rights_.assign(static_cast<std::size_t>(rows_), 0);
  }
  std::int64_t sum = 0;
  std::int64_t count = 0;
  for (int j = 0; j < decoder.row_mcus(); ++j, ++mcus_seen_) {
    std::uint8_t* below = &bottoms_[(mcus_seen_ % mcus_per_row_) * static_cast<std::uint32_t>(columns_)];
    const bool has_above = mcus_seen_ >= mcus_per_row_;
    const bool has_left = !has_above && mcus_seen_ > 0;
    int column = 0;
    int row = 0;
    for (int c = 0; c < decoder.components(); ++c) {
      const int last_row = decoder.blocks_high(c) - 1;
      const int last_column = decoder.blocks_wide(c) - 1;
      for (int x = 0; x <= last_column; ++x, ++column) {
        if (has_above) sum += std::abs(decoder.block_mean(j, c, 0, x) - below[column]);
        below[column] = decoder.block_mean(j, c, last_row, x);
      }
      if (has_above) continue;
      for (int y = 0; y <= last_row; ++y, ++row) {
        if (has_left) sum += std::abs(decoder.block_mean(j, c, y, 0) - rights_[static_cast<std::size_t>(row)]);
        rights_[static_cast<std::size_t>(row)] = decoder.block_mean(j, c, y, last_column);
      }
    }
    if (has_above) count += columns_;
    if (has_left) count += rows_;
  }
  return count == 0 ? -1.0 : static_cast<double>(sum) / static_cast<double>(count);
}

}  // namespace segsniff
