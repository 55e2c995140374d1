#include "jpeg/recover_jpeg_streams.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>

#include "jpeg/byte_region.h"
#include "jpeg/scan_jpeg_markers.h"
#include "jpeg/walk_context.h"
#include "platform/output_file.h"
#include "shell/channels.h"

namespace segsniff {

namespace {

// The first FF D8 pair whose FF lies at or after `from`, or no_position.
//
// This is the one loop whose job is to search for a byte pair rather than to
// walk a structure.  memchr finds the 0xFF bytes at memory speed; only those
// are looked at, with the byte after them.
Offset next_soi_pair(std::span<const std::uint8_t> input, Offset from) {
  if (input.size() < 2 || from >= input.size() - 1) return no_position;
  const std::uint8_t* start = input.data();
  const std::uint8_t* last = start + input.size() - 1;  // a pair's FF lies before it
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

// Writes one complete stream, the bytes start .. stop-1, to the next
// numbered file.  The number is used up whatever becomes of the file.
void write_stream(const CarvedInput& input, Offset start, Offset stop, CarvingRun& run) {
  run.last_number += 1;
  char name[48];
  std::snprintf(name, sizeof name, "segsniff_recover_%03ld.jpg", run.last_number);
  const std::uint64_t length = stop - start;
  result_sink("restore %ld bytes to file '%s' (offset %ld to %ld)\n", static_cast<long>(length),
              name, static_cast<long>(start), static_cast<long>(stop));

  const platform::FileIdentity identity{input.device, input.inode};
  platform::OutputFile file;
  const int status = file.create(name, input.identity_known ? &identity : nullptr);
  if (status == platform::output_is_input) {
    error_sink("will not write file '%s': it is the file being scanned\n", name);
    return;
  }
  if (status != 0) {
    error_sink("could not create file '%s'\n", name);
    return;
  }

  const ByteRegion whole = ByteRegion::over(input.base, input.size);
  const std::size_t written = file.write(whole.bytes(start, length));
  int error = written == length ? 0 : errno;
  // A failing close loses data the system had taken: as bad as a short write.
  const int close_error = file.close();
  if (error == 0) error = close_error;
  if (written != length || error != 0)
    error_sink("error %d ('%s') in writing file; only written %ld byte\n", error,
               std::strerror(error), static_cast<long>(written));
}

}  // namespace

void recover_jpeg_streams(const CarvedInput& input, CarvingRun& run) {
  const ByteRegion whole = ByteRegion::over(input.base, input.size);
  const std::span<const std::uint8_t> bytes = whole.bytes(0, input.size);
  // One for the whole input, so that the FF D9 memo is shared, and so that
  // segment bytes earn their allowance once however many candidates walk
  // them; walks over them again draw on a reserve (walk_budget.h).
  WalkContext context;
  context.budget.set_reserve(input.size);

  for (Offset p = next_soi_pair(bytes, 0); p != no_position; p = next_soi_pair(bytes, p + 1)) {
    info_sink("found SOI-Marker at offset %08lX\n", static_cast<unsigned long>(p));
    ByteRegion candidate{input.base, p, input.size, p};
    scan_jpeg_markers(candidate, context);
    if (candidate.contains_or_end(candidate.cursor)) write_stream(input, p, candidate.cursor, run);
  }
  run.eoi_bytes_searched += context.eoi_pairs.bytes_searched();
}

}  // namespace segsniff
