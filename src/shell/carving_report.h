// The carving report ("-report <file>"): a DFXML document that describes
// every carving of the run after the option word -- the inputs, every file
// written or tried with where its bytes lie, its SHA-256, the photo it lies
// in, its frame, its Exif block and whether it decodes, and the counts.
//
// The document is written when the report is closed: by the next "-report"
// or the end of the run, and also when the run ends early (a closed
// standard output, a stop signal); until then the file exists, new and
// empty, and the records of the files wait in a spool file without a name
// beside it (platform/spool_file.h), so that memory does not grow with the
// number of files.  A run killed outright (SIGKILL, power loss) leaves the
// report empty.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/output_file.h"
#include "platform/spool_file.h"
#include "platform/stop_signals.h"
#include "shell/dfxml_writer.h"

namespace segsniff {

// The command line as the report shows it: the arguments separated by
// blanks, each one that is empty or holds anything but letters, digits and
// _ - . / : = + , @ % in single quotes (a quote inside as '\'').
std::string command_line_text(int argc, const char* const* argv);

// Whether the build can write reports (an XML writer and SHA-256).
bool carving_report_available();

class CarvingReport {
 public:
  CarvingReport() = default;
  ~CarvingReport();  // closes a report still open
  CarvingReport(const CarvingReport&) = delete;
  CarvingReport& operator=(const CarvingReport&) = delete;

  // Creates `path` as a new file -- nothing existing under that name is
  // replaced, no link is followed -- and the spool in its folder.  On
  // failure says why on standard error and returns false.  While a report
  // is open, stop signals are only noted (platform/stop_signals.h) and a
  // run that ends through exit() closes it on the way.
  bool open(const std::string& path, const std::string& command_line);
  bool is_open() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }

  // An input is carved: its number in the report (1 for the first).
  std::uint32_t begin_input(std::string_view name);
  void input_size(std::uint64_t size);
  // Why the current input was not carved, or not to its end.
  void input_error(std::string text);

  void count_candidate() { ++tail_.counts.candidates; }
  // Keeps the record of a file (in the spool) and counts it.
  void add_file(const FileRecord& record);

  // Writes the document and closes the file.  `stopped`: why the run ends
  // before its last argument, or empty.  Returns false when the report
  // could not be written whole (said on standard error, as is a spool that
  // failed earlier).  A stop signal noted while the report was open ends
  // the process here, once the document is written.
  bool close(std::string_view stopped = {});

  // At a safe point of the run: when a stop signal has been noted, closes
  // the report saying so and ends the process as the signal would.
  void stop_if_asked();

 private:
  void report_write_failure(int error);
  bool fill_read_buffer(std::size_t want);
  bool read_next_record(FileRecord& record);

  std::string path_;
  std::unique_ptr<platform::OutputFile> file_;
  platform::SpoolFile spool_;
  std::optional<platform::StopSignalScope> signals_;
  ReportHead head_;
  std::vector<ReportInput> inputs_;
  ReportTail tail_;
  bool failed_ = false;          // a write failed: said once
  std::uint64_t records_kept_ = 0;
  std::uint64_t records_read_ = 0;
  std::vector<std::uint8_t> buffer_;       // one record's spool form
  std::vector<std::uint8_t> read_buffer_;  // records read back: [read_at_, read_end_) unused yet
  std::size_t read_at_ = 0;
  std::size_t read_end_ = 0;
};

}  // namespace segsniff
