#include "jpeg/recover_jpeg_streams.h"

#include <cerrno>
#include <cstdio>

#include "jpeg/byte_region.h"
#include "jpeg/scan_jpeg_markers.h"
#include "jpeg/walk_context.h"
#include "platform/output_file.h"
#include "shell/carving_progress.h"

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

// The name of output number `number`, in the output folder.
std::string output_name(const CarvingRun& run, long number) {
  char name[48];
  std::snprintf(name, sizeof name, "segsniff_recover_%03ld.jpg", number);
  if (run.output_folder.empty()) return name;
  return run.output_folder + (run.output_folder.back() == '/' ? "" : "/") + name;
}

// Creates the file of the next free number.  A name that is taken, by
// anything, is passed over; a number whose file could not be created for
// another reason is used up.  Returns 0 or the errno of the failure.
int create_next_file(CarvingRun& run, platform::OutputFile& file, std::string& name) {
  for (;;) {
    run.last_number += 1;
    name = output_name(run, run.last_number);
    const int status = file.create_new(name.c_str());
    if (status != platform::name_taken) return status;
  }
}

// Writes one complete stream, the bytes start .. stop-1, to a new numbered
// file.  The file is written and closed before it is told to the printer,
// so the name in its "restore" line is the name taken.
void write_stream(const ByteRegion& input, Offset start, Offset stop, CarvingRun& run,
                  Printer& printer) {
  platform::OutputFile file;
  std::string name;
  CarvedOutput output;
  output.start = start;
  output.stop = stop;
  output.bytes = input.bytes(start, stop - start);
  output.create_error = create_next_file(run, file, name);
  if (output.create_error == 0) {
    output.written = file.write(output.bytes);
    output.write_error = output.written == output.bytes.size() ? 0 : errno;
    // A failing close loses data the system had taken: as bad as a short write.
    const int close_error = file.close();
    if (output.write_error == 0) output.write_error = close_error;
  }
  output.name = name;
  printer.carved_output(output);
  if (output.succeeded()) {
    run.tally.files += 1;
    run.tally.bytes += output.written;
  } else {
    run.tally.failures += 1;
  }
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
      write_stream(whole, p, candidate.cursor(), run, printer);
  }
  run.eoi_bytes_searched += context.eoi_pairs.bytes_searched();
}

}  // namespace segsniff
