#include "jpeg/walk_budget.h"

#include <algorithm>

namespace segsniff {

void WalkBudget::start_image() {
  earned_bytes_ = 0;
  bytes_reached_again_ = 0;
  entries_taken_ = 0;
  stream_bytes_taken_ = 0;
  streams_taken_ = 0;
}

// Segments of one walk follow each other, and the candidates of a carving
// run start in increasing order, so one mark says which bytes have earned:
// everything before it.  (Bytes before the mark that no walk reached count
// as earned too; that errs on the side of printing less.)
void WalkBudget::earn(Offset from, Offset to) {
  if (to <= from) return;
  const Offset fresh_from = std::max(from, earned_to_);
  const std::uint64_t fresh = to > fresh_from ? to - fresh_from : 0;
  earned_bytes_ += fresh;
  bytes_reached_again_ += (to - from) - fresh;
  earned_to_ = std::max(earned_to_, to);
}

// The reserve is drawn on only when something is to be spent, so walks that
// pass a structure again without dumping it leave the reserve to others.
bool WalkBudget::draw(std::uint64_t bytes) {
  const std::uint64_t drawn = std::min({bytes, bytes_reached_again_, reserve_bytes_});
  bytes_reached_again_ -= drawn;
  reserve_bytes_ -= drawn;
  earned_bytes_ += drawn;
  return drawn == bytes;
}

// Counts and sizes are sums of sizes within the input: they cannot wrap.
bool WalkBudget::entry_left() {
  const std::uint64_t wanted = (entries_taken_ + 1) * segment_bytes_per_entry;
  return wanted <= earned_bytes_ || draw(wanted - earned_bytes_);
}

bool WalkBudget::take_entry() {
  if (!entry_left()) return false;
  ++entries_taken_;
  return true;
}

WalkBudget::Stream WalkBudget::take_stream(std::uint64_t bytes) {
  if (streams_taken_ >= max_embedded_walks) return Stream::too_many;
  const std::uint64_t wanted = stream_bytes_taken_ + bytes;
  if (wanted > stream_bytes_allowed()) {
    const std::uint64_t missing = wanted - stream_bytes_allowed();
    if (!draw((missing + stream_bytes_per_segment_byte - 1) / stream_bytes_per_segment_byte))
      return Stream::too_large;
  }
  stream_bytes_taken_ = wanted;
  ++streams_taken_;
  return Stream::allowed;
}

}  // namespace segsniff
