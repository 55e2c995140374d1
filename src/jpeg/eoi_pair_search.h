// Where is the next FF D9 pair at or after a position?
//
// The skip over compressed scan data asks this once per Start-of-Scan.  In a
// carving run thousands of candidates can ask it about the same stretch of
// a file (truncated heads followed by megabytes without an FF D9 pair), so
// what the searches found is remembered: the answer is monotone in the
// position, and a stretch once found free of pairs stays free whatever
// window a later question comes in.  The memo is kept in offsets of the
// input, not per window, so a nested walk over a small window (an Exif
// thumbnail) between two questions of a carving walk neither forgets it nor
// rescans it; a question just before or just after the remembered stretch
// searches only the bytes the memo does not cover.  Each byte of a window is
// then searched a bounded number of times.
#pragma once

#include <cstdint>

#include "jpeg/byte_region.h"

namespace segsniff {

class EoiPairSearch {
 public:
  // The first p with from <= p and p+1 < region.end() where the bytes p,
  // p+1 are FF D9 and p >= region.begin(); no_position when there is none.
  Offset next_pair(const ByteRegion& region, Offset from);

  // Bytes examined by searches so far (for tests that bound the work).
  std::uint64_t bytes_searched() const { return bytes_searched_; }

 private:
  // The first pair starting in [from, to) (to <= region.end() - 1), searched.
  Offset search(const ByteRegion& region, Offset from, Offset to);
  void remember(const ByteRegion& region, Offset from, Offset known_to, Offset found);

  // What the searches established about the input input_: no pair starts
  // in [from_, known_to_); when found_ is not no_position, one starts at
  // found_ (== known_to_).  from_ == no_position: nothing known.
  const void* input_ = nullptr;
  Offset from_ = no_position;
  Offset known_to_ = no_position;
  Offset found_ = no_position;
  std::uint64_t bytes_searched_ = 0;
};

}  // namespace segsniff
