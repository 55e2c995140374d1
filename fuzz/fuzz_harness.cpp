#include "fuzz_harness.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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
void remove_carved_files(long last_number) {
  for (long number = 1; number <= last_number; ++number) {
    char name[64];
    std::snprintf(name, sizeof name, "segsniff_recover_%03ld.jpg", number);
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

void analyse_input(const std::uint8_t* data, std::size_t size, Mode mode) {
  prepare_fuzzing();
  // An empty file is refused before it is mapped: no analysis ever sees one.
  if (size == 0) return;
  CarvedInput input{data, size};
  CarvingRun run;
  run.fragments = mode == Mode::fragments;
  run.block_size = fragment_block;
  TextPrinter printer;  // the listing is formatted, then dropped by the null writer
  analyse_mapped_bytes(input, mode != Mode::dump, run, printer);
  flush_output();
  remove_carved_files(run.last_number);
  // Every walk and every Exif block puts back the byte order it found.
  if (intel_order) __builtin_trap();
}

bool fragments_within_budget(const std::uint8_t* data, std::size_t size) {
  constexpr std::uint64_t budget = 4096;
  const std::uint64_t blocks = size / fragment_block + 1;
  std::uint64_t pairs = 0;
  for (std::size_t p = 0; p + 1 < size; ++p) {
    const void* hit = std::memchr(data + p, 0xFF, size - 1 - p);
    if (hit == nullptr) break;
    p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data);
    if (data[p + 1] == 0xD8 && ++pairs * blocks * blocks > budget) return false;
  }
  return true;
}

}  // namespace segsniff::fuzz
