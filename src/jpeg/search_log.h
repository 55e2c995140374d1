// What the fragment search did, photo by photo, for measuring and tuning it
// (bench/trace_fragments.cpp prints it): where it looked for the block after
// each cut, how the blocks it decoded scored, which it took and how far the
// photo then went.  Filled in only when a caller hands one to the search.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jpeg/byte_region.h"

namespace segsniff {

struct SearchLog {
  struct Trial {
    Offset block = no_position;
    bool usable = false;
    bool completes = false;
    int rows = 0;
    double score = 0;
  };
  // One search for the block that goes on after a cut.
  struct Search {
    Offset cut = no_position;     // where the photo's data was taken to end
    double level = -1;            // the photo's seam level there (negative: none yet)
    std::vector<Trial> trials;    // the blocks decoded, in the order tried
    Offset chosen = no_position;  // the block taken, if any
    Offset followed_to = no_position;  // the end of the piece followed from it
  };
  struct Photo {
    Offset soi = no_position;
    Offset first_stop = no_position;  // where following it straight from its SOI stopped
    std::vector<Search> searches;
  };
  std::vector<Photo> photos;
};

}  // namespace segsniff
