// State that belongs to one analysis (one file in dump mode, one carving
// run over one file) and is handed down through every nested walk instead
// of living in globals.
#pragma once

#include "jpeg/eoi_pair_search.h"

namespace segsniff {

// Nested marker walks (thumbnail, JPEGTables) go no deeper than this; the
// file's own walk (or a carving candidate's) is level 1.
inline constexpr int max_walk_depth = 16;

// Nested walks entered under one outermost walk go no further than this: an
// Exif block can hold many thumbnail pairs for the same nested stream, which
// holds many for the next, so without a total the walks multiply level by
// level (a few KiB of input would be walked for days).
inline constexpr int max_embedded_walks = 64;

struct WalkContext {
  int depth = 0;            // marker walks open right now
  int embedded_walks = 0;   // nested walks entered since the outermost walk began
  EoiPairSearch eoi_pairs;  // remembers where the next FF D9 pair is
};

}  // namespace segsniff
