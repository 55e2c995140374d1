// Putting a fragmented photo back together.
//
// The photo's scan is followed from its SOI (follow_scan) until it stops
// being the photo: the library reports damage, restart markers come out of
// sequence, or a block decodes into rows far from the rows above them.  The
// photo was cut at a block boundary at or just before that block.  The
// blocks after the cut are tried in order of distance, each decoded right
// after the photo's last good bytes (try_block): blocks that cannot be scan
// data, that break the restart sequence or that belong to a photo already
// recovered are passed over without decoding; of the others the first that
// continues the rows above it about as smoothly as the photo's own rows do
// is taken, or else the best of those within reach that does so acceptably.
// From the chosen block the scan is followed again, to its EOI or the next
// cut.  A photo is complete when its last MCU is followed by its EOI and the
// whole put-together stream decodes without a warning (decode_check).
//
// Decoding never starts from the SOI again: each decode begins a little
// before the cut (after a restart marker where the scan has them, else a
// picture row and a few KiB before it, where the library finds its way into
// the MCU sequence by itself), so a search costs a few KiB of decoding per
// block tried, whatever the photo's size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jpeg/byte_region.h"
#include "jpeg/byte_runs.h"
#include "jpeg/continuation_blocks.h"
#include "jpeg/scan_follower.h"

namespace segsniff {

struct Reassembly {
  bool complete = false;
  ByteRuns runs;         // complete: the photo's runs in stream order, SOI to EOI
  Offset stopped_at = no_position;  // not complete: where its data was last followed to
  std::string why;       // not complete: why not
};

class FragmentSearch {
 public:
  // Blocks start at the photo's SOI plus multiples of `block`.
  FragmentSearch(const ByteRegion& input, std::uint64_t block, const ClaimedSpans& claims)
      : input_(input), block_(block), claims_(claims) {}

  // The scan followed straight from the SOI (header already read).
  FollowResult first_look(const PhotoScan& photo) const;

  // Puts the photo together after `first` (a broken first look).
  Reassembly reassemble(const PhotoScan& photo, const FollowResult& first) const;

  // Blocks tried by decoding, over all searches (for measurements).
  std::uint64_t blocks_tried() const { return blocks_tried_; }

 private:
  struct Cut;
  struct Retry;
  bool follow_pieces(const PhotoScan& photo, Cut& cut, std::vector<Retry>& retries,
                     std::string& why) const;
  // The block right after the cut: tried with the others, passed over, or
  // the only one tried (and taken if it decodes without damage).
  enum class Straight { try_it, skip, only };
  bool continue_after(const PhotoScan& photo, Cut& cut, Straight straight_block) const;
  bool continue_somewhere(const PhotoScan& photo, Cut& cut) const;
  DecodePlan context_for(const PhotoScan& photo, const ByteRuns& path, double bytes_per_mcu,
                         bool longer) const;
  int expected_restart(const PhotoScan& photo, const ByteRuns& path) const;

  const ByteRegion& input_;
  std::uint64_t block_;
  const ClaimedSpans& claims_;
  mutable std::uint64_t blocks_tried_ = 0;
};

}  // namespace segsniff
