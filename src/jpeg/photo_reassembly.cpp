#include "jpeg/photo_reassembly.h"

#include "jpeg/decode_check.h"
#include "jpeg/eoi_pair_search.h"
#include "jpeg/fragment_search.h"
#include "jpeg/frame_header.h"

namespace segsniff {

namespace {

// The next FF D8 pair from `from` on (the same search as plain carving's).
Offset next_soi(const ByteRegion& input, Offset from) {
  return find_byte_pair(input, from, input.end(), 0xFF, 0xD8);
}

// The stream as plain carving cuts it: from the SOI to the first FF D9
// after the first scan header.  Empty when no FF D9 follows.
ByteRuns straight_stream(const ByteRegion& input, const FrameHeader& header, Offset soi,
                         EoiPairSearch& eoi_pairs) {
  const Offset eoi = eoi_pairs.next_pair(input.slice(soi, input.end()), header.data_at);
  if (eoi == no_position) return {};
  return {{soi, eoi + 2 - soi}};
}

// A frame the search cannot follow: the stream as plain carving cuts it,
// if it decodes cleanly.
void plan_unsearchable(const ByteRegion& input, const FrameHeader& header, PlannedPhoto& photo,
                       EoiPairSearch& eoi_pairs) {
  const ByteRuns straight = straight_stream(input, header, photo.soi, eoi_pairs);
  if (straight.empty()) {
    photo.why = "its frame is not one the search can follow, and no EOI follows it";
    return;
  }
  const DecodeCheck check = decode_check(input, straight);
  if (check.kind == DecodeClass::clean) {
    photo.kind = PlannedPhoto::Kind::whole;
    photo.runs = straight;
    return;
  }
  photo.why = "its frame is not one the search can follow, and it does not decode cleanly: " +
              check.message;
}

// A photo the search could not complete is taken as plain carving cuts it
// when that stream decodes cleanly (to its last MCU, with the EOI where the
// library stopped): a strong change in the picture can look like a cut that
// is not there, and the search then finds no block that goes on.
void take_straight_stream(const ByteRegion& input, const FrameHeader& header,
                          PlannedPhoto& photo, EoiPairSearch& eoi_pairs) {
  const ByteRuns straight = straight_stream(input, header, photo.soi, eoi_pairs);
  if (straight.empty() || decode_check(input, straight).kind != DecodeClass::clean) return;
  photo.kind = PlannedPhoto::Kind::whole;
  photo.runs = straight;
  photo.why.clear();
  photo.stopped_at = no_position;
}

// A photo whose first look did not complete it: put together by the search,
// or left incomplete with why.
void plan_search(const FragmentSearch& search, const PhotoScan& scan, const FirstLook& first,
                 PlannedPhoto& photo) {
  if (first.kind == FirstLook::Kind::first_block) {
    photo.why = "its data stops before the first block of its scan";
    return;
  }
  if (first.kind != FirstLook::Kind::broken) {
    photo.why = "its scan could not be decoded";
    return;
  }
  Reassembly r = search.reassemble(scan);
  if (!r.complete) {
    photo.why = r.why;
    photo.stopped_at = r.stopped_at;
    return;
  }
  photo.kind = r.runs.size() == 1 ? PlannedPhoto::Kind::whole : PlannedPhoto::Kind::pieces;
  photo.runs = r.runs;
}

}  // namespace

std::vector<PlannedPhoto> plan_photo_recovery(const ByteRegion& input, std::uint64_t block,
                                              const std::function<void(Offset)>& progress,
                                              SearchLog* log) {
  std::vector<PlannedPhoto> photos;
  std::vector<PhotoScan> scans;          // per photo (searchable ones only meaningful)
  std::vector<FirstLook> first_looks;
  ClaimedSpans claims;
  FragmentSearch search(input, block, claims);
  search.keep_log(log);
  EoiPairSearch eoi_pairs;
  Offset host = no_position, host_data = 0;

  for (Offset p = next_soi(input, 0); p != no_position; p = next_soi(input, p + 1)) {
    progress(p);
    PlannedPhoto photo;
    photo.soi = p;
    PhotoScan scan{&input, FrameHeader{}, p, block};
    FirstLook first;
    if (host != no_position && p < host_data) {
      photo.kind = PlannedPhoto::Kind::embedded;
      photo.host = host;
    } else if (!read_frame_header(input, p, scan.header)) {
      photo.kind = PlannedPhoto::Kind::no_frame;
    } else {
      host = p;
      host_data = scan.header.data_at;
      if (!scan.header.single_sequential_scan()) {
        plan_unsearchable(input, scan.header, photo, eoi_pairs);
      } else {
        first = search.first_look(scan);
        if (first.kind == FirstLook::Kind::complete) {
          photo.kind = PlannedPhoto::Kind::whole;
          photo.runs = {{p, first.eoi_end - p}};
          claims.claim(photo.runs);
        }
      }
    }
    photos.push_back(photo);
    scans.push_back(scan);
    first_looks.push_back(first);
  }

  for (std::size_t i = 0; i < photos.size(); ++i) {
    PlannedPhoto& photo = photos[i];
    if (photo.kind != PlannedPhoto::Kind::incomplete || !photo.why.empty()) continue;
    progress(photo.soi);
    plan_search(search, scans[i], first_looks[i], photo);
    if (photo.kind == PlannedPhoto::Kind::incomplete)
      take_straight_stream(input, scans[i].header, photo, eoi_pairs);
    if (photo.kind != PlannedPhoto::Kind::incomplete) claims.claim(photo.runs);
  }
  return photos;
}

}  // namespace segsniff
