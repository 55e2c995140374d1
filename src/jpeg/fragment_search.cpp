#include "jpeg/fragment_search.h"

#include <algorithm>
#include <array>

#include "jpeg/decode_check.h"

namespace segsniff {

namespace {

// A photo in more pieces than this is not followed further.
constexpr int max_pieces = 64;

// Places tried as cuts, at most, when a photo put together does not decode.
constexpr int max_retries = 4;

// Suspect blocks kept per piece, as places to cut when what was put
// together does not decode.
constexpr std::size_t suspects_kept = 4;

// Steps straight through a block that stopped the photo (a strong edge in
// the picture rather than a cut), at most, per photo.
constexpr int max_straight_steps = 16;

// The places where a piece stopped rank above every suspect as retries.
constexpr double stop_ratio = 1e9;

// `path` cut at `at`, which lies in its last run.
ByteRuns cut_at(ByteRuns path, Offset at) {
  path.back().length = at - path.back().offset;
  return path;
}

}  // namespace

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
