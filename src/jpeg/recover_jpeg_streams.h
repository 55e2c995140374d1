// Recovery carving: every FF D8 pair of an input is tried as the start of a
// JPEG stream, and every stream whose marker walk reaches an End-of-Image
// marker is written to a numbered file in the current directory.
#pragma once

#include <cstdint>

namespace segsniff {

// State of one carving run: the output numbers run on across all the files
// of one command line, so a run never overwrites its own output.
struct CarvingRun {
  long last_number = 0;  // the number of the last name formed; 0 before the first
  std::uint64_t eoi_bytes_searched = 0;  // work of the FF D9 searches, for tests that bound it
};

// The input being carved: the mapped bytes, and which file they are (so that
// an output name that refers to the input is never opened for writing).
struct CarvedInput {
  const std::uint8_t* base = nullptr;
  std::uint64_t size = 0;
  bool identity_known = false;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

// Tries every FF D8 pair of the input as the start of a JPEG stream and
// writes each stream that reaches an End-of-Image marker to
// "segsniff_recover_%03d.jpg" in the current directory.
//
// Every pair is a candidate, also those inside a stream just written (an
// Exif thumbnail is written as a file of its own, after its image), and the
// scan always resumes one byte after the candidate's FF.  Each candidate's
// walk runs over a window from its FF D8 to the end of the input, so its
// marker offsets count from the FF D8.  One WalkContext serves the whole
// input: its memo of FF D9 pairs keeps the total work linear in the input
// size even when thousands of truncated heads share the same stretch of
// data without an End-of-Image marker.
void recover_jpeg_streams(const CarvedInput& input, CarvingRun& run);

}  // namespace segsniff
