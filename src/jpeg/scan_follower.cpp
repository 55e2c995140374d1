#include "jpeg/scan_follower.h"

#include <algorithm>

#include "jpeg/mcu_row_decoder.h"
#include "jpeg/seam_tracker.h"

namespace segsniff {

namespace {

// A block whose rows' mean seam is this many times the photo's level (both
// plus seam_floor) is not the photo's: on the sample cards 99.6 % of the
// blocks of a photo stay below it, and 90 % of the blocks decoded from
// foreign data right after a cut lie above it (most of the rest one block
// later); foreign rows land at five to fifty times the level.  The floor
// keeps a flat sky's level of a fraction of a level from making every
// ripple a cut.
constexpr double bad_block_ratio = 2.0;

// Above this many times the level a block ends the photo's data at once: no
// block of a photo on the sample cards rose so high, two thirds of the
// blocks right after a cut do.  Between the two ratios a block is a suspect.
constexpr double strong_block_ratio = 4.0;
constexpr std::size_t suspects_kept = 4;

// Context that decodes this far above the level has not found its way into
// the photo's MCU sequence.
constexpr double unsynced_ratio = 3.0;

// Weight of each good block in the running level.
constexpr double level_weight = 0.3;

// After the last MCU the library stops at the EOI marker, with at most a
// few bytes of it in its bit buffer: an EOI further on means bytes that are
// not part of the scan.
constexpr std::uint64_t eoi_slack = 16;

// A level taken from fewer seam rows than this judges nothing yet: the
// first rows of a photo are too few to say what is unusual for it.
constexpr int rows_for_level = 12;

// A trial stops decoding its block once this many rows lie this far above
// the level: no block that far off is taken.
constexpr int rows_to_give_up = 6;
constexpr double hopeless_ratio = 6.0;

// An MCU of ten blocks takes at most this many bytes (26 bits for each of
// 64 coefficients).
constexpr std::uint64_t largest_mcu_bytes = 2200;

// A last block may hold only the scan's last rows; fewer rows than this
// leave it unjudged.
constexpr int min_rows_to_judge = 2;

}  // namespace

bool above_level(double mean, double level, double ratio) {
  return mean + seam_floor > ratio * (level + seam_floor);
}

namespace {

// Where run `index` holds p (searching on from `index`), or runs.size().
std::size_t run_holding(const ByteRuns& runs, std::size_t index, Offset p) {
  for (std::size_t i = index; i < runs.size(); ++i)
    if (p >= runs[i].offset && p <= runs[i].end()) return i;
  return runs.size();
}

// One past the first FF D9 pair in the stream the runs make, looking from
// `from` (in runs[index]) at most `window` bytes on; no_position when there
// is none.  Scan data holds no FF D9 pair, so the first is the scan's end.
Offset eoi_from(const ByteRegion& input, const ByteRuns& runs, std::size_t index, Offset from,
                std::uint64_t window) {
  std::uint64_t looked = 0;
  bool after_ff = false;
  for (std::size_t i = index; i < runs.size() && looked <= window; ++i) {
    const Offset start = i == index ? from : runs[i].offset;
    for (Offset p = start; p < runs[i].end() && looked <= window; ++p, ++looked) {
      const std::uint8_t b = input.byte_at(p);
      if (after_ff && b == 0xD9) return p + 1;
      after_ff = b == 0xFF;
    }
  }
  return no_position;
}

// The end of the scan whose last MCU the library read up to `last` (in
// runs[index]): after the last MCU it stops at the EOI marker, with at most
// a few bytes of it in its bit buffer.
Offset eoi_after(const ByteRegion& input, const ByteRuns& runs, std::size_t index, Offset last) {
  if (index >= runs.size()) return no_position;
  const Offset from = last - runs[index].offset > eoi_slack ? last - eoi_slack : runs[index].offset;
  return eoi_from(input, runs, index, from, 2 * eoi_slack);
}

// The end of the scan whose data ran into the EOI marker while the library
// stood at `at` (it may have read the marker already, or be up to an MCU
// before it).
Offset eoi_met(const ByteRegion& input, const ByteRuns& runs, Offset at) {
  const std::size_t index = run_holding(runs, 1, at);
  if (index >= runs.size()) return no_position;
  const Offset from =
      at - runs[index].offset > largest_mcu_bytes ? at - largest_mcu_bytes : runs[index].offset;
  return eoi_from(input, runs, index, from, 2 * largest_mcu_bytes);
}

// Mean seam of the rows ending in one block.
struct BlockTally {
  Offset block = no_position;
  double sum = 0;
  int rows = 0;
  void add(double seam) {
    if (seam < 0) return;
    sum += seam;
    ++rows;
  }
  double mean() const { return rows == 0 ? 0 : sum / rows; }
};

double ratio_to(double mean, double level) { return (mean + seam_floor) / (level + seam_floor); }

// Keeps the strongest few suspects.
void note_suspect(std::vector<SuspectBlock>& suspects, SuspectBlock s) {
  suspects.push_back(s);
  std::sort(suspects.begin(), suspects.end(),
            [](const SuspectBlock& a, const SuspectBlock& b) { return a.ratio > b.ratio; });
  if (suspects.size() > suspects_kept) suspects.pop_back();
}

// Context rows compare with the picture row above them, which holds the
// MCUs the library decoded while finding its way into the sequence: only
// rows past that are the photo's level.
std::uint32_t settling_mcus(const PhotoScan& photo) {
  const std::uint32_t per_row = photo.header.mcus_per_row();
  return per_row + per_row / 8 + 8;
}

}  // namespace

Offset PhotoScan::block_start(Offset p) const {
  const Offset phase = soi % block;
  return p - (p + block - phase) % block;
}

FollowResult follow_scan(const PhotoScan& photo, const DecodePlan& plan, std::size_t judged_run,
                         double level, Offset trusted_until) {
  FollowResult result;
  const ByteRuns& runs = plan.runs;
  McuRowDecoder decoder(*photo.input, photo.header, runs, plan.restart_shift);
  if (judged_run >= runs.size() || !decoder.start()) return result;
  SeamTracker seams(photo.header.mcus_per_row());
  const std::uint32_t settled_after = settling_mcus(photo);
  BlockTally context, tally;
  std::size_t index = 1;
  int damage_before = -1;  // damage warnings when the judged rows began
  int context_damage = 0;  // damage warnings while the context was decoded
  const Offset data_start = runs[judged_run].offset;
  Offset row_start = data_start;  // where the row decoded last began
  std::uint32_t mcus_at_start = 0;
  int level_rows = 0;  // seam rows the level rests on

  while (decoder.next_row()) {
    if (decoder.met_eoi_at() != no_position &&
        run_holding(runs, 1, decoder.met_eoi_at()) >= judged_run) {
      // The photo ended; the rest of this row is made up.
      result.eoi_end = eoi_met(*photo.input, runs, decoder.met_eoi_at());
      const bool last_block_bad = plan.from_scan_start ||
                                  (tally.block >= trusted_until && level >= 0 &&
                                   tally.rows >= min_rows_to_judge &&
                                   above_level(tally.mean(), level, strong_block_ratio));
      result.kind = result.eoi_end == no_position || last_block_bad ? FollowResult::Kind::broken
                                                                     : FollowResult::Kind::complete;
      result.suspect =
          tally.block != no_position ? tally.block : photo.block_start(decoder.met_eoi_at());
      result.level = level;
      return result;
    }
    const double seam = seams.add_row(decoder);
    const Offset p = decoder.position();
    index = run_holding(runs, index, p);
    if (p == no_position || index == runs.size()) return result;  // the runs ended
    if (index < judged_run) {
      if (decoder.mcus_done() > settled_after) context.add(seam);
      context_damage = decoder.damage_warnings();
      continue;
    }
    if (damage_before < 0) {
      damage_before = context_damage;
      mcus_at_start = decoder.mcus_done();
      if (level < 0 && context.rows >= min_rows_to_judge) level = context.mean();
      if (level >= 0) level_rows = rows_for_level;  // a level handed on, or the context's
      if (level >= 0 && context.rows >= min_rows_to_judge &&
          above_level(context.mean(), level, unsynced_ratio)) {
        result.kind = FollowResult::Kind::unsynced;
        return result;
      }
    }
    if (decoder.damage_warnings() > damage_before) {
      // The row in which the library saw the damage began at `at`; when it
      // reaches into the next block, the foreign bytes may begin there.
      const Offset first = decoder.first_damage_at();
      const Offset at = first != no_position && first >= row_start && first <= p ? first : row_start;
      result.kind = FollowResult::Kind::broken;
      result.suspect = photo.block_start(at);
      result.damage_near_block_end = photo.block_start(p) > result.suspect;
      result.level = level;
      return result;
    }
    row_start = p;
    if (decoder.mcus_done() > mcus_at_start && p > data_start)
      result.bytes_per_mcu =
          static_cast<double>(p - data_start) / static_cast<double>(decoder.mcus_done() - mcus_at_start);
    const Offset block = photo.block_start(p);
    if (tally.block == no_position) tally.block = block;
    if (block != tally.block && tally.rows >= min_rows_to_judge) {
      // Until the level rests on enough rows, blocks only add to it.
      const bool trusted = tally.block < trusted_until || level_rows < rows_for_level;
      level_rows += tally.rows;
      const bool judged = !trusted && level >= 0;
      if (judged && above_level(tally.mean(), level, strong_block_ratio)) {
        result.kind = FollowResult::Kind::broken;
        result.suspect = tally.block;
        result.level = level;
        return result;
      }
      if (judged && above_level(tally.mean(), level, bad_block_ratio)) {
        note_suspect(result.suspects, {tally.block, ratio_to(tally.mean(), level)});
      } else if (!trusted) {
        level = level < 0 ? tally.mean() : (1 - level_weight) * level + level_weight * tally.mean();
      }
      tally = BlockTally{block};
    }
    tally.add(seam);
    if (decoder.mcus_done() >= decoder.total_mcus()) {
      if (level >= 0 && tally.rows >= min_rows_to_judge &&
          above_level(tally.mean(), level, strong_block_ratio)) {
        result.kind = FollowResult::Kind::broken;
        result.suspect = tally.block;
        result.level = level;
        return result;
      }
      result.eoi_end = eoi_after(*photo.input, runs, index, p);
      result.kind = result.eoi_end == no_position ? FollowResult::Kind::broken
                                                  : FollowResult::Kind::complete;
      result.suspect = photo.block_start(p);
      result.level = level;
      return result;
    }
  }
  return result;
}

TrialResult try_block(const PhotoScan& photo, const DecodePlan& context, Offset at,
                      std::uint64_t length, double level) {
  TrialResult trial;
  ByteRuns runs = context.runs;
  runs.push_back({at, length});
  McuRowDecoder decoder(*photo.input, photo.header, runs, context.restart_shift);
  if (!decoder.start()) return trial;
  SeamTracker seams(photo.header.mcus_per_row());
  const std::size_t judged_run = runs.size() - 1;
  const std::uint32_t settled_after = settling_mcus(photo);
  BlockTally before, inside;
  std::size_t index = 1;
  int damage_before = -1;
  bool hopeless = false;  // the block's first rows already lie far above the level

  while (decoder.next_row()) {
    if (decoder.met_eoi_at() != no_position) {
      if (context.from_scan_start) return trial;  // the EOI came before the last MCU
      trial.completes = run_holding(runs, 1, decoder.met_eoi_at()) == judged_run &&
                        eoi_met(*photo.input, runs, decoder.met_eoi_at()) != no_position;
      if (!trial.completes) return trial;
      break;
    }
    const double seam = seams.add_row(decoder);
    if (decoder.ran_out()) break;
    const Offset p = decoder.position();
    index = run_holding(runs, index, p);
    if (index == runs.size()) break;
    if (index < judged_run) {
      if (decoder.mcus_done() > settled_after) before.add(seam);
      continue;
    }
    if (damage_before < 0) damage_before = decoder.damage_warnings();
    if (decoder.damage_warnings() > damage_before) return trial;  // damage inside the block
    inside.add(seam);
    if (decoder.mcus_done() >= decoder.total_mcus()) {
      trial.completes = eoi_after(*photo.input, runs, index, p) != no_position;
      if (!trial.completes) return trial;
      break;
    }
    const double judging_level = level >= 0 ? level : before.mean();
    if (inside.rows >= rows_to_give_up && before.rows >= min_rows_to_judge &&
        above_level(inside.mean(), judging_level, hopeless_ratio)) {
      hopeless = true;  // the rest of the block cannot bring it back
      break;
    }
  }
  if (decoder.failed() || (!decoder.ran_out() && !trial.completes && !hopeless)) return trial;
  if (before.rows >= min_rows_to_judge) trial.context_level = before.mean();
  if (level < 0) level = trial.context_level;
  trial.synced = before.rows < min_rows_to_judge || level < 0 ||
                 !above_level(before.mean(), level, unsynced_ratio);
  trial.usable = true;
  trial.rows = inside.rows;
  trial.score = inside.rows == 0 ? level : inside.mean();
  return trial;
}

}  // namespace segsniff
