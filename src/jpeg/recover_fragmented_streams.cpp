#include "jpeg/recover_fragmented_streams.h"

#include "jpeg/carved_file.h"
#include "jpeg/cluster_size.h"
#include "jpeg/decode_check.h"
#include "jpeg/photo_reassembly.h"
#include "jpeg/scan_jpeg_markers.h"
#include "jpeg/walk_context.h"
#include "shell/carving_progress.h"

namespace segsniff {

namespace {

// Writes a photo that can be written (whole, or put together from several
// runs, listed run by run), or says why a candidate is not.
void report_planned(const CarvedInput& input, const PlannedPhoto& photo, CarvingRun& run,
                    Printer& printer) {
  switch (photo.kind) {
    case PlannedPhoto::Kind::whole:
    case PlannedPhoto::Kind::pieces:
      report_carved_file(input, photo.runs, photo.kind == PlannedPhoto::Kind::pieces,
                         write_carved_file(input, photo.runs, run), run, printer);
      break;
    case PlannedPhoto::Kind::incomplete:
      printer.photo_left_out(PhotoLeftOut::incomplete, photo.soi, photo.host, photo.why);
      break;
    case PlannedPhoto::Kind::embedded:
      printer.photo_left_out(PhotoLeftOut::embedded, photo.soi, photo.host, photo.why);
      break;
    case PlannedPhoto::Kind::no_frame:
      printer.photo_left_out(PhotoLeftOut::no_frame, photo.soi, photo.host, photo.why);
      break;
  }
}

// The block size, told with where it came from.
std::uint64_t choose_block_size(const ByteRegion& whole, const CarvingRun& run, Printer& printer) {
  if (const std::uint64_t cluster = cluster_size_from_boot_sector(whole)) {
    printer.fragments_block_size(cluster, /*from_boot_sector=*/true);
    return cluster;
  }
  const std::uint64_t block = run.block_size != 0 ? run.block_size : default_cluster_size;
  printer.fragments_block_size(block, /*from_boot_sector=*/false);
  return block;
}

}  // namespace

void recover_fragmented_streams(const CarvedInput& input, CarvingRun& run, Printer& printer) {
  if (!decode_check_available()) {
    printer.finding(Channel::err, no_position,
                    "Will not carve with -fragments: JPEG decoding is not available in this"
                    " build\n");
    run.tally.failures += 1;
    return;
  }
  const ByteRegion whole = ByteRegion::over(input.base, input.size);
  const std::uint64_t block = choose_block_size(whole, run, printer);
  const std::vector<PlannedPhoto> plan = plan_photo_recovery(whole, block, [&run](Offset p) {
    if (run.progress != nullptr) run.progress->advance(p, run.tally);
  });

  // The walks narrate each candidate as plain carving's do; one context for
  // the whole input, as there (walk_budget.h).
  WalkContext context(printer);
  context.budget.set_reserve(input.size);
  for (const PlannedPhoto& photo : plan) {
    run.tally.candidates += 1;
    if (run.progress != nullptr) run.progress->advance(photo.soi, run.tally);
    printer.carving_candidate(photo.soi);
    ByteRegion candidate = whole.slice(photo.soi, input.size);
    scan_jpeg_markers(candidate, context);
    report_planned(input, photo, run, printer);
  }
  run.eoi_bytes_searched += context.eoi_pairs.bytes_searched();
}

}  // namespace segsniff
