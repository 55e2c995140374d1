#include "jpeg/fragment_search.h"

#include <algorithm>

#include "jpeg/decode_check.h"

namespace segsniff {

namespace {

// How far after a cut the next piece is looked for, in blocks (file systems
// fill the free clusters after the cut first: the gaps on the sample cards
// are at most a few hundred clusters), and how many blocks are decoded at
// most for one cut.
constexpr std::uint64_t max_distance_blocks = 8192;
constexpr int max_trials_per_cut = 300;

// A photo in more pieces than this is not followed further.
constexpr int max_pieces = 64;

// Suspects tried as cuts, at most, when a photo put together does not decode.
constexpr int max_retries = 4;

// A block that continues the rows above it within this factor of the
// photo's own level (both plus one) is taken at once; one within the factor
// that ends a photo's data is taken if nothing better is within reach.
constexpr double good_join_ratio = 1.5;
// A block that gives fewer rows with a row above them than this cannot be
// judged (a cut in the picture's first row of MCUs).
constexpr int min_rows_to_choose = 2;
constexpr double acceptable_join_ratio = 2.0;
// The block right after a stop that joins within this factor, with no
// other block joining well, is taken as the photo's own.
constexpr double straight_edge_ratio = 4.0;

// The context of a decode that starts without a restart marker: a picture
// row of MCUs (the rows above the judged ones) and this much before it, in
// which the library finds its way into the MCU sequence.
constexpr std::uint64_t settling_bytes = 3072;
constexpr std::uint64_t row_bytes_unknown = 16384;

constexpr std::uint8_t marker_rst0 = 0xD0, marker_rst7 = 0xD7;

// Blocks decoded at most for one photo, over all its cuts.
constexpr int max_trials_per_photo = 1500;

bool within(double score, double level, double ratio) { return !above_level(score, level, ratio); }

// The runs of `runs` from stream position `from` (bytes counted along the
// runs) to their end.
ByteRuns runs_from(const ByteRuns& runs, std::uint64_t from) {
  ByteRuns out;
  for (const ByteRun& run : runs) {
    if (from >= run.length) {
      from -= run.length;
      continue;
    }
    out.push_back({run.offset + from, run.length - from});
    from = 0;
  }
  return out;
}

}  // namespace

struct FragmentSearch::Cut {
  ByteRuns path;          // the photo so far, SOI first, up to the cut
  FollowResult follow;    // how following the last piece ended
  double level = -1;
  double bytes_per_mcu = 0;
  int trials = 0;         // blocks decoded for this photo so far
  double straight_score = -1;  // the block right after the cut, when it decoded without damage
};

struct FragmentSearch::Retry {
  Cut cut;       // the photo up to a suspect block, or up to a stop
  double ratio;  // how far that block rose above the photo's level
  bool straight_only = false;  // a stop: go on straight from it
};

namespace {
// A stop is tried straight on before any suspect, when what was put
// together does not decode.
constexpr double stop_retry_ratio = 1e9;
}  // namespace

FollowResult FragmentSearch::first_look(const PhotoScan& photo) const {
  DecodePlan plan;
  plan.runs = {photo.header_run(), {photo.header.data_at, input_.end() - photo.header.data_at}};
  plan.from_scan_start = true;
  return follow_scan(photo, plan, 1, -1);
}

// The scan data of `path` from a place where a decode can start, after the
// header run: just after a restart marker at least a picture row before the
// cut, where the scan has restart markers; else a picture row and
// settling_bytes before the cut; from the start of the scan when the
// photo's data is not that long.
DecodePlan FragmentSearch::context_for(const PhotoScan& photo, const ByteRuns& path,
                                       double bytes_per_mcu, bool longer) const {
  const ByteRuns data = runs_from(path, photo.header.data_at - photo.soi);
  const std::uint64_t available = total_length(data);
  const double row = bytes_per_mcu > 0 ? bytes_per_mcu * photo.header.mcus_per_row()
                                       : static_cast<double>(row_bytes_unknown);
  std::uint64_t back = static_cast<std::uint64_t>(row * 1.1) + settling_bytes;
  if (longer) back *= 4;
  DecodePlan plan;
  std::uint64_t start = 0;  // stream position in `data`
  if (photo.header.restart_interval > 0) {
    // The last restart marker that ends at least `back` bytes before the cut.
    std::uint64_t stream_end = available;
    for (std::size_t i = data.size(); i-- > 0 && start == 0;) {
      const ByteRun run = data[i];
      const std::uint64_t run_start = stream_end - run.length;
      stream_end = run_start;
      const auto bytes = input_.bytes(run.offset, run.length);
      for (std::size_t k = bytes.size(); k-- > 1;) {
        const std::uint64_t after = run_start + k + 1;
        if (after + back > available) continue;
        if (bytes[k - 1] == 0xFF && bytes[k] >= marker_rst0 && bytes[k] <= marker_rst7) {
          start = after;
          plan.restart_shift = (bytes[k] - marker_rst0 + 1) % 8;
          break;
        }
      }
    }
  } else if (available > back + settling_bytes / 2) {
    start = available - back;
  }
  plan.from_scan_start = start == 0;
  plan.runs.push_back(photo.header_run());
  for (const ByteRun& run : runs_from(data, start)) plan.runs.push_back(run);
  return plan;
}

int FragmentSearch::expected_restart(const PhotoScan& photo, const ByteRuns& path) const {
  if (photo.header.restart_interval == 0) return no_restart_marker;
  const ByteRuns data = runs_from(path, photo.header.data_at - photo.soi);
  for (std::size_t i = data.size(); i-- > 0;) {
    const int next = next_restart_number(input_, data[i].offset, data[i].end());
    if (next != no_restart_marker) return next;
  }
  return 0;
}

// Finds the block that goes on from the end of cut.path and follows the
// scan from it; on success cut.path has grown by the piece followed.
bool FragmentSearch::continue_after(const PhotoScan& photo, Cut& cut, Straight straight_block) const {
  const bool skip_straight = straight_block == Straight::skip;
  const Offset at = cut.path.back().end();
  bool longer = false;
  DecodePlan context = context_for(photo, cut.path, cut.bytes_per_mcu, longer);
  const int restart = expected_restart(photo, cut.path);
  Offset chosen = no_position;
  Offset best = no_position;
  double best_score = 0;
  bool straight = false;  // the block right after the cut decodes without damage
  double straight_score = 0;
  int trials = 0;
  const std::uint64_t last_j = straight_block == Straight::only ? 1 : max_distance_blocks;
  for (std::uint64_t j = skip_straight ? 1 : 0;
       j < last_j && trials < max_trials_per_cut &&
       (cut.trials < max_trials_per_photo || straight_block == Straight::only);
       ++j) {
    const Offset g = at + j * block_;
    if (g >= input_.end()) break;
    const std::uint64_t length = std::min<std::uint64_t>(block_, input_.end() - g);
    if (claims_.claimed(g) || !could_continue_scan(input_, g, length, restart)) continue;
    TrialResult trial = try_block(photo, context, g, length, cut.level);
    ++trials;
    ++cut.trials;
    ++blocks_tried_;
    if (!trial.synced && !longer) {
      longer = true;
      context = context_for(photo, cut.path, cut.bytes_per_mcu, longer);
      trial = try_block(photo, context, g, length, cut.level);
      ++blocks_tried_;
    }
    if (!trial.usable || !trial.synced) continue;
    if (cut.level < 0) cut.level = trial.context_level;
    if (j == 0) {
      straight = true;
      straight_score = trial.score;
      cut.straight_score = trial.score;
      if (trial.completes || within(trial.score, cut.level, good_join_ratio)) {
        chosen = g;
        break;
      }
      continue;
    }
    // Another block must join the rows above clearly better than the block
    // right after the cut (which, at a strong edge in the picture, may look
    // like a cut without being one).
    if (trial.rows < min_rows_to_choose || (straight && trial.score * 1.5 > straight_score)) continue;
    if (within(trial.score, cut.level, good_join_ratio) ||
        (trial.completes && within(trial.score, cut.level, acceptable_join_ratio))) {
      chosen = g;
      break;
    }
    if (within(trial.score, cut.level, acceptable_join_ratio) &&
        (best == no_position || trial.score < best_score)) {
      best = g;
      best_score = trial.score;
    }
  }
  // With nothing better within reach, the photo goes on straight (when the
  // caller allows it: other places to cut are tried first).
  if (chosen == no_position) chosen = best;
  if (chosen == no_position && straight && straight_block == Straight::only) chosen = at;
  if (chosen == no_position) return false;

  DecodePlan plan = context;
  plan.runs.push_back({chosen, input_.end() - chosen});
  const Offset trusted = straight_block == Straight::only ? at + block_ : 0;
  FollowResult follow = follow_scan(photo, plan, plan.runs.size() - 1, cut.level, trusted);
  if (follow.kind == FollowResult::Kind::complete) {
    append_run(cut.path, {chosen, follow.eoi_end - chosen});
  } else if (follow.kind == FollowResult::Kind::broken && follow.suspect > chosen &&
             follow.suspect <= input_.end()) {
    append_run(cut.path, {chosen, follow.suspect - chosen});
  } else {
    return false;
  }
  cut.follow = follow;
  if (follow.level >= 0) cut.level = follow.level;
  if (follow.bytes_per_mcu > 0) cut.bytes_per_mcu = follow.bytes_per_mcu;
  return true;
}

// Where the photo's data may stop, most likely first: the block the follow
// stopped at, the block before it (the foreign rows may decode smoothly for
// a block), and the suspects passed on the way, strongest first.  On success
// `cut` has grown by the next piece.
bool FragmentSearch::continue_somewhere(const PhotoScan& photo, Cut& cut) const {
  const ByteRun last = cut.path.back();
  const Offset floor = cut.path.size() == 1 ? photo.header.data_at : last.offset;
  std::vector<Offset> places;
  // Damage seen in an MCU that began near the end of a block may be the
  // next block's: cut after that block first.
  if (cut.follow.damage_near_block_end && last.end() + block_ <= input_.end())
    places.push_back(last.end() + block_);
  places.push_back(last.end());
  if (last.end() >= floor + block_ + 1) places.push_back(last.end() - block_);
  for (const SuspectBlock& s : cut.follow.suspects)
    if (s.block > floor && s.block < last.end() - block_) places.push_back(s.block);
  for (std::size_t i = 0; i < places.size(); ++i) {
    Cut attempt = cut;
    attempt.path.back().length = places[i] - last.offset;
    const bool at_stop = places[i] == last.end();
    const bool ok = continue_after(photo, attempt, at_stop ? Straight::try_it : Straight::skip);
    cut.trials = attempt.trials;
    if (ok) {
      cut = attempt;
      return true;
    }
    // The block at the stop decodes without damage and not far from the
    // photo's level: a strong edge in the picture rather than a cut.
    if (at_stop && attempt.straight_score >= 0 &&
        !above_level(attempt.straight_score, cut.level, straight_edge_ratio))
      break;
  }
  // No block anywhere joins well: a strong edge in the picture, or a cut
  // whose continuation is out of reach; the photo goes on straight, and the
  // end decides.
  Cut attempt = cut;
  const bool ok = continue_after(photo, attempt, Straight::only);
  cut.trials = attempt.trials;
  if (ok) cut = attempt;
  return ok;
}

// Follows the photo from `cut` to its EOI, piece by piece.  The suspects
// passed on the way are kept in `retries` (as cuts ending there) for when
// the photo put together does not decode.
bool FragmentSearch::follow_pieces(const PhotoScan& photo, Cut& cut, std::vector<Retry>& retries,
                                   std::string& why) const {
  for (int pieces = static_cast<int>(cut.path.size()); cut.follow.kind == FollowResult::Kind::broken;
       ++pieces) {
    if (pieces >= max_pieces) {
      why = "it is in too many pieces";
      return false;
    }
    const ByteRun last = cut.path.back();
    retries.push_back({cut, stop_retry_ratio, true});
    retries.back().cut.follow.suspects.clear();
    for (const SuspectBlock& s : cut.follow.suspects) {
      if (s.block <= last.offset || s.block >= last.end()) continue;
      Retry retry{cut, s.ratio};
      retry.cut.path.back().length = s.block - last.offset;
      retry.cut.follow.suspects.clear();
      retries.push_back(retry);
    }
    if (!continue_somewhere(photo, cut)) {
      why = "no block goes on from where its data stops";
      return false;
    }
  }
  if (cut.follow.kind != FollowResult::Kind::complete) {
    why = "its data could not be followed";
    return false;
  }
  const DecodeCheck check = decode_check(input_, cut.path);
  if (check.kind != DecodeClass::clean) {
    why = "the pieces found do not decode cleanly: " + check.message;
    return false;
  }
  return true;
}

Reassembly FragmentSearch::reassemble(const PhotoScan& photo, const FollowResult& first) const {
  Reassembly result;
  if (first.kind != FollowResult::Kind::broken || first.suspect <= photo.header.data_at) {
    result.why = "its data stops before the first block of its scan";
    result.stopped_at = first.suspect;
    return result;
  }
  Cut cut;
  cut.path = {{photo.soi, first.suspect - photo.soi}};
  cut.follow = first;
  cut.level = first.level;
  cut.bytes_per_mcu = first.bytes_per_mcu;
  std::vector<Retry> retries;
  bool complete = follow_pieces(photo, cut, retries, result.why);
  result.stopped_at = cut.path.back().end();

  // What was put together does not decode: the photo's data may have
  // stopped at a suspect passed on the way, strongest first.
  for (int attempt = 0; !complete && attempt < max_retries && !retries.empty(); ++attempt) {
    auto strongest = std::max_element(retries.begin(), retries.end(),
                                      [](const Retry& a, const Retry& b) { return a.ratio < b.ratio; });
    Cut retry = strongest->cut;
    retry.trials = cut.trials;
    const bool straight_only = strongest->straight_only;
    retries.erase(strongest);
    if (!continue_after(photo, retry, straight_only ? Straight::only : Straight::skip)) {
      cut.trials = retry.trials;
      continue;
    }
    std::string why;
    complete = follow_pieces(photo, retry, retries, why);
    cut = retry;
  }
  if (!complete) return result;
  result.why.clear();
  result.complete = true;
  result.runs = cut.path;
  return result;
}

}  // namespace segsniff
