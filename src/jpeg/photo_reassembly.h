// Which photos of an input can be recovered whole, and from which byte
// runs: the planning half of carving with -fragments (the other half,
// recover_fragmented_streams, prints and writes).
//
// Every FF D8 pair is a candidate, as in plain carving.  A candidate whose
// SOI lies inside the header of the photo before it (an Exif thumbnail, a
// preview) belongs to that photo and is not a photo of its own.  The others
// are planned in two passes over the input:
//   1. each photo's scan is followed straight from its SOI; the photos that
//      decode to their EOI without a fault are complete, and their bytes
//      are claimed;
//   2. each photo whose data stopped being its own is put together by the
//      fragment search, in the order of the SOIs, with the bytes of the
//      photos complete so far passed over; what it puts together is claimed
//      in turn.
// Streams the search cannot follow (progressive or arithmetic-coded frames,
// several scans) are taken as plain carving finds them when they decode
// without a warning.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "jpeg/byte_region.h"
#include "jpeg/byte_runs.h"
#include "jpeg/search_log.h"

namespace segsniff {

struct PlannedPhoto {
  enum class Kind {
    whole,        // complete in one run, from SOI to EOI
    pieces,       // put together from several runs
    incomplete,   // a photo that could not be completed: nothing to write
    embedded,     // inside the header of the photo at `host`
    no_frame,     // no frame and scan header follow the SOI
  };
  Offset soi = 0;
  Kind kind = Kind::incomplete;
  ByteRuns runs;                   // whole and pieces: the photo's bytes
  Offset host = no_position;       // embedded: the SOI of the photo holding it
  Offset stopped_at = no_position; // incomplete: how far its data was followed
  std::string why;                 // incomplete: why
};

// Plans every candidate of the input, in the order of their SOIs; `block`
// is the cluster size (blocks start at each photo's SOI).  `progress` is
// told the SOI reached, in each of the two passes.  The fragment searches
// are recorded in `log` when one is given.
std::vector<PlannedPhoto> plan_photo_recovery(
    const ByteRegion& input, std::uint64_t block,
    const std::function<void(Offset)>& progress = [](Offset) {}, SearchLog* log = nullptr);

}  // namespace segsniff
