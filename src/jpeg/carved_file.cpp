#include "jpeg/carved_file.h"

#include <cinttypes>
#include <cstdio>

#include "platform/output_file.h"

namespace segsniff {

namespace {

// The name of output number `number`, in the output folder.
std::string output_name(const CarvingRun& run, std::int64_t number) {
  char name[48];
  std::snprintf(name, sizeof name, "segsniff_recover_%03" PRId64 ".jpg", number);
  if (run.output_folder.empty()) return name;
  return run.output_folder + (platform::is_path_separator(run.output_folder.back()) ? "" : "/") +
         name;
}

// Creates the file of the next free number.  A name that is taken, by
// anything, is passed over; a number whose file could not be created for
// another reason is used up.  Returns 0 or the code of the failure.
int create_next_file(CarvingRun& run, platform::OutputFile& file, std::string& name) {
  for (;;) {
    run.last_number += 1;
    name = output_name(run, run.last_number);
    const int status = file.create_new(name.c_str());
    if (status != platform::name_taken) return status;
  }
}

}  // namespace

CarvedFile write_carved_file(const CarvedInput& input, const ByteRuns& runs, CarvingRun& run) {
  CarvedFile carved;
  platform::OutputFile file;
  carved.create_error = create_next_file(run, file, carved.name);
  carved.number = run.last_number;
  if (carved.create_error != 0) return carved;
  const ByteRegion whole = ByteRegion::over(input.base, input.size);
  for (const ByteRun& piece : runs) {
    const std::size_t written = file.write(whole.bytes(piece.offset, piece.length), carved.write_error);
    carved.written += written;
    if (written != piece.length) break;
  }
  // A failing close loses data the system had taken: as bad as a short write.
  const int close_error = file.close();
  if (carved.write_error == 0) carved.write_error = close_error;
  return carved;
}

void report_carved_file(const CarvedInput& input, const ByteRuns& runs, bool pieces,
                        const CarvedFile& file, CarvingRun& run, Printer& printer) {
  CarvedOutput output;
  output.name = file.name;
  output.number = file.number;
  output.runs = runs;
  output.input = ByteRegion::over(input.base, input.size);
  output.length = total_length(runs);
  output.pieces = pieces;
  output.create_error = file.create_error;
  output.written = file.written;
  output.write_error = file.write_error;
  printer.carved_output(output);
  if (output.succeeded()) {
    run.tally.files += 1;
    run.tally.bytes += output.length;
  } else {
    run.tally.failures += 1;
  }
}

}  // namespace segsniff
