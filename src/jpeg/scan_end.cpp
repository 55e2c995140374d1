#include "jpeg/scan_end.h"

namespace segsniff {

namespace {

// After the last MCU the library stops at the EOI marker, with at most a
// few bytes of it in its bit buffer: an EOI further on means bytes that are
// not part of the scan.
constexpr std::uint64_t eoi_slack = 16;

// An MCU of ten blocks takes at most this many bytes (26 bits for each of
// 64 coefficients).
constexpr std::uint64_t largest_mcu_bytes = 2200;

// One past the first FF D9 pair in the stream the runs make, looking from
// `from` (in runs[index]) at most `window` bytes on; no_position when there
// is none.  Scan data holds no FF D9 pair, so the first is the scan's end.
Offset eoi_from(const ByteRegion& input, const ByteRuns& runs, std::size_t index, Offset from,
                std::uint64_t window) {
  std::uint64_t looked = 0;
  bool after_ff = false;
  for (std::size_t i = index; i < runs.size() && looked <= window; ++i) {
    const Offset start = i == index ? from : runs[i].offset;
    for (Offset p = start; p < runs[i].end() && looked <= window; ++p, ++looked) {
      const std::uint8_t b = input.byte_at(p);
      if (after_ff && b == 0xD9) return p + 1;
      after_ff = b == 0xFF;
    }
  }
  return no_position;
}

}  // namespace

std::size_t run_holding(const ByteRuns& runs, std::size_t index, Offset p) {
  for (std::size_t i = index; i < runs.size(); ++i)
    if (p >= runs[i].offset && p <= runs[i].end()) return i;
  return runs.size();
}

Offset eoi_after(const ByteRegion& input, const ByteRuns& runs, std::size_t index, Offset last) {
  if (index >= runs.size()) return no_position;
  const Offset from = last - runs[index].offset > eoi_slack ? last - eoi_slack : runs[index].offset;
  return eoi_from(input, runs, index, from, 2 * eoi_slack);
}

Offset eoi_met(const ByteRegion& input, const ByteRuns& runs, Offset at) {
  const std::size_t index = run_holding(runs, 1, at);
  if (index >= runs.size()) return no_position;
  const Offset from =
      at - runs[index].offset > largest_mcu_bytes ? at - largest_mcu_bytes : runs[index].offset;
  return eoi_from(input, runs, index, from, 2 * largest_mcu_bytes);
}

}  // namespace segsniff
