#include "jpeg/scan_walker.h"

#include <algorithm>

#include "jpeg/scan_end.h"

namespace segsniff {

namespace {

// A block whose rows' mean seam is this many times the photo's level (both
// plus seam_floor) is not the photo's: on the sample cards 99.6 % of the
// blocks of a photo stay below it, and 90 % of the blocks decoded from
// foreign data right after a cut lie above it; foreign rows land at five to
// fifty times the level.  Between this and the strong ratio a block is a
// suspect (a strong edge in the picture does the same).
constexpr double bad_block_ratio = 2.0;

// Above this many times the level a block ends the photo's data: no block
// of a photo on the sample cards rose so high, two thirds of the blocks
// right after a cut do.
constexpr double strong_block_ratio = 4.0;

// Weight of each good block in the running level.
constexpr double level_weight = 0.3;

// A level taken from fewer seam rows than this judges nothing yet: the
// first rows of a photo are too few to say what is unusual for it.
constexpr int rows_for_level = 12;

// A block with fewer rows than this (a last block may hold only the scan's
// last rows) is not judged.
constexpr int min_rows_to_judge = 2;

// A trial stops decoding its block once this many rows lie this far above
// the level: no block that far off is taken.
constexpr int rows_to_give_up = 6;
constexpr double hopeless_ratio = 6.0;

}  // namespace

bool above_level(double mean, double level, double ratio) {
  return mean + seam_floor > ratio * (level + seam_floor);
}

double ratio_to_level(double mean, double level) {
  return (mean + seam_floor) / (level + seam_floor);
}

Offset PhotoScan::block_start(Offset p) const {
  const Offset phase = soi % block;
  return p - (p + block - phase) % block;
}

Offset PhotoScan::first_boundary() const {
  return std::min(block_start(header.data_at) + block, input->end());
}

ScanWalker::ScanWalker(const PhotoScan& photo)
    : photo_(photo),
      decoder_(*photo.input, photo.header, {photo.soi, photo.first_boundary() - photo.soi}),
      seams_(photo.header.mcus_per_row()),
      last_block_{photo.soi, photo.first_boundary() - photo.soi} {}

BlockVerdict ScanWalker::start() {
  if (!decoder_.start()) return {};
  return take_rows(last_block_, Judging::judged, no_limit);
}

BlockVerdict ScanWalker::feed(ByteRun block, Judging judging, double give_up_above) {
  decoder_.feed(block);
  BlockVerdict verdict = take_rows(block, judging, give_up_above);
  last_block_ = block;
  return verdict;
}

// Decodes the rows the bytes fed allow and judges those that ended in them.
BlockVerdict ScanWalker::take_rows(ByteRun block, Judging judging, double give_up_above) {
  BlockVerdict verdict;
  const int damage_before = decoder_.damage_warnings();
  BlockTally tally;
  bool row_above = false;  // a row with a row above it ended in the block
  while (decoder_.next_row()) {
    if (decoder_.met_eoi_at() != no_position) {
      verdict.kind = BlockVerdict::Kind::cut_short;
      return verdict;
    }
    tally.add(seams_.add_row(decoder_));
    row_above = row_above || !seams_.in_first_row();
    if (decoder_.damage_warnings() > damage_before) break;
    if (decoder_.mcus_done() >= decoder_.total_mcus()) {
      // After the last MCU the library stands at the EOI marker.
      verdict.eoi_end = eoi_at(*photo_.input, {last_block_, block}, decoder_.position());
      verdict.kind = verdict.eoi_end != no_position ? BlockVerdict::Kind::complete
                                                    : BlockVerdict::Kind::bad;
      verdict.rows = tally.rows;
      verdict.score = tally.mean();
      if (tally.rows < rows_to_give_up) verdict.peak = verdict.score;
      verdict.first_row = !row_above;
      return verdict;
    }
    if (tally.rows >= rows_to_give_up) verdict.peak = std::max(verdict.peak, tally.mean());
    if (tally.rows >= rows_to_give_up && level_ >= 0 &&
        (above_level(tally.mean(), level_, hopeless_ratio) || tally.mean() > give_up_above)) {
      verdict.gave_up = true;
      break;
    }
  }
  if (decoder_.failed()) return verdict;
  if (decoder_.damage_warnings() > damage_before) {
    verdict.kind = BlockVerdict::Kind::damaged;
    verdict.damage_at = decoder_.first_damage_at();
    return verdict;
  }
  if (decoder_.skipping_to_marker()) {
    verdict.kind = BlockVerdict::Kind::damaged;
    return verdict;
  }
  if (decoder_.met_eoi_at() != no_position) {
    verdict.kind = BlockVerdict::Kind::cut_short;
    return verdict;
  }
  verdict.kind = BlockVerdict::Kind::good;
  verdict.rows = tally.rows;
  verdict.score = tally.mean();
  if (tally.rows < rows_to_give_up) verdict.peak = verdict.score;
  verdict.first_row = !row_above;
  judge(tally, judging, verdict);
  return verdict;
}

// A block that decoded without fault: its rows against the level, which
// they then move.
void ScanWalker::judge(const BlockTally& tally, Judging judging, BlockVerdict& verdict) {
  // Too few rows to judge; or a block taken as the photo's, which may lie
  // across a strong edge in the picture: the level stays.
  if (tally.rows < min_rows_to_judge || judging == Judging::trusted) return;
  if (level_ >= 0 && level_rows_ >= rows_for_level) {
    verdict.ratio = ratio_to_level(verdict.score, level_);
    if (above_level(verdict.score, level_, strong_block_ratio)) {
      verdict.kind = BlockVerdict::Kind::bad;
      return;
    }
    if (above_level(verdict.score, level_, bad_block_ratio)) {
      verdict.kind = BlockVerdict::Kind::suspect;
      return;
    }
    level_ = (1 - level_weight) * level_ + level_weight * verdict.score;
  } else {
    // The photo's first rows: the level is their mean.
    level_ = (std::max(level_, 0.0) * level_rows_ + tally.sum) / (level_rows_ + tally.rows);
  }
  level_rows_ += tally.rows;
}

void ScanWalker::save(State& state) const {
  decoder_.save(state.decoder);
  state.seams = seams_;
  state.level = level_;
  state.level_rows = level_rows_;
  state.last_block = last_block_;
}

void ScanWalker::restore(const State& state) {
  decoder_.restore(state.decoder);
  seams_ = state.seams;
  level_ = state.level;
  level_rows_ = state.level_rows;
  last_block_ = state.last_block;
}

}  // namespace segsniff
