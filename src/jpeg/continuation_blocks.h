// Which blocks of the input may hold the next piece of a photo's scan.
//
// A block is passed over when its bytes cannot be entropy-coded data (a
// marker other than a restart marker or the end of image, the start of
// another stream, long runs of zero bytes as in unused or cleared space),
// when its restart markers are out of sequence, or when it belongs to a
// photo already recovered (ClaimedSpans).  The search decodes only the
// blocks that pass.
#pragma once

#include <cstdint>
#include <vector>

#include "jpeg/byte_region.h"
#include "jpeg/byte_runs.h"

namespace segsniff {

inline constexpr int no_restart_marker = -1;

// Whether the `length` bytes from `at` can continue a scan.  With
// `expected_restart` 0..7 the first restart marker in the block must carry
// that number and each later one the next (no_restart_marker: the scan has
// no restart markers, and none may appear).  `after_prefix`: the scan's
// bytes before the block end in FF, so that the block's first byte is the
// second byte of a marker.  Bytes after an end-of-image marker are slack
// and are not looked at.
bool could_continue_scan(const ByteRegion& input, Offset at, std::uint64_t length,
                         int expected_restart, bool after_prefix = false);

// The restart number that follows the last restart marker in input[from,
// to), scanned backwards from `to`; no_restart_marker when there is none.
int next_restart_number(const ByteRegion& input, Offset from, Offset to);

// Byte spans owned by photos already put together; kept sorted.
class ClaimedSpans {
 public:
  void claim(const ByteRuns& runs);
  bool claimed(Offset at) const;

 private:
  std::vector<ByteRun> spans_;
};

}  // namespace segsniff
