#include "jpeg/eoi_pair_search.h"

#include <cstring>

namespace segsniff {

Offset EoiPairSearch::next_pair(const ByteRegion& region, Offset from) {
  if (!region.contains(from) || region.end - from < 2) return no_position;

  const bool same_window = base_ == region.base && end_ == region.end;
  if (same_window && from_ != no_position && from >= from_ &&
      (found_ == no_position || from <= found_))
    return found_;

  // memchr finds the candidate 0xFF bytes at memory speed; only they are
  // looked at one by one.
  std::span<const std::uint8_t> window = region.bytes(from, region.end - from);
  const std::uint8_t* start = window.data();
  const std::uint8_t* last = start + window.size() - 1;  // a pair must start before it
  const std::uint8_t* p = start;
  Offset answer = no_position;
  while (p < last) {
    const void* hit = std::memchr(p, 0xFF, static_cast<std::size_t>(last - p));
    if (hit == nullptr) {
      p = last;
      break;
    }
    p = static_cast<const std::uint8_t*>(hit);
    if (p[1] == 0xD9) {
      answer = from + static_cast<Offset>(p - start);
      break;
    }
    ++p;
  }
  bytes_searched_ += static_cast<std::uint64_t>(p - start) + 1;

  if (region.begin <= from) {  // the answer holds for any window with this base and end
    base_ = region.base;
    end_ = region.end;
    from_ = from;
    found_ = answer;
  }
  return answer;
}

}  // namespace segsniff
