#pragma once

#include <cstdint>

namespace segsniff {

// State of one carving run: the output numbers run on across all the files
// of one command line, so a run never overwrites its own output.
struct CarvingRun {
  int last_number = 0;
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
void recover_jpeg_streams(const CarvedInput& input, CarvingRun& run);

}  // namespace segsniff
