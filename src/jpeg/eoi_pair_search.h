// Where is the next FF D9 pair at or after a position?
//
// The skip over compressed scan data asks this once per Start-of-Scan.  In a
// carving run thousands of candidates can ask it about the same stretch of
// a file (truncated heads followed by megabytes without an FF D9 pair), so
// the last answer is remembered: the answer is monotone in the position, and
// any later question from a position between the last start and the last
// answer has that same answer.  Each byte of a window is then searched a
// bounded number of times.
#pragma once

#include <cstdint>

#include "jpeg/byte_region.h"

namespace segsniff {

class EoiPairSearch {
 public:
  // The first p with from <= p and p+1 < region.end where the bytes p, p+1
  // are FF D9 and p >= region.begin; no_position when there is none.
  Offset next_pair(const ByteRegion& region, Offset from);

  // Bytes examined by searches so far (for tests that bound the work).
  std::uint64_t bytes_searched() const { return bytes_searched_; }

 private:
  const std::uint8_t* base_ = nullptr;
  Offset end_ = 0;
  Offset from_ = no_position;   // start of the remembered search
  Offset found_ = no_position;  // its answer (no_position: none up to end_)
  std::uint64_t bytes_searched_ = 0;
};

}  // namespace segsniff
