#include "jpeg/eoi_pair_search.h"

namespace segsniff {

Offset EoiPairSearch::search(const ByteRegion& region, Offset from, Offset to) {
  if (from >= to) return no_position;
  const Offset answer = find_byte_pair(region, from, to, 0xFF, 0xD9);
  // The search looked at every byte up to the pair's second, or up to the
  // byte after the last possible start.
  bytes_searched_ += (answer != no_position ? answer : to) - from + 1;
  return answer;
}

void EoiPairSearch::remember(const ByteRegion& region, Offset from, Offset known_to,
                             Offset found) {
  input_ = region.input_id();
  from_ = from;
  known_to_ = known_to;
  found_ = found;
}

Offset EoiPairSearch::next_pair(const ByteRegion& region, Offset from) {
  if (!region.contains(from) || region.end() - from < 2) return no_position;
  const Offset stop = region.end() - 1;  // pairs start before it

  // Nothing known that touches [from, ...): search afresh.
  if (input_ != region.input_id() || from_ == no_position || from > known_to_) {
    Offset answer = search(region, from, stop);
    remember(region, from, answer != no_position ? answer : stop, answer);
    return answer;
  }

  // Before the remembered stretch: search up to it, then go on with it.
  if (from < from_) {
    const Offset to = from_ < stop ? from_ : stop;
    Offset answer = search(region, from, to);
    if (answer != no_position) {
      remember(region, from, answer, answer);
      return answer;
    }
    if (to < from_) return no_position;  // the window ends before the stretch
    from_ = from;                          // [from, from_) is free too
  }

  // Inside the remembered stretch.
  if (found_ != no_position) return found_ < stop ? found_ : no_position;
  if (known_to_ >= stop) return no_position;
  // Free up to known_to_, unknown after: search only the rest of the window.
  Offset answer = search(region, known_to_, stop);
  known_to_ = answer != no_position ? answer : stop;
  found_ = answer;
  return answer;
}

}  // namespace segsniff
