// Byte runs: a stream that is not one contiguous stretch of the input (a
// photo whose clusters lie apart on a card) is described by the runs it is
// made of, in stream order, each an offset and a length in the input.
#pragma once

#include <cstdint>
#include <vector>

#include "jpeg/byte_region.h"

namespace segsniff {

struct ByteRun {
  Offset offset = 0;          // first byte, counted from the start of the input
  std::uint64_t length = 0;   // bytes in the run
  Offset end() const { return offset + length; }
  bool operator==(const ByteRun&) const = default;
};

using ByteRuns = std::vector<ByteRun>;

inline std::uint64_t total_length(const ByteRuns& runs) {
  std::uint64_t n = 0;
  for (const ByteRun& run : runs) n += run.length;
  return n;
}

// Appends a run, merging it into the last one when it follows on directly.
inline void append_run(ByteRuns& runs, ByteRun run) {
  if (run.length == 0) return;
  if (!runs.empty() && runs.back().end() == run.offset) {
    runs.back().length += run.length;
    return;
  }
  runs.push_back(run);
}

}  // namespace segsniff
