// State that belongs to one analysis (one file in dump mode, one carving
// run over one file) and is handed down through every nested walk instead
// of living in globals.
#pragma once

#include "jpeg/eoi_pair_search.h"
#include "jpeg/walk_budget.h"
#include "shell/printer.h"

namespace segsniff {

// Nested marker walks (thumbnail, JPEGTables) go no deeper than this; the
// file's own walk (or a carving candidate's) is level 1.
inline constexpr int max_walk_depth = 16;

struct WalkContext {
  explicit WalkContext(Printer& p) : printer(p) {}
  Printer& printer;         // everything the walk finds is said through it
  int depth = 0;            // marker walks open right now
  WalkBudget budget;        // what the image being walked may still spend
  EoiPairSearch eoi_pairs;  // remembers where the next FF D9 pair is
};

}  // namespace segsniff
