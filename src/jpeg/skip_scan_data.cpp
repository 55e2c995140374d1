#include "jpeg/skip_scan_data.h"

#include "shell/channels.h"

namespace segsniff {

void skip_scan_data(ByteRegion& region, WalkContext& context) {
  const Offset start = region.cursor();
  if (region.failed()) {  // the walk never gets here without a position
    out_printf("  hopefully skipping %ld bytes of compressed image data to next 0xFF.\n", 0L);
    return;
  }
  // This is the one place that searches for a byte pair instead of walking
  // segment lengths: entropy-coded data has no lengths, and FF D9 is the
  // only pair that ends it.
  if (region.holds(start, 2)) {
    const Offset pair = context.eoi_pairs.next_pair(region, start);
    region.seek(pair != no_position ? pair : region.end() - 1);
  }
  const auto skipped = static_cast<long>(region.cursor() - start);
  out_printf("  hopefully skipping %ld bytes of compressed image data to next 0xFF.\n", skipped);

  const bool pair_ends_window =
      region.cursor() <= region.end() && region.end() - region.cursor() == 2;
  if (!pair_ends_window) {
    // Signed: a scan header whose length ran past the end leaves the start
    // beyond the window, and the count goes negative.
    const auto available = static_cast<long>(region.end() - start);
    out_printf("  warning: memory has been available for %ld bytes\n", available);
  }
}

}  // namespace segsniff
