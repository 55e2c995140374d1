#include "jpeg/scan_end.h"

#include <array>

namespace segsniff {

namespace {

constexpr std::uint8_t marker_prefix = 0xFF, marker_eoi = 0xD9;

// The input offsets of the stream bytes `back` bytes before and `ahead`
// after `at` (along the runs), no_position where the runs do not reach.
struct Around {
  std::array<Offset, 4> at{no_position, no_position, no_position, no_position};  // -2, -1, 0, +1
};

Around around(const ByteRuns& runs, Offset at) {
  Around out;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const ByteRun& run = runs[i];
    if (at < run.offset || at > run.end()) continue;
    // Two bytes back, along this run and the ones before it.
    Offset p = at;
    std::size_t r = i;
    for (int k = 1; k >= 0; --k) {
      if (p == runs[r].offset) {
        if (r == 0) break;
        --r;
        p = runs[r].end();
      }
      out.at[static_cast<std::size_t>(k)] = --p;
    }
    // Two bytes on.
    p = at;
    r = i;
    for (std::size_t k = 2; k < 4; ++k) {
      if (p == runs[r].end()) {
        if (r + 1 == runs.size()) break;
        ++r;
        p = runs[r].offset;
      }
      out.at[k] = p++;
    }
    break;
  }
  return out;
}

}  // namespace

Offset eoi_at(const ByteRegion& input, const ByteRuns& runs, Offset at) {
  const Around a = around(runs, at);
  auto is = [&input](Offset p, std::uint8_t value) { return p != no_position && input.byte_at(p) == value; };
  if (is(a.at[0], marker_prefix) && is(a.at[1], marker_eoi)) return a.at[1] + 1;
  if (is(a.at[2], marker_prefix) && is(a.at[3], marker_eoi)) return a.at[3] + 1;
  return no_position;
}

}  // namespace segsniff
