#include "jpeg/continuation_blocks.h"

#include <algorithm>
#include <cstring>

namespace segsniff {

namespace {

constexpr std::uint8_t marker_rst0 = 0xD0, marker_rst7 = 0xD7, marker_eoi = 0xD9;

// Entropy-coded data holds a zero byte about once in 256 (besides those that
// follow an FF); a block with this many is unused, cleared or other data.
constexpr std::uint64_t zero_bytes_per_block_limit = 16;  // per 1 KiB

}  // namespace

// After FF only 00 (a stuffed FF), FF (fill), a restart marker in sequence
// or the end of image may follow inside a scan.
bool could_continue_scan(const ByteRegion& input, Offset at, std::uint64_t length,
                         int expected_restart) {
  const std::span<const std::uint8_t> bytes = input.bytes(at, length);
  if (bytes.empty()) return false;
  const std::uint64_t zero_limit = zero_bytes_per_block_limit * (length / 1024 + 1);
  std::uint64_t zeros = 0;
  int restart = expected_restart;
  std::uint8_t previous = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::uint8_t b = bytes[i];
    if (previous == 0xFF && b != 0x00 && b != 0xFF) {
      if (b == marker_eoi) return true;  // the rest is slack
      if (b < marker_rst0 || b > marker_rst7 || restart == no_restart_marker) return false;
      if (b - marker_rst0 != restart) return false;
      restart = (restart + 1) % 8;
    } else if (b == 0x00 && previous != 0xFF && ++zeros > zero_limit) {
      return false;
    }
    previous = b;
  }
  return true;
}

int next_restart_number(const ByteRegion& input, Offset from, Offset to) {
  if (to <= from + 1) return no_restart_marker;
  const std::span<const std::uint8_t> bytes = input.bytes(from, to - from);
  if (bytes.empty()) return no_restart_marker;
  for (std::size_t i = bytes.size() - 1; i > 0; --i)
    if (bytes[i - 1] == 0xFF && bytes[i] >= marker_rst0 && bytes[i] <= marker_rst7)
      return (bytes[i] - marker_rst0 + 1) % 8;
  return no_restart_marker;
}

void ClaimedSpans::claim(const ByteRuns& runs) {
  for (const ByteRun& run : runs) {
    if (run.length == 0) continue;
    auto at = std::lower_bound(spans_.begin(), spans_.end(), run,
                               [](const ByteRun& a, const ByteRun& b) { return a.offset < b.offset; });
    spans_.insert(at, run);
  }
}

bool ClaimedSpans::claimed(Offset at) const {
  // The last span that begins at or before `at`; spans may overlap, so the
  // few before it are looked at as well.
  auto after = std::upper_bound(spans_.begin(), spans_.end(), at,
                                [](Offset p, const ByteRun& s) { return p < s.offset; });
  for (int back = 0; back < 4 && after != spans_.begin(); ++back) {
    --after;
    if (at < after->end()) return true;
  }
  return false;
}

}  // namespace segsniff
