#include "jpeg/recover_jpeg_streams.h"

#include <cstdio>
#include <cstring>
#include <span>

#include "jpeg/byte_region.h"
#include "jpeg/scan_jpeg_markers.h"
#include "jpeg/walk_context.h"
#include "platform/output_file.h"
#include "platform/system_error.h"
#include "shell/carving_progress.h"
#include "shell/channels.h"
#include "shell/error_report.h"

namespace segsniff {

namespace {

// While a progress line is shown, the search for the next pair stops this
// often to let it move on over stretches without any.
constexpr Offset progress_step = Offset{16} << 20;

// The first FF D8 pair whose FF lies in [from, stop), or no_position.
//
// This is the one loop whose job is to search for a byte pair rather than to
// walk a structure.  memchr finds the 0xFF bytes at memory speed; only those
// are looked at, with the byte after them.
Offset next_soi_pair(std::span<const std::uint8_t> input, Offset from, Offset stop) {
  if (input.size() < 2) return no_position;
  // A pair's FF lies before the input's last byte.
  const Offset limit = stop < input.size() - 1 ? stop : input.size() - 1;
  if (from >= limit) return no_position;
  const std::uint8_t* start = input.data();
  const std::uint8_t* last = start + limit;
  const std::uint8_t* p = start + from;
  while (p < last) {
    const void* hit = std::memchr(p, 0xFF, static_cast<std::size_t>(last - p));
    if (hit == nullptr) break;
    p = static_cast<const std::uint8_t*>(hit);
    if (p[1] == 0xD8) return static_cast<Offset>(p - start);
    ++p;
  }
  return no_position;
}

// The next candidate from `from` on.  With a progress line, the search goes
// in steps and the line is offered each position reached.
Offset next_candidate(std::span<const std::uint8_t> input, Offset from, CarvingRun& run) {
  if (run.progress == nullptr) return next_soi_pair(input, from, input.size());
  for (;;) {
    const Offset stop = input.size() - from > progress_step ? from + progress_step : input.size();
    const Offset found = next_soi_pair(input, from, stop);
    if (found != no_position || stop == input.size()) return found;
    run.progress->advance(stop, run.tally);
    from = stop;
  }
}

// The name of output number `number`, in the output folder.
std::string output_name(const CarvingRun& run, long number) {
  char name[48];
  std::snprintf(name, sizeof name, "segsniff_recover_%03ld.jpg", number);
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

// Writes one complete stream, the bytes start .. stop-1, to a new numbered
// file.  The file is written and closed before its "restore" line is
// printed, so the name in the line is the name taken; the line, and a
// failure after it, are then flushed at once.
void write_stream(const CarvedInput& input, Offset start, Offset stop, CarvingRun& run) {
  const std::uint64_t length = stop - start;
  platform::OutputFile file;
  std::string name;
  const int create_error = create_next_file(run, file, name);
  std::size_t written = 0;
  int write_error = 0;
  if (create_error == 0) {
    const ByteRegion whole = ByteRegion::over(input.base, input.size);
    written = file.write(whole.bytes(start, length), write_error);
    // A failing close loses data the system had taken: as bad as a short write.
    const int close_error = file.close();
    if (write_error == 0) write_error = close_error;
  }

  const std::string shown_name = shown_string(name);  // holds the output folder's name
  result_sink("restore %ld bytes to file '%s' (offset %ld to %ld)\n", static_cast<long>(length),
              shown_name.c_str(), static_cast<long>(start), static_cast<long>(stop));
  if (create_error != 0) {
    error_sink("could not create file '%s'\n", shown_name.c_str());
    run.tally.failures += 1;
  } else if (written != length || write_error != 0) {
    error_sink("error %d ('%s') in writing file; only written %ld byte\n", write_error,
               platform::error_text_in_line(write_error).c_str(), static_cast<long>(written));
    run.tally.failures += 1;
  } else {
    run.tally.files += 1;
    run.tally.bytes += length;
  }
  flush_output();
}

}  // namespace

bool use_output_folder(const char* folder, CarvingRun& run) {
  run.output_folder = folder;
  const int error = platform::make_folder(folder);
  run.output_folder_failed = error != 0;
  if (error != 0) {
    err_stream << "Create folder '" << shown(folder) << "' failed\n";
    report_last_error(error);
  }
  return error == 0;
}

void recover_jpeg_streams(const CarvedInput& input, CarvingRun& run) {
  const ByteRegion whole = ByteRegion::over(input.base, input.size);
  const std::span<const std::uint8_t> bytes = whole.bytes(0, input.size);
  // One for the whole input, so that the FF D9 memo is shared, and so that
  // segment bytes earn their allowance once however many candidates walk
  // them; walks over them again draw on a reserve (walk_budget.h).
  WalkContext context;
  context.budget.set_reserve(input.size);

  for (Offset p = next_candidate(bytes, 0, run); p != no_position;
       p = next_candidate(bytes, p + 1, run)) {
    run.tally.candidates += 1;
    if (run.progress != nullptr) run.progress->advance(p, run.tally);
    info_sink("found SOI-Marker at offset %08lX\n", static_cast<unsigned long>(p));
    ByteRegion candidate{input.base, p, input.size, p};
    scan_jpeg_markers(candidate, context);
    if (candidate.contains_or_end(candidate.cursor)) write_stream(input, p, candidate.cursor, run);
  }
  run.eoi_bytes_searched += context.eoi_pairs.bytes_searched();
}

}  // namespace segsniff
