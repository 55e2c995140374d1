#include "shell/carving_report.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "jpeg/decode_check.h"
#include "platform/sha256.h"
#include "shell/channels.h"
#include "shell/error_report.h"
#include "shell/program_version.h"

namespace segsniff {

namespace {

// The report to close when the run ends through exit() (channels.cpp ends
// it so when the reader of standard output has gone away).  Set and
// cleared only by CarvingReport::open and close.
CarvingReport* report_open_at_exit = nullptr;

void close_report_at_exit() {
  if (report_open_at_exit == nullptr) return;
  report_open_at_exit->close(output_failed() ? "standard output could not be written"
                                             : "the run ended early");
}

bool plain_argument_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("_-./:=+,@%").find(c) != std::string_view::npos;
}

constexpr std::size_t spool_read_size = 1 << 16;

}  // namespace

std::string command_line_text(int argc, const char* const* argv) {
  std::string text;
  for (int i = 0; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (i > 0) text += ' ';
    bool plain = !argument.empty();
    for (char c : argument) plain = plain && plain_argument_char(c);
    if (plain) {
      text += argument;
      continue;
    }
    text += '\'';
    for (char c : argument) {
      if (c == '\'') text += "'\\''";
      else text += c;
    }
    text += '\'';
  }
  return text;
}

bool carving_report_available() { return dfxml_writer_available(); }

CarvingReport::~CarvingReport() {
  if (is_open()) close();
}

bool CarvingReport::open(const std::string& path, const std::string& command_line) {
  path_ = path;
  auto file = std::make_unique<platform::OutputFile>();
  const int status = file->create_new(path.c_str());
  if (status == platform::name_taken) {
    err_printf("Report '%s' exists; it is not replaced\n", shown_string(path).c_str());
    return false;
  }
  int error = status != 0 ? status : spool_.create_beside(path.c_str());
  if (error != 0) {
    err_printf("Create report '%s' failed\n", shown_string(path).c_str());
    report_last_error(error);
    return false;  // a report file made just now stays, empty: nothing is removed
  }
  file_ = std::move(file);
  head_ = ReportHead{program_version, command_line, {dfxml_writer_library(), platform::sha256_library()}};
  if (decode_check_available()) head_.libraries.push_back(decode_check_library());
  inputs_.clear();
  tail_ = ReportTail{};
  failed_ = false;
  records_kept_ = records_read_ = 0;
  signals_.emplace();
  static const bool exit_hook = std::atexit(close_report_at_exit) == 0;
  (void)exit_hook;
  report_open_at_exit = this;
  return true;
}

std::uint32_t CarvingReport::begin_input(std::string_view name) {
  inputs_.push_back(ReportInput{std::string(name), std::nullopt, {}});
  return static_cast<std::uint32_t>(inputs_.size());
}

void CarvingReport::input_size(std::uint64_t size) {
  if (!inputs_.empty()) inputs_.back().size = size;
}

void CarvingReport::input_error(std::string text) {
  if (!inputs_.empty() && inputs_.back().error.empty()) inputs_.back().error = std::move(text);
}

void CarvingReport::add_file(const FileRecord& record) {
  ReportCounts& counts = tail_.counts;
  if (record.succeeded()) {
    counts.files += 1;
    counts.bytes += record.length();
    if (record.decode.kind == DecodeClass::clean) counts.decoded_cleanly += 1;
  } else {
    counts.failures += 1;
  }
  if (tail_.records_lost != 0) {  // the spool failed before: the records after go too
    tail_.records_lost += 1;
    return;
  }
  buffer_.clear();
  encode_record(record, buffer_);
  if (const int error = spool_.append(buffer_)) {
    tail_.records_lost = 1;
    tail_.records_lost_error = error;
    report_write_failure(error);
    return;
  }
  records_kept_ += 1;
}

void CarvingReport::report_write_failure(int error) {
  if (failed_) return;
  failed_ = true;
  err_printf("Writing report '%s' failed\n", shown_string(path_).c_str());
  report_last_error(error);
}

// Makes sure `want` bytes from read_at_ on are in the read buffer.
bool CarvingReport::fill_read_buffer(std::size_t want) {
  while (read_end_ - read_at_ < want) {
    if (read_at_ > 0) {  // move what is left to the front
      read_buffer_.erase(read_buffer_.begin(), read_buffer_.begin() + static_cast<std::ptrdiff_t>(read_at_));
      read_end_ -= read_at_;
      read_at_ = 0;
    }
    const std::size_t room = std::max(want, spool_read_size);
    read_buffer_.resize(read_end_ + room);
    std::size_t count = 0;
    const int error = spool_.read({read_buffer_.data() + read_end_, room}, count);
    if (error != 0 || count == 0) return false;
    read_end_ += count;
  }
  return true;
}

// Reads the records back in spool order.  A record that cannot be read
// back counts as lost, with those after it.
bool CarvingReport::read_next_record(FileRecord& record) {
  if (records_read_ == records_kept_) return false;
  std::uint32_t size = 0;
  bool ok = fill_read_buffer(4);
  if (ok) size = encoded_record_size(std::span<const std::uint8_t, 4>(read_buffer_.data() + read_at_, 4));
  ok = ok && size >= 4 && fill_read_buffer(size) &&
       decode_record({read_buffer_.data() + read_at_, size}, record);
  if (!ok) {
    tail_.records_lost += records_kept_ - records_read_;
    if (tail_.records_lost_error == 0) tail_.records_lost_error = EIO;
    records_read_ = records_kept_;
    return false;
  }
  read_at_ += size;
  records_read_ += 1;
  return true;
}

bool CarvingReport::close(std::string_view stopped) {
  if (!is_open()) return true;
  report_open_at_exit = nullptr;
  tail_.stopped = std::string(stopped);
  read_buffer_.clear();
  read_at_ = read_end_ = 0;
  if (const int error = spool_.rewind()) {
    tail_.records_lost += records_kept_;
    tail_.records_lost_error = error;
    records_kept_ = 0;
  }
  // The tail is read after the last record, so records that cannot be read
  // back are counted in it.
  int error = write_dfxml(*file_, head_, inputs_, [this](FileRecord& r) { return read_next_record(r); },
                          tail_);
  if (const int close_error = file_->close(); error == 0) error = close_error;
  if (error != 0) report_write_failure(error);
  file_.reset();
  spool_.close();
  std::vector<std::uint8_t>().swap(read_buffer_);
  const int signal = platform::stop_signal_pending();
  signals_.reset();
  if (signal != 0) {
    err_printf("Stopped by signal %d; report '%s' lists what was carved until then\n", signal,
               shown_string(path_).c_str());
    flush_output();
    platform::end_by_signal(signal);
  }
  return !failed_;
}

void CarvingReport::stop_if_asked() {
  const int signal = platform::stop_signal_pending();
  if (signal == 0 || !is_open()) return;
  close("stopped by signal " + std::to_string(signal));
}

}  // namespace segsniff
