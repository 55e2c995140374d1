#include "jpeg/skip_scan_data.h"

#include <cinttypes>

namespace segsniff {

void skip_scan_data(ByteRegion& region, WalkContext& context) {
  Printer& printer = context.printer;
  const Offset start = region.cursor();
  if (region.failed()) {  // the walk never gets here without a position
    printer.scan_data(start, 0);
    return;
  }
  // This is the one place in a walk that searches for a byte pair instead of
  // walking segment lengths: entropy-coded data has no lengths, and FF D9 is
  // the only pair that ends it.
  if (region.holds(start, 2)) {
    const Offset pair = context.eoi_pairs.next_pair(region, start);
    region.seek(pair != no_position ? pair : region.end() - 1);
  }
  printer.scan_data(start, region.cursor() - start);

  const bool pair_ends_window =
      region.cursor() <= region.end() && region.end() - region.cursor() == 2;
  if (!pair_ends_window) {
    // Signed: a scan header whose length ran past the end leaves the start
    // beyond the window, and the count goes negative.
    const auto available = static_cast<std::int64_t>(region.end() - start);
    printer.finding(Channel::out, region.cursor(),
                    "  warning: memory has been available for %" PRId64 " bytes\n", available);
  }
}

}  // namespace segsniff
