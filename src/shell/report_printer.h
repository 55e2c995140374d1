// The observer that feeds the carving report: it watches the printer calls
// of the carving while passing each on to the listing's printer, and makes
// the record of every file the carving writes (or fails to write) from what
// it saw of that file's candidate:
//   - the frame of the first SOF segment of the candidate's own walk (not a
//     thumbnail's, whose walk is nested in it) and whether that walk met an
//     Exif block with its TIFF structure;
//   - the SHA-256 of the bytes that reached the file, read from the mapped
//     input right after the file was written (never from the file);
//   - the decode check of the stream (jpeg/decode_check.h);
//   - the host: the latest file still open around this one -- one of whose
//     byte runs holds every byte run of this one -- such as a photo around
//     its thumbnail.  The files that may still be hosts are kept on a short
//     stack (at most max_open_hosts, the oldest dropped first), from which a
//     file goes as soon as the carving has passed its last byte.
// It also tells the report the inputs and what became of them, and gives
// the report the chance to act on a stop signal between candidates.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/sha256.h"
#include "shell/carving_report.h"
#include "shell/forwarding_printer.h"

namespace segsniff {

class ReportPrinter final : public ForwardingPrinter {
 public:
  static constexpr std::size_t max_open_hosts = 16;

  ReportPrinter(Printer& next, CarvingReport& report) : ForwardingPrinter(next), report_(report) {}

  // Whether the next input is carved (its calls are recorded) or dumped.
  void next_input_carved(bool carved) { carved_ = carved; }

  void file_begin(std::string_view name) override;
  void file_open_failed(std::string_view name, int error) override;
  void carving_refused(std::string_view name, CarvingRefusal reason,
                       std::string_view folder) override;
  void file_size_failed(std::string_view name, int error) override;
  void file_size(std::uint64_t size) override;
  void file_map_failed(MapStep step, int error) override;
  void file_shrank(std::string_view name, std::uint64_t size_now) override;
  void file_read_error(std::string_view name, std::uint64_t page_offset) override;
  void file_end() override;
  void walk_begin(Offset begin, Offset end) override;
  void walk_end(Offset stopped_at) override;
  void frame(const FrameInfo& frame) override;
  void tiff_begin(Offset at, bool intel) override;
  void carving_candidate(Offset at) override;
  void carved_output(const CarvedOutput& output) override;
  void copy_block() override;

 private:
  struct OpenHost {
    RecordHost host;
    ByteRuns runs;
    Offset last_end = 0;  // one past its last byte in the input
  };

  bool recording() const { return carved_ && input_ != 0; }
  FileRecord make_record(const CarvedOutput& output);
  std::optional<RecordHost> host_of(const ByteRuns& runs) const;
  void keep_as_host(const FileRecord& record);

  CarvingReport& report_;
  platform::Sha256 sha256_;
  bool carved_ = false;
  std::uint32_t input_ = 0;  // the current input's number in the report; 0: none
  // The current candidate's own walk.
  int depth_ = 0;
  std::optional<RecordFrame> frame_;
  bool exif_ = false;
  std::vector<OpenHost> hosts_;
};

}  // namespace segsniff
