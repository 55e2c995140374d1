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

// A frame the search cannot follow: the stream as plain carving cuts it
// (SOI to the first FF D9 after the first scan header), if it decodes
// cleanly.
void plan_unsearchable(const ByteRegion& input, const FrameHeader& header, PlannedPhoto& photo,
                       EoiPairSearch& eoi_pairs) {
  ByteRegion window = input.slice(photo.soi, input.end());
  const Offset eoi = eoi_pairs.next_pair(window, header.data_at);
  if (eoi == no_position) {
    photo.why = "its frame is not one the search can follow, and no EOI follows it";
    return;
  }
  const DecodeCheck check = decode_check(input, photo.soi, eoi + 2);
  if (check.kind == DecodeClass::clean) {
    photo.kind = PlannedPhoto::Kind::whole;
    photo.runs = {{photo.soi, eoi + 2 - photo.soi}};
    return;
  }
  photo.why = "its frame is not one the search can follow, and it does not decode cleanly: " +
              check.message;
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
    if (first_looks[i].kind == FirstLook::Kind::first_block) {
      photo.why = "its data stops before the first block of its scan";
      continue;
    }
    if (first_looks[i].kind != FirstLook::Kind::broken) {
      photo.why = "its scan could not be decoded";
      continue;
    }
    Reassembly r = search.reassemble(scans[i]);
    if (!r.complete) {
      photo.why = r.why;
      photo.stopped_at = r.stopped_at;
      continue;
    }
    photo.kind = r.runs.size() == 1 ? PlannedPhoto::Kind::whole : PlannedPhoto::Kind::pieces;
    photo.runs = r.runs;
    claims.claim(photo.runs);
  }
  return photos;
}

}  // namespace segsniff
