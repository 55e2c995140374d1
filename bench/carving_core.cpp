// The carving loop of segsniff in-process with the console discarded: the
// same recover_jpeg_streams over the same mapping, output files written to
// the current folder, but every printed byte dropped by a null channel
// writer.  Next to "segsniff -recover" it shows how much of a run is the
// carving itself and how much the console output (the marker and Exif
// dumps of the images found).
//
//   carving_core <image>
#include <cinttypes>
#include <cstdio>

#include "jpeg/recover_jpeg_streams.h"
#include "shell/channels.h"
#include "shell/text_printer.h"
#include "mapped_file.h"

namespace {
void discard(segsniff::Channel, const char*, std::size_t) {}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <image>\n", argv[0]);
    return 1;
  }
  const MappedFile image(argv[1], 1);
  if (!image.ok()) return 1;
  segsniff::set_channel_writer(discard);
  segsniff::CarvingRun run;
  segsniff::CarvedInput input{image.base(), image.size()};
  segsniff::TextPrinter printer;
  segsniff::recover_jpeg_streams(input, run, printer);
  segsniff::flush_output();
  std::printf("%" PRId64 " files, %llu bytes searched for FF D9\n", run.last_number,
              static_cast<unsigned long long>(run.eoi_bytes_searched));
  return 0;
}
