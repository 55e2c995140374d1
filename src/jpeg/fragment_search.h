// Putting a fragmented photo back together.
//
// The photo's scan is followed from its SOI block by block (ScanWalker)
// until a block stops being the photo's: the library reports damage, an EOI
// comes before the last MCU, or the block decodes into rows far from the
// rows above them.  The photo was cut at the start of that block, or a
// block or so earlier (foreign bytes may decode smoothly for a while).  At
// each such place the blocks after it are tried in order of distance, each
// decoded from the decoder's state at the place (kept when the walk passed
// it): blocks that cannot be scan data, that break the restart sequence or
// that belong to a photo already recovered are passed over without
// decoding; of the others, the one whose rows continue the rows above them
// most smoothly is taken, if it does so about as well as the photo's own
// rows do.  From there the scan is followed again, to its EOI or the next
// cut.  A photo is complete when its last MCU is followed by its EOI and
// the whole put-together stream decodes without a warning (decode_check).
//
// The decoder is never started again for a trial: the state at a place is
// put back and only the block tried is decoded, so a search costs a few KiB
// of decoding per block tried, whatever the photo's size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jpeg/byte_region.h"
#include "jpeg/byte_runs.h"
#include "jpeg/continuation_blocks.h"
#include "jpeg/scan_walker.h"
#include "jpeg/search_log.h"

namespace segsniff {

struct Reassembly {
  bool complete = false;
  ByteRuns runs;         // complete: the photo's runs in stream order, SOI to EOI
  Offset stopped_at = no_position;  // not complete: where its data was last followed to
  std::string why;       // not complete: why not
};

// How the scan followed straight from the SOI ended.
struct FirstLook {
  enum class Kind {
    complete,     // the scan ended with its last MCU and an EOI follows
    broken,       // a block after the first stopped being the photo's
    first_block,  // the data stopped in the block where the scan begins
    failed,       // the library gave up, or the input ended
  };
  Kind kind = Kind::failed;
  Offset eoi_end = no_position;     // complete: one past the FF D9
  Offset stopped_at = no_position;  // broken: the start of the block that stopped it
};

class FragmentSearch {
 public:
  // Blocks start at the photo's SOI plus multiples of `block`.
  FragmentSearch(const ByteRegion& input, std::uint64_t block, const ClaimedSpans& claims)
      : input_(input), block_(block), claims_(claims) {}

  // The scan followed straight from the SOI.
  FirstLook first_look(const PhotoScan& photo) const;

  // Puts the photo together (its first look was broken).
  Reassembly reassemble(const PhotoScan& photo) const;

  // Records every search of later calls to reassemble() in `log` (nullptr:
  // none).
  void keep_log(SearchLog* log) { log_ = log; }

 private:
  // A place where the photo's data may have been cut.
  struct Cut {
    ByteRuns path;            // the photo up to the cut, SOI first
    ScanWalker::State state;  // the decoder there
    double ratio = 0;         // suspects: how far the block after the cut rose above the level
    bool stop = false;        // where a piece stopped: the block after it may be taken straight on
  };

  // How following the photo from some block on ended.
  struct Followed {
    enum class End { complete, stopped, failed };
    End end = End::failed;
    ByteRuns path;              // complete: the photo; else as far as it was followed
    std::vector<Cut> places;    // stopped: where the data may have been cut, most likely first
    std::vector<Cut> suspects;  // blocks passed that rose above the level, strongest first
  };

  // What has been spent on one photo.
  struct Budget {
    int trials = 0;    // blocks decoded for this photo
    int pieces = 1;    // pieces followed (and steps straight through a stop)
    int straight = 0;  // steps straight through a stop
  };

  Followed follow(ScanWalker& walker, const ByteRuns& path, Offset next, bool keep_states) const;
  // continuation_search.cpp
  std::vector<Offset> search_after(const PhotoScan& photo, ScanWalker& walker, const Cut& cut,
                                   Budget& budget) const;
  int expected_restart(const PhotoScan& photo, const ByteRuns& path) const;
  SearchLog::Search* log_search(Offset cut, double level) const;
  static SearchLog::Trial logged_trial(Offset block, const BlockVerdict& verdict);
  bool continue_from(const Cut& cut, ScanWalker& walker, Offset chosen, Followed& followed) const;
  bool continue_through(const Cut& cut, ScanWalker& walker, const std::vector<Offset>& blocks,
                        Followed& followed) const;
  bool go_on(const PhotoScan& photo, ScanWalker& walker, Followed& followed, Budget& budget) const;
  bool follow_pieces(const PhotoScan& photo, ScanWalker& walker, Followed& followed,
                     std::vector<Cut>& retries, Budget& budget, std::string& why) const;

  const ByteRegion& input_;
  std::uint64_t block_;
  const ClaimedSpans& claims_;
  SearchLog* log_ = nullptr;
};

}  // namespace segsniff
