// Following one photo's scan through given byte runs, block by block, and
// telling where it stops being that photo.
//
// A decode is planned as byte runs: the header (SOI up to the scan data),
// then pieces of scan data.  The data need not start at the beginning of
// the scan: a decode may start a little before the place in question (at
// a restart marker, or anywhere, in which case the library finds its way
// into the MCU sequence within a few MCUs).  Rows decoded from the bytes
// before the judged run are context: they fill the picture row above the
// judged rows and set the seam level of this photo.  From there on,
// every block of the input is judged by the mean seam of the rows that end
// in it (SeamTracker); a block far above the photo's level, or damage the
// library reports, ends the photo's data there.
#pragma once

#include <cstdint>
#include <vector>

#include "jpeg/byte_region.h"
#include "jpeg/byte_runs.h"
#include "jpeg/frame_header.h"

namespace segsniff {

// Seam levels are compared as ratios of (level + seam_floor).
inline constexpr double seam_floor = 3.0;
bool above_level(double mean, double level, double ratio);

// The photo a search is about.
struct PhotoScan {
  const ByteRegion* input = nullptr;
  FrameHeader header;
  Offset soi = 0;
  std::uint64_t block = 0;  // blocks start at soi + n * block

  Offset block_start(Offset p) const;
  ByteRun header_run() const { return {soi, header.data_at - soi}; }
};

// The runs of one decode: the header run, then scan data from a place where
// decoding can start, with the restart shift of that place (see
// McuRowDecoder).
struct DecodePlan {
  ByteRuns runs;
  int restart_shift = 0;
  // The data starts at the beginning of the scan: the MCU count is exact,
  // and an EOI marker before the last MCU means the photo's data stopped.
  bool from_scan_start = false;
};

// A block that rose above the photo's level without settling that the
// photo's data stops there: a strong edge in the picture does the same.
struct SuspectBlock {
  Offset block = no_position;
  double ratio = 0;  // (mean seam + floor) / (level + floor)
};

struct FollowResult {
  enum class Kind {
    complete,  // the scan ended with the last MCU and an EOI marker follows
    broken,    // the photo's data stops in or before block `suspect`
    unsynced,  // the context never decoded as this photo: start further back
    failed,    // the library gave up, or the runs ended
  };
  Kind kind = Kind::failed;
  Offset eoi_end = no_position;  // complete: one past the FF D9
  Offset suspect = no_position;  // broken: start of the first block judged bad
  double level = 0;              // seam level of the rows judged good
  double bytes_per_mcu = 0;      // of the data decoded, for planning later decodes
  std::vector<SuspectBlock> suspects;  // passed on the way, the strongest few
  bool damage_near_block_end = false;  // broken by damage seen near the end of `suspect`
};

// Decodes `runs` (header run first) to the end of the scan or the first bad
// block; rows from runs[judged_run] on are judged, those before are
// context; blocks that start before `trusted_until` are taken as the
// photo's without being judged.  `level` is the photo's seam level so far
// (negative: take it from the context, or from the first block).
FollowResult follow_scan(const PhotoScan& photo, const DecodePlan& plan, std::size_t judged_run,
                         double level, Offset trusted_until = 0);

struct TrialResult {
  bool usable = false;    // decoded without damage in the block
  bool synced = false;    // the context decoded as this photo
  double score = 0;       // mean seam of the rows decoded from the block
  int rows = 0;           // rows that gave a seam
  bool completes = false; // the scan ends inside the block, with its EOI
  double context_level = -1;  // mean seam of the settled context rows
};

// Decodes `context` (header run first, ending at the place to be continued)
// followed by the block at `at`, and scores how the block continues it.
TrialResult try_block(const PhotoScan& photo, const DecodePlan& context, Offset at,
                      std::uint64_t length, double level);

}  // namespace segsniff
