#include "jpeg/fragment_search.h"

#include <algorithm>
#include <array>

#include "jpeg/decode_check.h"

namespace segsniff {

namespace {

// How far after a cut the next piece is looked for, in blocks (file systems
// fill the free clusters after the cut first: the gaps on the sample cards
// are at most a few hundred clusters), and how many blocks are decoded at
// most for one cut and for one photo.
constexpr std::uint64_t max_distance_blocks = 8192;
constexpr int max_trials_per_cut = 1000;
constexpr int max_trials_per_photo = 4000;

// A photo in more pieces than this is not followed further.
constexpr int max_pieces = 64;

// Places tried as cuts, at most, when a photo put together does not decode.
constexpr int max_retries = 4;

// A block is taken only if its rows continue the rows above within this
// factor of the photo's own level (both plus the seam floor), and only if
// it gives this many rows with a row above them (or ends the scan).
constexpr double acceptable_join_ratio = 2.0;
constexpr int min_rows_to_choose = 2;

// A block whose rows join within this factor is most likely the one (nine
// in ten continuations on the sample cards do, one in a hundred and fifty
// other blocks tried): once one is found, the search looks only as far
// again, and at least this many blocks more, for one that joins better.
constexpr double close_join_ratio = 1.2;
constexpr int trials_after_close = 64;

// A block that ends the photo decides its last bytes: with more than the
// fewest rows it is taken only if they join about as closely as the
// photo's own rows do.  (Other photos' last blocks are many, and one of
// them may end at just the MCU count by chance.)
constexpr double ending_join_ratio = 1.3;

// File systems put a file's next cluster in the nearest free one: a block
// further from the cut is taken over a nearer one only if it joins this
// much better (its seam plus the floor, as a share of the nearer one's).
constexpr double further_margin = 0.8;

// Suspect blocks kept per piece, as places to cut when what was put
// together does not decode.
constexpr std::size_t suspects_kept = 4;

// Steps straight through a block that stopped the photo (a strong edge in
// the picture rather than a cut), at most, per photo.
constexpr int max_straight_steps = 16;

// The level assumed where a photo has none yet (its first picture row of
// MCUs has no row above it): about what photos' levels are.
constexpr double unknown_level = 5.0;

// The places where a piece stopped rank above every suspect as retries.
constexpr double stop_ratio = 1e9;

constexpr std::uint8_t marker_prefix = 0xFF;

// `path` cut at `at`, which lies in its last run.
ByteRuns cut_at(ByteRuns path, Offset at) {
  path.back().length = at - path.back().offset;
  return path;
}

}  // namespace

// A place where the photo's data may have been cut.
struct FragmentSearch::Cut {
  ByteRuns path;            // the photo up to the cut, SOI first
  ScanWalker::State state;  // the decoder there
  double ratio = 0;         // suspects: how far the block after the cut rose above the level
  bool stop = false;        // where a piece stopped: the block after it may be taken straight on
};

// How following the photo from some block on ended.
struct FragmentSearch::Followed {
  enum class End { complete, stopped, failed };
  End end = End::failed;
  ByteRuns path;              // complete: the photo; else as far as it was followed
  std::vector<Cut> places;    // stopped: where the data may have been cut, most likely first
  std::vector<Cut> suspects;  // blocks passed that rose above the level, strongest first
};

struct FragmentSearch::Budget {
  int trials = 0;    // blocks decoded for this photo
  int pieces = 1;    // pieces followed (and steps straight through a stop)
  int straight = 0;  // steps straight through a stop
};

namespace {

// Keeps the strongest few suspects.
template <typename CutType>
void note_suspect(std::vector<CutType>& suspects, CutType cut) {
  suspects.push_back(std::move(cut));
  std::sort(suspects.begin(), suspects.end(),
            [](const CutType& a, const CutType& b) { return a.ratio > b.ratio; });
  if (suspects.size() > suspects_kept) suspects.pop_back();
}

}  // namespace

// Feeds the walker, which stands at the end of `path`, the blocks from
// `next` on, each judged, until one stops being the photo's or the scan
// ends.  With `keep_states` the decoder's states at the last two block
// boundaries and at the starts of suspect blocks are kept as places to cut.
FragmentSearch::Followed FragmentSearch::follow(ScanWalker& walker, const ByteRuns& path,
                                                Offset next, bool keep_states) const {
  Followed out;
  out.path = path;
  std::array<ScanWalker::State, 2> ring;  // the states at the last two boundaries
  std::array<Offset, 2> ring_at{no_position, no_position};
  std::size_t latest = 1;
  for (; next < input_.end(); next += block_) {
    if (keep_states) {
      latest ^= 1;
      walker.save(ring[latest]);
      ring_at[latest] = next;
    }
    const ByteRun run{next, std::min(block_, input_.end() - next)};
    const BlockVerdict verdict = walker.feed(run);
    switch (verdict.kind) {
      case BlockVerdict::Kind::good:
        append_run(out.path, run);
        continue;
      case BlockVerdict::Kind::suspect:
        if (keep_states) note_suspect(out.suspects, Cut{out.path, ring[latest], verdict.ratio});
        append_run(out.path, run);
        continue;
      case BlockVerdict::Kind::complete:
        append_run(out.path, {next, verdict.eoi_end - next});
        out.end = Followed::End::complete;
        return out;
      case BlockVerdict::Kind::bad:
      case BlockVerdict::Kind::damaged:
      case BlockVerdict::Kind::cut_short:
        out.end = Followed::End::stopped;
        if (!keep_states) return out;
        out.places.push_back(Cut{out.path, ring[latest], stop_ratio, true});
        // Foreign bytes may decode smoothly for a block: the cut may lie
        // one block earlier (not before this piece's first block).
        if (const Offset earlier = ring_at[latest ^ 1];
            earlier != no_position && earlier > out.path.back().offset)
          out.places.push_back(Cut{cut_at(out.path, earlier), ring[latest ^ 1]});
        return out;
      case BlockVerdict::Kind::failed:
        return out;
    }
  }
  // The input ended inside the scan: the photo's next piece may lie before
  // it (search_after wraps round).
  out.end = Followed::End::stopped;
  if (keep_states) {
    out.places.push_back(Cut{out.path, {}, stop_ratio, false});
    walker.save(out.places.back().state);
  }
  return out;
}

FirstLook FragmentSearch::first_look(const PhotoScan& photo) const {
  FirstLook look;
  ScanWalker walker(photo);
  const BlockVerdict start = walker.start();
  if (start.kind == BlockVerdict::Kind::complete) {
    look.kind = FirstLook::Kind::complete;
    look.eoi_end = start.eoi_end;
    return look;
  }
  if (start.kind == BlockVerdict::Kind::failed) return look;
  if (start.kind != BlockVerdict::Kind::good && start.kind != BlockVerdict::Kind::suspect) {
    look.kind = FirstLook::Kind::first_block;
    return look;
  }
  const Offset first = photo.first_boundary();
  const Followed followed = follow(walker, {{photo.soi, first - photo.soi}}, first, false);
  if (followed.end == Followed::End::complete) {
    look.kind = FirstLook::Kind::complete;
    look.eoi_end = followed.path.back().end();
  } else if (followed.end == Followed::End::stopped) {
    look.kind = FirstLook::Kind::broken;
    look.stopped_at = followed.path.back().end();
  }
  return look;
}

int FragmentSearch::expected_restart(const PhotoScan& photo, const ByteRuns& path) const {
  if (photo.header.restart_interval == 0) return no_restart_marker;
  for (std::size_t i = path.size(); i-- > 0;) {
    const Offset from = i == 0 ? photo.header.data_at : path[i].offset;
    if (from >= path[i].end()) continue;
    const int next = next_restart_number(input_, from, path[i].end());
    if (next != no_restart_marker) return next;
  }
  return 0;
}

// The block after `cut` whose rows continue the rows above it most
// smoothly, among those within reach that can be scan data of the photo,
// and the blocks that decode exactly as it does (copies of the same bytes:
// which of them is the photo's shows only further on); empty when none
// does so acceptably.  Blocks are looked for after the cut up to the end of
// the input, then from its start (file systems wrap around to the first
// free cluster) up to the photo.
std::vector<Offset> FragmentSearch::search_after(const PhotoScan& photo, ScanWalker& walker,
                                                 const Cut& cut, Budget& budget) const {
  const Offset at = cut.path.back().end();
  const int restart = expected_restart(photo, cut.path);
  const bool after_prefix = at > 0 && input_.byte_at(at - 1) == marker_prefix;
  const bool level_known = cut.state.level >= 0;
  const double level = level_known ? cut.state.level : unknown_level;
  // Rows that lie above this are not taken: a trial stops there.
  const double give_up = acceptable_join_ratio * (level + seam_floor) - seam_floor;
  SearchLog::Search* logged = nullptr;
  if (log_ != nullptr && !log_->photos.empty()) {
    logged = &log_->photos.back().searches.emplace_back();
    logged->cut = at;
    logged->level = cut.state.level;
    logged->ready = true;
  }
  std::vector<Offset> best;  // the best block first, then its copies
  BlockVerdict best_verdict;
  const Offset wrap_from = photo.soi % block_;
  int tried = 0;
  int last_trial = max_trials_per_cut;
  Offset g = at;
  for (std::uint64_t j = 1; j < max_distance_blocks; ++j) {
    if (tried >= last_trial || budget.trials >= max_trials_per_photo) break;
    g += block_;
    if (g >= input_.end() && at < photo.soi) break;
    if (g >= input_.end()) g = wrap_from;
    if (g >= photo.soi && g < at) break;  // back at the photo
    const std::uint64_t length = std::min(block_, input_.end() - g);
    if (claims_.claimed(g) || !could_continue_scan(input_, g, length, restart, after_prefix)) continue;
    walker.restore(cut.state);
    const BlockVerdict v = walker.feed({g, length}, ScanWalker::Judging::judged, give_up);
    ++tried;
    ++budget.trials;
    ++blocks_tried_;
    const bool complete = v.kind == BlockVerdict::Kind::complete;
    if (logged != nullptr) {
      logged->trials.push_back({g, v.kind == BlockVerdict::Kind::good || complete, complete, v.rows, v.score});
      logged->reach = g;
    }
    if (v.kind != BlockVerdict::Kind::good && !complete) continue;
    if (v.gave_up || (v.rows < min_rows_to_choose && !complete)) continue;
    if (above_level(v.score, level, acceptable_join_ratio)) continue;
    if (complete && v.rows >= min_rows_to_choose && above_level(v.score, level, ending_join_ratio)) continue;
    if (!best.empty() && v.rows == best_verdict.rows && v.score == best_verdict.score &&
        v.kind == best_verdict.kind) {
      best.push_back(g);  // decodes exactly as the best: the same bytes
      continue;
    }
    // In the first picture row a block is compared only with the MCU to its
    // left, and any smooth stretch of scan data joins about as well: there
    // the nearest block that joins acceptably is taken, and the search
    // looks only a little further, for copies of it.
    if (!best.empty() && (best_verdict.first_row || v.first_row ||
                          v.score + seam_floor >= further_margin * (best_verdict.score + seam_floor)))
      continue;
    best = {g};
    best_verdict = v;
    // Where the photo has no level yet, a close join says less.
    if (v.first_row || (level_known && !above_level(v.score, level, close_join_ratio)))
      last_trial = std::min(last_trial, std::max(2 * tried, tried + trials_after_close));
  }
  if (logged != nullptr) logged->chosen = best.empty() ? no_position : best.front();
  return best;
}

// Follows the photo on from `cut` through block `chosen` (taken as the
// photo's); `followed` becomes how that ended.
bool FragmentSearch::continue_from(const Cut& cut, ScanWalker& walker, Offset chosen,
                                   Followed& followed) const {
  if (chosen >= input_.end()) return false;
  walker.restore(cut.state);
  const ByteRun run{chosen, std::min(block_, input_.end() - chosen)};
  const BlockVerdict verdict = walker.feed(run, ScanWalker::Judging::trusted);
  ByteRuns path = cut.path;
  if (verdict.kind == BlockVerdict::Kind::complete) {
    append_run(path, {chosen, verdict.eoi_end - chosen});
    followed = Followed{Followed::End::complete, path, {}, {}};
  } else if (verdict.kind == BlockVerdict::Kind::good) {
    append_run(path, run);
    followed = follow(walker, path, run.end(), true);
  } else {
    return false;
  }
  if (log_ != nullptr && !log_->photos.empty() && !log_->photos.back().searches.empty())
    log_->photos.back().searches.back().followed_to = followed.path.back().end();
  return true;
}

// Follows the photo on from `cut` through the first of `blocks` that leads
// furthest: several are copies of the same bytes, and only the photo's own
// goes on to its end (or furthest towards it).
bool FragmentSearch::continue_through(const Cut& cut, ScanWalker& walker,
                                      const std::vector<Offset>& blocks, Followed& followed) const {
  bool found = false;
  for (const Offset block : blocks) {
    Followed attempt;
    if (!continue_from(cut, walker, block, attempt)) continue;
    const bool better = !found || (attempt.end == Followed::End::complete &&
                                   followed.end != Followed::End::complete) ||
                        (attempt.end == followed.end &&
                         total_length(attempt.path) > total_length(followed.path));
    if (better) followed = std::move(attempt);
    found = true;
    if (followed.end == Followed::End::complete) break;
  }
  return found;
}

// Finds where the photo goes on after `followed` stopped, and follows it
// from there: at the places where its data may have been cut, most likely
// first; failing those, straight through the block that stopped it (a
// strong edge in the picture looks like a cut).
bool FragmentSearch::go_on(const PhotoScan& photo, ScanWalker& walker, Followed& followed,
                           Budget& budget) const {
  const std::vector<Cut> places = std::move(followed.places);
  for (const Cut& place : places) {
    const std::vector<Offset> chosen = search_after(photo, walker, place, budget);
    if (continue_through(place, walker, chosen, followed)) return true;
  }
  if (places.empty() || ++budget.straight > max_straight_steps) return false;
  return continue_from(places.front(), walker, places.front().path.back().end(), followed);
}

// Follows the photo piece by piece until its scan ends, and checks what was
// put together.  The places passed on the way are kept in `retries` for
// when it does not decode.
bool FragmentSearch::follow_pieces(const PhotoScan& photo, ScanWalker& walker, Followed& followed,
                                   std::vector<Cut>& retries, Budget& budget,
                                   std::string& why) const {
  while (followed.end == Followed::End::stopped) {
    if (++budget.pieces > max_pieces) {
      why = "it is in too many pieces";
      return false;
    }
    for (Cut& suspect : followed.suspects) retries.push_back(std::move(suspect));
    followed.suspects.clear();
    if (!followed.places.empty()) retries.push_back(followed.places.front());
    if (!go_on(photo, walker, followed, budget)) {
      why = "no block goes on from where its data stops";
      return false;
    }
  }
  if (followed.end != Followed::End::complete) {
    why = "its data could not be followed";
    return false;
  }
  const DecodeCheck check = decode_check(input_, followed.path);
  if (check.kind != DecodeClass::clean) {
    why = "the pieces found do not decode cleanly: " + check.message;
    return false;
  }
  return true;
}

Reassembly FragmentSearch::reassemble(const PhotoScan& photo) const {
  Reassembly result;
  ScanWalker walker(photo);
  const BlockVerdict start = walker.start();
  if (start.kind != BlockVerdict::Kind::good && start.kind != BlockVerdict::Kind::suspect) {
    result.why = "its data stops before the first block of its scan";
    return result;
  }
  const Offset first = photo.first_boundary();
  Followed followed = follow(walker, {{photo.soi, first - photo.soi}}, first, true);
  if (log_ != nullptr) log_->photos.push_back({photo.soi, followed.path.back().end(), {}});
  Budget budget;
  std::vector<Cut> retries;
  bool complete = follow_pieces(photo, walker, followed, retries, budget, result.why);
  result.stopped_at = followed.path.back().end();

  // What was put together does not decode: the photo's data may have
  // stopped at a place passed on the way, strongest first.
  for (int attempt = 0; !complete && attempt < max_retries && !retries.empty(); ++attempt) {
    auto strongest = std::max_element(retries.begin(), retries.end(),
                                      [](const Cut& a, const Cut& b) { return a.ratio < b.ratio; });
    const Cut retry = std::move(*strongest);
    retries.erase(strongest);
    // A stop is gone on from straight; a suspect is searched after.
    const std::vector<Offset> chosen =
        retry.stop ? std::vector<Offset>{retry.path.back().end()} : search_after(photo, walker, retry, budget);
    Followed again;
    if (!continue_through(retry, walker, chosen, again)) continue;
    std::string why;
    complete = follow_pieces(photo, walker, again, retries, budget, why);
    if (complete) followed = std::move(again);
  }
  if (!complete) return result;
  result.why.clear();
  result.complete = true;
  result.runs = followed.path;
  return result;
}

}  // namespace segsniff
