// Recovery carving: every FF D8 pair of an input is tried as the start of a
// JPEG stream, and every stream whose marker walk reaches an End-of-Image
// marker is written to a numbered file in the output folder.
#pragma once

#include <cstdint>
#include <string>

namespace segsniff {

class CarvingProgress;
class Printer;

// What the carving of one input did, for its summary line and exit status.
struct CarvingTally {
  std::uint64_t candidates = 0;  // FF D8 pairs tried
  std::uint64_t files = 0;       // files created
  std::uint64_t bytes = 0;       // bytes written into them
  std::uint64_t failures = 0;    // files that could not be created, fully written or closed
};

// State of one carving run: the output numbers run on across all the files
// of one command line, so a run never overwrites its own output.
struct CarvingRun {
  std::int64_t last_number = 0;  // the number of the last name formed; 0 before the first
  std::uint64_t eoi_bytes_searched = 0;  // work of the FF D9 searches, for tests that bound it
  std::string output_folder;  // "-outdir": where the files go; empty: the current directory
  bool output_folder_failed = false;  // it could not be made: nothing is carved
  std::string report;         // "-report": the report's file; empty when none was asked for
  bool report_failed = false; // it could not be made: nothing is carved
  CarvingTally tally;         // of the input being carved
  CarvingProgress* progress = nullptr;  // shown on a terminal, else null
  bool fragments = false;     // "-fragments": photos are followed across gaps
  std::uint64_t block_size = 0;  // "-blocksize": for -fragments without a boot sector; 0: 4096
};

// The input being carved: the mapped bytes.
struct CarvedInput {
  const std::uint8_t* base = nullptr;
  std::uint64_t size = 0;
};

// "-outdir": the files of later inputs go into `folder`, which is made
// when it does not exist (its parent must).  When it cannot be made, the
// failure is told to the printer, false returned, and later inputs are not carved at
// all until another folder is given: they must not land where the user
// did not want them.
bool use_output_folder(const char* folder, CarvingRun& run, Printer& printer);

// Tries every FF D8 pair of the input as the start of a JPEG stream and
// writes each stream that reaches an End-of-Image marker to
// "segsniff_recover_%03d.jpg" in the output folder.  Each file is created
// new: a name already taken by anything is passed over and the number moves
// on, so nothing is ever replaced and the "restore" line names the file
// actually written.  Each candidate is told to the printer
// (carving_candidate), then its walk, then the file written from it
// (carved_output, after the file is closed; the text printer flushes the
// listing there, so a run that is stopped never loses the line of a file
// it wrote).
//
// Every pair is a candidate, also those inside a stream just written (an
// Exif thumbnail is written as a file of its own, after its image), and the
// scan always resumes one byte after the candidate's FF.  Each candidate's
// walk runs over a window from its FF D8 to the end of the input, so its
// marker offsets count from the FF D8.  One WalkContext serves the whole
// input: its memo of FF D9 pairs keeps the total work linear in the input
// size even when thousands of truncated heads share the same stretch of
// data without an End-of-Image marker.  Adds to run.tally.
void recover_jpeg_streams(const CarvedInput& input, CarvingRun& run, Printer& printer);

}  // namespace segsniff
