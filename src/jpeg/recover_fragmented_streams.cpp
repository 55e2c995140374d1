#include "jpeg/recover_fragmented_streams.h"

#include "jpeg/carved_file.h"
#include "jpeg/cluster_size.h"
#include "jpeg/decode_check.h"
#include "jpeg/photo_reassembly.h"
#include "jpeg/scan_jpeg_markers.h"
#include "jpeg/walk_context.h"
#include "shell/carving_progress.h"
#include "shell/channels.h"

namespace segsniff {

namespace {

// Writes a photo put together from several runs: its line, then one line
// per run.
void write_pieces(const CarvedInput& input, const PlannedPhoto& photo, CarvingRun& run) {
  const std::uint64_t length = total_length(photo.runs);
  const CarvedFile file = write_carved_file(input, photo.runs, run);
  result_sink("restore %ld bytes to file '%s' from %ld byte runs\n", static_cast<long>(length),
              shown_string(file.name).c_str(), static_cast<long>(photo.runs.size()));
  long number = 0;
  for (const ByteRun& piece : photo.runs)
    result_sink("  run %ld: %ld bytes (offset %ld to %ld)\n", ++number,
                static_cast<long>(piece.length), static_cast<long>(piece.offset),
                static_cast<long>(piece.end()));
  report_carved_file(file, length, run);
}

void write_whole(const CarvedInput& input, const PlannedPhoto& photo, CarvingRun& run) {
  const ByteRun whole = photo.runs.front();
  const CarvedFile file = write_carved_file(input, photo.runs, run);
  result_sink("restore %ld bytes to file '%s' (offset %ld to %ld)\n",
              static_cast<long>(whole.length), shown_string(file.name).c_str(), static_cast<long>(whole.offset),
              static_cast<long>(whole.end()));
  report_carved_file(file, whole.length, run);
}

void report_planned(const CarvedInput& input, const PlannedPhoto& photo, CarvingRun& run) {
  switch (photo.kind) {
    case PlannedPhoto::Kind::whole:
      write_whole(input, photo, run);
      break;
    case PlannedPhoto::Kind::pieces:
      write_pieces(input, photo, run);
      break;
    case PlannedPhoto::Kind::incomplete:
      info_sink("no complete photo from offset %ld: %s; nothing written\n",
                static_cast<long>(photo.soi), photo.why.c_str());
      break;
    case PlannedPhoto::Kind::embedded:
      info_sink("inside the header of the photo at offset %ld; not written on its own\n",
                static_cast<long>(photo.host));
      break;
    case PlannedPhoto::Kind::no_frame:
      info_sink("no frame and scan header follow; nothing written\n");
      break;
  }
}

// The block size and where it came from.
std::uint64_t choose_block_size(const ByteRegion& whole, const CarvingRun& run) {
  if (const std::uint64_t cluster = cluster_size_from_boot_sector(whole)) {
    info_sink("fragments: blocks of %ld bytes, the cluster size of the boot sector\n",
              static_cast<long>(cluster));
    return cluster;
  }
  const std::uint64_t block = run.block_size != 0 ? run.block_size : default_cluster_size;
  info_sink("fragments: blocks of %ld bytes (no boot sector found)\n", static_cast<long>(block));
  return block;
}

}  // namespace

void recover_fragmented_streams(const CarvedInput& input, CarvingRun& run) {
  if (!decode_check_available()) {
    err_stream << "Will not carve with -fragments: JPEG decoding is not available in this build\n";
    run.tally.failures += 1;
    return;
  }
  const ByteRegion whole = ByteRegion::over(input.base, input.size);
  const std::uint64_t block = choose_block_size(whole, run);
  const std::vector<PlannedPhoto> plan = plan_photo_recovery(whole, block, [&run](Offset p) {
    if (run.progress != nullptr) run.progress->advance(p, run.tally);
  });

  // The walks narrate each candidate as plain carving's do; one context for
  // the whole input, as there (walk_budget.h).
  WalkContext context;
  context.budget.set_reserve(input.size);
  for (const PlannedPhoto& photo : plan) {
    run.tally.candidates += 1;
    if (run.progress != nullptr) run.progress->advance(photo.soi, run.tally);
    info_sink("found SOI-Marker at offset %08lX\n", static_cast<unsigned long>(photo.soi));
    ByteRegion candidate{input.base, photo.soi, input.size, photo.soi};
    scan_jpeg_markers(candidate, context);
    report_planned(input, photo, run);
  }
  run.eoi_bytes_searched += context.eoi_pairs.bytes_searched();
}

}  // namespace segsniff
