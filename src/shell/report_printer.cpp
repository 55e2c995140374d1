#include "shell/report_printer.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace segsniff {

namespace {

std::string with_error(const char* what, int error) {
  return std::string(what) + ": " + std::strerror(error);
}

std::string refusal_text(CarvingRefusal reason, std::string_view folder) {
  switch (reason) {
    case CarvingRefusal::output_folder_failed:
      return "not carved: the output folder '" + std::string(folder) + "' could not be made";
    case CarvingRefusal::folder_on_device:
      return "not carved: the output folder is on a file system of that device";
    case CarvingRefusal::report_failed:
      return "not carved: the report could not be made";
    case CarvingRefusal::report_on_device:
      return "not carved: the report is on a file system of that device";
  }
  return "not carved";
}

// Whether every run of `inner` lies within one run of `outer`.
bool runs_inside(const ByteRuns& inner, const ByteRuns& outer) {
  return std::all_of(inner.begin(), inner.end(), [&](const ByteRun& run) {
    return std::any_of(outer.begin(), outer.end(), [&](const ByteRun& around) {
      return around.offset <= run.offset && run.end() <= around.end();
    });
  });
}

}  // namespace

void ReportPrinter::file_begin(std::string_view name) {
  report_.stop_if_asked();
  input_ = carved_ ? report_.begin_input(name) : 0;
  ForwardingPrinter::file_begin(name);
}

void ReportPrinter::file_open_failed(std::string_view name, int error) {
  if (recording()) report_.input_error(with_error("could not be opened", error));
  ForwardingPrinter::file_open_failed(name, error);
}

void ReportPrinter::carving_refused(std::string_view name, CarvingRefusal reason,
                                    std::string_view folder) {
  if (recording()) report_.input_error(refusal_text(reason, folder));
  ForwardingPrinter::carving_refused(name, reason, folder);
}

void ReportPrinter::file_size_failed(std::string_view name, int error) {
  if (recording()) report_.input_error(with_error("could not be sized", error));
  ForwardingPrinter::file_size_failed(name, error);
}

void ReportPrinter::file_size(std::uint64_t size) {
  if (recording()) report_.input_size(size);
  ForwardingPrinter::file_size(size);
}

void ReportPrinter::file_map_failed(MapStep step, int error) {
  if (recording()) report_.input_error(with_error("could not be mapped", error));
  ForwardingPrinter::file_map_failed(step, error);
}

void ReportPrinter::file_shrank(std::string_view name, std::uint64_t size_now) {
  if (recording())
    report_.input_error("carving stopped: the file shrank to " + std::to_string(size_now) +
                        " bytes");
  ForwardingPrinter::file_shrank(name, size_now);
}

void ReportPrinter::file_read_error(std::string_view name, std::uint64_t page_offset) {
  if (recording())
    report_.input_error("carving stopped: the page at offset " + std::to_string(page_offset) +
                        " could not be read");
  ForwardingPrinter::file_read_error(name, page_offset);
}

void ReportPrinter::file_end() {
  // Also after an analysis abandoned without closing its walks.
  input_ = 0;
  depth_ = 0;
  frame_.reset();
  exif_ = false;
  hosts_.clear();
  ForwardingPrinter::file_end();
}

void ReportPrinter::walk_begin(Offset begin, Offset end) {
  ++depth_;
  ForwardingPrinter::walk_begin(begin, end);
}

void ReportPrinter::walk_end(Offset stopped_at) {
  if (depth_ > 0) --depth_;
  ForwardingPrinter::walk_end(stopped_at);
}

void ReportPrinter::frame(const FrameInfo& frame) {
  if (depth_ == 1 && !frame_)
    frame_ = RecordFrame{frame.marker, frame.precision, frame.width, frame.height,
                         frame.component_count};
  ForwardingPrinter::frame(frame);
}

void ReportPrinter::tiff_begin(Offset at, bool intel) {
  if (depth_ == 1) exif_ = true;
  ForwardingPrinter::tiff_begin(at, intel);
}

void ReportPrinter::carving_candidate(Offset at) {
  report_.stop_if_asked();
  if (recording()) {
    report_.count_candidate();
    depth_ = 0;
    frame_.reset();
    exif_ = false;
    std::erase_if(hosts_, [at](const OpenHost& open) { return open.last_end <= at; });
  }
  ForwardingPrinter::carving_candidate(at);
}

void ReportPrinter::carved_output(const CarvedOutput& output) {
  if (recording()) {
    const FileRecord record = make_record(output);
    report_.add_file(record);
    keep_as_host(record);
  }
  ForwardingPrinter::carved_output(output);
}

void ReportPrinter::copy_block() {
  report_.stop_if_asked();
  ForwardingPrinter::copy_block();
}

FileRecord ReportPrinter::make_record(const CarvedOutput& output) {
  FileRecord record;
  record.name = std::string(output.name);
  record.number = output.number;
  record.input = input_;
  record.runs.assign(output.runs.begin(), output.runs.end());
  record.create_error = output.create_error;
  record.written = output.written;
  record.write_error = output.write_error;
  if (output.create_error == 0) {
    // The bytes that reached the file: its first `written` bytes.
    sha256_.restart();
    std::uint64_t left = output.written;
    for (const ByteRun& run : record.runs) {
      const std::uint64_t n = std::min(left, run.length);
      sha256_.add(output.input.bytes(run.offset, n));
      left -= n;
    }
    record.digest = sha256_.finish();
  }
  record.frame = frame_;
  record.exif = exif_;
  record.decode = decode_check(output.input, record.runs);
  record.host = host_of(record.runs);
  return record;
}

std::optional<RecordHost> ReportPrinter::host_of(const ByteRuns& runs) const {
  for (auto open = hosts_.rbegin(); open != hosts_.rend(); ++open)
    if (runs_inside(runs, open->runs)) return open->host;
  return std::nullopt;
}

void ReportPrinter::keep_as_host(const FileRecord& record) {
  Offset last_end = 0;
  for (const ByteRun& run : record.runs) last_end = std::max(last_end, run.end());
  if (hosts_.size() == max_open_hosts) hosts_.erase(hosts_.begin());
  hosts_.push_back(OpenHost{RecordHost{record.number, record.name}, record.runs, last_end});
}

}  // namespace segsniff
