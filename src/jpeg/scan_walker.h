// Following one photo's scan through the input block by block, from its
// first MCU, and telling how each block continues the picture.
//
// The walker decodes the photo's header and the scan data in its first
// block, then each block it is fed as the next bytes of the scan
// (McuRowDecoder stops where the bytes fed so far end, and goes on when
// more come).  The rows of MCUs that end in a block are compared with the
// picture row above them (SeamTracker); their mean seam against the
// photo's level says whether the block goes on with the photo.  Photos
// change slowly from one row of blocks to the next; bytes that are not the
// photo's continuation decode into rows tens of levels away from the rows
// above them, into damage the library reports (a bad code, a restart
// marker out of sequence), or into an EOI before the last MCU.
//
// The decoding always runs on from the scan's start, so at a block boundary
// the decoder is exactly where the photo's own decoder would be: its MCU
// count, DC predictors and restart numbers are the photo's.  The state at
// any boundary can be kept (save) and gone back to (restore); the fragment
// search tries each candidate block from the state at the cut.
#pragma once

#include <cstdint>
#include <limits>

#include "jpeg/byte_region.h"
#include "jpeg/byte_runs.h"
#include "jpeg/frame_header.h"
#include "jpeg/mcu_row_decoder.h"
#include "jpeg/seam_tracker.h"

namespace segsniff {

// The photo a search is about.
struct PhotoScan {
  const ByteRegion* input = nullptr;
  FrameHeader header;
  Offset soi = 0;
  std::uint64_t block = 0;  // blocks start at soi + n * block

  Offset block_start(Offset p) const;
  // The end of the block that holds the first byte of scan data: the
  // header and the scan's first bytes are taken to lie in one piece up to it.
  Offset first_boundary() const;
};

// Seam levels are compared as ratios of (level + seam_floor): the floor
// keeps a flat sky's level of a fraction of a level from making every
// ripple a cut.
inline constexpr double seam_floor = 3.0;
bool above_level(double mean, double level, double ratio);
double ratio_to_level(double mean, double level);

// What the rows of one block fed to the walker showed.
struct BlockVerdict {
  enum class Kind {
    good,       // its rows continue the picture (or are too few to judge)
    suspect,    // its rows rose above the level, not far enough to say
    bad,        // its rows lie far above the level
    damaged,    // the library saw damage in it
    cut_short,  // an EOI came before the scan's last MCU
    complete,   // the scan's last MCU was decoded and its EOI follows
    failed,     // the library gave up
  };
  Kind kind = Kind::failed;
  int rows = 0;      // rows that ended in the block and had a row above them
  double score = 0;  // their mean seam
  double peak = 0;   // the highest their running mean rose, from the sixth row on
  bool first_row = false;  // all of them lay in the first picture row (seams to the left)
  double ratio = 0;  // judged blocks: (score + floor) / (level + floor)
  Offset damage_at = no_position;  // damaged: where the library first saw it
  Offset eoi_end = no_position;    // complete: one past the FF D9
  bool gave_up = false;  // stopped early, its first rows far above the level
};

class ScanWalker {
 public:
  explicit ScanWalker(const PhotoScan& photo);

  // Decodes the header and the scan data up to photo.first_boundary().
  BlockVerdict start();

  // How a block's rows count: judged against the level; or taken as the
  // photo's (a block a trial already judged, or one gone through straight).
  enum class Judging { judged, trusted };
  static constexpr double no_limit = std::numeric_limits<double>::infinity();
  // Decodes `block` as the next bytes of the scan.  With a finite
  // `give_up_above` (a trial), decoding stops once the block's first rows
  // lie far above the level or their mean above that bound.
  BlockVerdict feed(ByteRun block, Judging judging = Judging::judged,
                    double give_up_above = no_limit);

  double level() const { return level_; }  // negative until the first rows set it
  std::uint32_t mcus_done() const { return decoder_.mcus_done(); }
  std::uint32_t total_mcus() const { return decoder_.total_mcus(); }

  struct State {
    McuRowDecoderState decoder;
    SeamTracker seams{1};
    double level = -1;
    int level_rows = 0;
    ByteRun last_block;
  };
  void save(State& state) const;
  void restore(const State& state);

 private:
  BlockVerdict take_rows(ByteRun block, Judging judging, double give_up_above);
  void judge(const BlockTally& tally, Judging judging, BlockVerdict& verdict);

  const PhotoScan& photo_;
  McuRowDecoder decoder_;
  SeamTracker seams_;
  double level_ = -1;
  int level_rows_ = 0;     // rows the level rests on
  ByteRun last_block_;     // the bytes fed last
};

}  // namespace segsniff
