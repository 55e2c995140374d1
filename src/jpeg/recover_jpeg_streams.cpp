#include "jpeg/recover_jpeg_streams.h"

#include "jpeg/byte_region.h"
#include "jpeg/carved_file.h"
#include "jpeg/scan_jpeg_markers.h"
#include "jpeg/walk_context.h"
#include "platform/output_file.h"
#include "shell/carving_progress.h"
#include "shell/printer.h"

namespace segsniff {

namespace {

// While a progress line is shown, the search for the next pair stops this
// often to let it move on over stretches without any.
constexpr Offset progress_step = Offset{16} << 20;

// The next candidate from `from` on.  With a progress line, the search goes
// in steps and the line is offered each position reached.
//
// This is the one loop whose job is to search for a byte pair rather than to
// walk a structure: every FF D8 pair is a candidate.
Offset next_candidate(const ByteRegion& input, Offset from, CarvingRun& run) {
  if (run.progress == nullptr) return find_byte_pair(input, from, input.end(), 0xFF, 0xD8);
  for (;;) {
    const Offset stop = input.end() - from > progress_step ? from + progress_step : input.end();
    const Offset found = find_byte_pair(input, from, stop, 0xFF, 0xD8);
    if (found != no_position || stop == input.end()) return found;
    run.progress->advance(stop, run.tally);
    from = stop;
  }
}

// Writes one complete stream, the bytes start .. stop-1, to a new numbered
// file, then tells the printer.
void write_stream(const CarvedInput& input, Offset start, Offset stop, CarvingRun& run,
                  Printer& printer) {
  const ByteRuns runs = {{start, stop - start}};
  report_carved_file(input, runs, /*pieces=*/false, write_carved_file(input, runs, run), run,
                     printer);
}

}  // namespace

bool use_output_folder(const char* folder, CarvingRun& run, Printer& printer) {
  run.output_folder = folder;
  const int error = platform::make_folder(folder);
  run.output_folder_failed = error != 0;
  if (error != 0) printer.output_folder_failed(folder, error);
  return error == 0;
}

void recover_jpeg_streams(const CarvedInput& input, CarvingRun& run, Printer& printer) {
  const ByteRegion whole = ByteRegion::over(input.base, input.size);
  // One for the whole input, so that the FF D9 memo is shared, and so that
  // segment bytes earn their allowance once however many candidates walk
  // them; walks over them again draw on a reserve (walk_budget.h).
  WalkContext context(printer);
  context.budget.set_reserve(input.size);

  for (Offset p = next_candidate(whole, 0, run); p != no_position;
       p = next_candidate(whole, p + 1, run)) {
    run.tally.candidates += 1;
    if (run.progress != nullptr) run.progress->advance(p, run.tally);
    printer.carving_candidate(p);
    ByteRegion candidate = whole.slice(p, input.size);
    scan_jpeg_markers(candidate, context);
    if (candidate.contains_or_end(candidate.cursor()))
      write_stream(input, p, candidate.cursor(), run, printer);
  }
  run.eoi_bytes_searched += context.eoi_pairs.bytes_searched();
}

}  // namespace segsniff
