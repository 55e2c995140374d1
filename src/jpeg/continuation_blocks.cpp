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
// or the end of image may follow inside a scan.  The markers are found with
// memchr and the zero bytes counted apart: most blocks tried are someone's
// scan data, where FF is rare.
bool could_continue_scan(const ByteRegion& input, Offset at, std::uint64_t length,
                         int expected_restart, bool after_prefix) {
  const std::span<const std::uint8_t> bytes = input.bytes(at, length);
  if (bytes.empty()) return false;
  const std::uint8_t* const begin = bytes.data();
  const std::uint8_t* end = begin + bytes.size();
  std::uint64_t stuffed = 0;  // zero bytes that follow an FF
  int restart = expected_restart;
  // What follows an FF: false when it cannot be inside the scan; `end`
  // moves to the end of an EOI marker (the rest is slack).
  auto after_ff = [&](const std::uint8_t* p) {
    const std::uint8_t b = *p;
    if (b == 0x00) {
      ++stuffed;
    } else if (b == marker_eoi) {
      end = p + 1;
    } else if (b != 0xFF) {
      if (b < marker_rst0 || b > marker_rst7 || restart == no_restart_marker) return false;
      if (b - marker_rst0 != restart) return false;
      restart = (restart + 1) % 8;
    }
    return true;
  };
  // The scan's bytes before the block end in FF: the block's first byte
  // completes that marker.
  if (after_prefix && !after_ff(begin)) return false;
  for (const std::uint8_t* p = after_prefix && end > begin + 1 && *begin != 0xFF ? begin + 1 : begin;
       p + 1 < end; ++p) {
    p = static_cast<const std::uint8_t*>(std::memchr(p, 0xFF, static_cast<std::size_t>(end - 1 - p)));
    if (p == nullptr) break;
    if (!after_ff(p + 1)) return false;
  }
  const std::uint64_t zero_limit = zero_bytes_per_block_limit * (length / 1024 + 1);
  const auto zeros = static_cast<std::uint64_t>(std::count(begin, end, std::uint8_t{0}));
  return zeros - std::min(zeros, stuffed) <= zero_limit;
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
