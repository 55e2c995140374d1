#include "fuzz_harness.h"

#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "jpeg/byte_region.h"
#include "jpeg/scan_file.h"
#include "shell/channels.h"
#include "shell/text_printer.h"

namespace segsniff::fuzz {

namespace {

void null_writer(Channel, const char*, std::size_t) {}

std::string scratch_directory;

void remove_scratch_directory() {
  if (!scratch_directory.empty()) ::rmdir(scratch_directory.c_str());
}

// The names recovery mode gives its output files, numbered from 1.
void remove_carved_files(std::int64_t last_number) {
  for (std::int64_t number = 1; number <= last_number; ++number) {
    char name[64];
    std::snprintf(name, sizeof name, "segsniff_recover_%03" PRId64 ".jpg", number);
    ::unlink(name);
  }
}

}  // namespace

void prepare_fuzzing() {
  if (!scratch_directory.empty()) return;
  set_channel_writer(null_writer);
  const char* temp = std::getenv("TMPDIR");
  std::string pattern = std::string(temp != nullptr && *temp != '\0' ? temp : "/tmp") +
                        "/segsniff-fuzz-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr || ::chdir(pattern.c_str()) != 0) {
    std::perror("segsniff fuzz: scratch directory");
    std::abort();
  }
  scratch_directory = pattern;
  std::atexit(remove_scratch_directory);
}

void analyse_input(const std::uint8_t* data, std::size_t size, bool recovery) {
  prepare_fuzzing();
  // An empty file is refused before it is mapped: no analysis ever sees one.
  if (size == 0) return;
  CarvedInput input{data, size};
  CarvingRun run;
  TextPrinter printer;  // the listing is formatted, then dropped by the null writer
  analyse_mapped_bytes(input, recovery, run, printer);
  flush_output();
  remove_carved_files(run.last_number);
  // Every walk and every Exif block puts back the byte order it found.
  if (intel_order) __builtin_trap();
}

}  // namespace segsniff::fuzz
