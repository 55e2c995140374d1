// Carving with -fragments: photos whose clusters lie apart on a card are
// followed across the gaps and written whole (see photo_reassembly.h for
// the plan and fragment_search.h for the search).
#pragma once

#include "jpeg/recover_jpeg_streams.h"
#include "shell/printer.h"

namespace segsniff {

// Plans the input, then goes through its FF D8 pairs as plain carving does
// (the "found SOI-Marker" line and the marker walk of each), and for each
// says what became of it: a photo complete in one run gets plain carving's
// "restore" line, one put together from several runs a "restore ... from N
// byte runs" line and one line per run, one that could not be completed a
// line saying why (nothing is written for it), a stream inside another
// photo's header a line naming that photo.  Files are written as plain
// carving writes them.  Blocks are the cluster size of a FAT or exFAT boot
// sector at the start of the input (or of its first partition), else
// run.block_size or 4096 bytes.  Everything is told to `printer` (see
// Printer::fragments_block_size, photo_left_out, carved_output).  Adds to
// run.tally.
void recover_fragmented_streams(const CarvedInput& input, CarvingRun& run, Printer& printer);

}  // namespace segsniff
