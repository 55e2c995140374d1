// Writing a carved stream to a new numbered file in the output folder, and
// reporting what became of it.  Plain carving writes one run of the input
// per file; carving with -fragments writes the runs a photo was put
// together from.
#pragma once

#include <cstdint>
#include <string>

#include "jpeg/byte_runs.h"
#include "jpeg/recover_jpeg_streams.h"
#include "shell/printer.h"

namespace segsniff {

struct CarvedFile {
  std::string name;          // the name taken (or tried last, when creation failed)
  std::int64_t number = 0;   // the number in that name
  int create_error = 0;      // the system's code of a failed creation, else 0
  std::uint64_t written = 0; // bytes the system took
  int write_error = 0;       // the code of a short write or a failed close, else 0
};

// Creates the file of the next free number ("segsniff_recover_%03d.jpg" in
// the output folder; a name already taken by anything is passed over, a
// number whose file could not be created for another reason is used up) and
// writes the runs into it, in order, straight from the mapped input.
CarvedFile write_carved_file(const CarvedInput& input, const ByteRuns& runs, CarvingRun& run);

// Tells the printer what became of the file written from `runs`
// (carved_output: the "restore" line or lines, and the failure line, if
// any; the text printer then flushes the listing, so a run that is stopped
// never loses the line of a file it wrote), and counts it in the tally.
// `pieces`: a photo put together from pieces, listed run by run.
void report_carved_file(const CarvedInput& input, const ByteRuns& runs, bool pieces,
                        const CarvedFile& file, CarvingRun& run, Printer& printer);

}  // namespace segsniff
