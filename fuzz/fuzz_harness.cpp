#include "fuzz_harness.h"

#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <rapidjson/reader.h>

#include <set>
#include <vector>

#include "jpeg/byte_region.h"
#include "jpeg/scan_file.h"
#include "shell/carving_report.h"
#include "shell/channels.h"
#include "shell/json_printer.h"
#include "shell/report_printer.h"
#include "shell/text_printer.h"

namespace segsniff::fuzz {

namespace {

void null_writer(Channel, const char*, std::size_t) {}

// Standard output of the JSON analysis; standard error is dropped.
std::string captured;
void capture_writer(Channel channel, const char* data, std::size_t size) {
  if (channel == Channel::out) captured.append(data, size);
}

// A RapidJSON reader handler that fails on a key met twice in one object.
class KeyChecker : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, KeyChecker> {
 public:
  bool StartObject() {
    keys_.emplace_back();
    return true;
  }
  bool Key(const char* text, rapidjson::SizeType length, bool) {
    return keys_.back().insert(std::string(text, length)).second;
  }
  bool EndObject(rapidjson::SizeType) {
    keys_.pop_back();
    return true;
  }
  bool Default() { return true; }

 private:
  std::vector<std::set<std::string>> keys_;
};

// Every line one object; the output ends with a line feed.
bool valid_json_lines(const std::string& text) {
  if (text.empty() || text.back() != '\n') return false;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    const std::string line = text.substr(start, end - start);
    if (line.empty() || line.front() != '{') return false;
    rapidjson::StringStream stream(line.c_str());
    rapidjson::Reader reader;
    KeyChecker checker;
    if (reader.Parse<rapidjson::kParseValidateEncodingFlag>(stream, checker).IsError())
      return false;
    start = end + 1;
  }
  return true;
}

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

void analyse_input(const std::uint8_t* data, std::size_t size, Mode mode) {
  prepare_fuzzing();
  // An empty file is refused before it is mapped: no analysis ever sees one.
  if (size == 0) return;
  CarvedInput input{data, size};
  CarvingRun run;
  run.fragments = mode == Mode::fragments;
  run.block_size = fragment_block;
  TextPrinter printer;  // the listing is formatted, then dropped by the null writer
  if (mode != Mode::dump && carving_report_available()) {
    // The carving is described in a report as well, which is written and
    // removed again: its records, digests, decode checks and hosts are
    // made from whatever the input holds.
    CarvingReport report;
    if (!report.open("report.xml", "fuzz")) std::abort();
    ReportPrinter observer(printer, report);
    observer.next_input_carved(true);
    observer.file_begin("input");
    analyse_mapped_bytes(input, true, run, observer);
    observer.file_end();
    if (!report.close()) std::abort();
    ::unlink("report.xml");
  } else {
    analyse_mapped_bytes(input, mode != Mode::dump, run, printer);
  }
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

void analyse_input_as_json(const std::uint8_t* data, std::size_t size, bool recovery) {
  prepare_fuzzing();
  if (size == 0) return;
  CarvedInput input{data, size};
  CarvingRun run;
  captured.clear();
  set_channel_writer(capture_writer);
  {
    JsonPrinter printer;
    printer.set_carving(recovery);
    printer.file_begin("fuzz input");
    printer.file_size(size);
    printer.file_mapped(size);
    analyse_mapped_bytes(input, recovery, run, printer);
    printer.file_end();
  }
  flush_output();
  set_channel_writer(null_writer);
  remove_carved_files(run.last_number);
  if (intel_order) __builtin_trap();
  if (!valid_json_lines(captured)) __builtin_trap();
}

}  // namespace segsniff::fuzz
