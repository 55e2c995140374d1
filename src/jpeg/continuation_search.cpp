// The search for the block that goes on after a cut (FragmentSearch::
// search_after): the blocks after it in order of distance, those that can
// be the photo's scan data each decoded from the decoder's state at the
// cut, and the one whose rows continue the picture best taken.
#include <algorithm>
#include <limits>

#include "jpeg/fragment_search.h"

namespace segsniff {

namespace {

// How far after a cut the next piece is looked for, in blocks (file systems
// fill the free clusters after the cut first: the gaps on the sample cards
// are at most a few hundred clusters), and how many blocks are decoded at
// most for one cut and for one photo.
constexpr std::uint64_t max_distance_blocks = 8192;
constexpr int max_trials_per_cut = 1000;
constexpr int max_trials_per_photo = 4000;

// A block is taken only if its rows continue the rows above within this
// factor of the photo's own level (both plus the seam floor), and only if
// it gives this many rows with a row above them (or ends the scan).
constexpr double acceptable_join_ratio = 2.0;
constexpr int min_rows_to_choose = 2;

// A strong edge in the picture just at the cut lifts even the right
// block's rows above that: when no block joins acceptably, one that joins
// within this factor is taken if it stands out, every other block lying at
// least `edge_margin` times further off (seams plus the floor).  Wrong
// blocks that come so close come in crowds.  Only where the walk stopped:
// at a cut one block earlier, or before a suspect block, the block straight
// on joined better than that, and a photo lying whole would be taken apart
// at an edge of its own picture.
constexpr double edge_join_ratio = 3.0;
constexpr double edge_margin = 1.5;

// A block whose rows join within this factor is most likely the one
// (nineteen in twenty continuations on the sample cards do, one in
// forty-five other blocks that decode without fault): once one is found,
// the search looks only as far again, and at least this many blocks more,
// for one that joins better.
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

// The level assumed where a photo has none yet (no MCU of it had one above
// it or to its left): about what photos' levels are.
constexpr double unknown_level = 5.0;

constexpr std::uint8_t marker_prefix = 0xFF;

// Two trials that decoded exactly alike: copies of the same bytes.
bool alike(const BlockVerdict& a, const BlockVerdict& b) {
  return a.kind == b.kind && a.rows == b.rows && a.score == b.score;
}

// Whether the block a trial decoded may be taken at all, its rows joining
// within `ratio` of the level.
bool acceptable(const BlockVerdict& v, double level, double ratio) {
  const bool complete = v.kind == BlockVerdict::Kind::complete;
  if (v.kind != BlockVerdict::Kind::good && !complete) return false;
  if (v.gave_up || (v.rows < min_rows_to_choose && !complete)) return false;
  // Nor anywhere on the way: bytes that are not the photo's continuation
  // often decode into stretches of noise, between which the library falls
  // into step with some other photo's MCUs, whose rows may lie close enough.
  if (above_level(v.score, level, ratio) || above_level(v.peak, level, ratio)) return false;
  return !complete || v.rows < min_rows_to_choose || !above_level(v.score, level, ending_join_ratio);
}

// The two closest joins among the blocks that only an edge would explain.
struct EdgeJoins {
  Offset block = no_position;
  BlockVerdict verdict;
  double runner_up = std::numeric_limits<double>::infinity();  // seam plus floor
  void note(Offset g, const BlockVerdict& v) {
    if (block != no_position && alike(v, verdict)) return;  // a copy counts once
    if (block == no_position || v.score < verdict.score) {
      if (block != no_position) runner_up = verdict.score + seam_floor;
      block = g;
      verdict = v;
    } else {
      runner_up = std::min(runner_up, v.score + seam_floor);
    }
  }
  bool stands_out() const {
    return block != no_position && runner_up >= edge_margin * (verdict.score + seam_floor);
  }
};

// The blocks after a cut at `at` in order of distance: up to the end of the
// input, then from its start up to the photo's SOI (file systems wrap
// around to the first free cluster); at most max_distance_blocks of them.
class BlocksAfter {
 public:
  BlocksAfter(const ByteRegion& input, std::uint64_t block, Offset soi, Offset at)
      : end_(input.end()), block_(block), soi_(soi), at_(at), next_(at) {}
  Offset next() {
    if (++count_ >= max_distance_blocks) return no_position;
    next_ += block_;
    if (next_ >= end_ && at_ < soi_) return no_position;  // the photo lies after the cut
    if (next_ >= end_) next_ = soi_ % block_;
    if (next_ >= soi_ && next_ < at_) return no_position;  // back at the photo
    return next_;
  }

 private:
  Offset end_;
  std::uint64_t block_;
  Offset soi_, at_, next_;
  std::uint64_t count_ = 0;
};

}  // namespace

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
  const bool edge_allowed = cut.stop;
  // Rows that lie above this are not taken: a trial stops there.
  const double give_up =
      (edge_allowed ? edge_join_ratio : acceptable_join_ratio) * (level + seam_floor) - seam_floor;
  SearchLog::Search* logged = log_search(at, cut.state.level);
  std::vector<Offset> best;  // the best block first, then its copies
  BlockVerdict best_verdict;
  EdgeJoins edge;
  int tried = 0;
  int last_trial = max_trials_per_cut;
  BlocksAfter blocks(input_, block_, photo.soi, at);
  for (Offset g = blocks.next(); g != no_position; g = blocks.next()) {
    if (tried >= last_trial || budget.trials >= max_trials_per_photo) break;
    const std::uint64_t length = std::min(block_, input_.end() - g);
    if (claims_.claimed(g) || !could_continue_scan(input_, g, length, restart, after_prefix)) continue;
    walker.restore(cut.state);
    const BlockVerdict v = walker.feed({g, length}, ScanWalker::Judging::judged, give_up);
    ++tried;
    ++budget.trials;
    if (logged != nullptr) logged->trials.push_back(logged_trial(g, v));
    if (!acceptable(v, level, acceptable_join_ratio)) {
      if (edge_allowed && acceptable(v, level, edge_join_ratio)) edge.note(g, v);
      continue;
    }
    if (!best.empty() && alike(v, best_verdict)) {
      best.push_back(g);
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
  if (best.empty() && edge_allowed && edge.stands_out() && !edge.verdict.first_row) best = {edge.block};
  if (logged != nullptr) logged->chosen = best.empty() ? no_position : best.front();
  return best;
}

SearchLog::Search* FragmentSearch::log_search(Offset cut, double level) const {
  if (log_ == nullptr || log_->photos.empty()) return nullptr;
  SearchLog::Search& logged = log_->photos.back().searches.emplace_back();
  logged.cut = cut;
  logged.level = level;
  return &logged;
}

SearchLog::Trial FragmentSearch::logged_trial(Offset block, const BlockVerdict& v) {
  const bool complete = v.kind == BlockVerdict::Kind::complete;
  return {block, v.kind == BlockVerdict::Kind::good || complete, complete, v.rows, v.score};
}

}  // namespace segsniff
