// A printer that passes every call on to another one: the base of
// observers that watch a walk while it is printed as usual.  An observer
// derives from it, overrides the calls it wants to see, and calls the
// ForwardingPrinter version at the end of each so the call goes on:
//
//   class FirstFrame : public ForwardingPrinter {
//    public:
//     using ForwardingPrinter::ForwardingPrinter;
//     void walk_begin(Offset begin, Offset end) override {
//       ++depth_;
//       ForwardingPrinter::walk_begin(begin, end);
//     }
//     void walk_end(Offset stopped_at) override {
//       --depth_;
//       ForwardingPrinter::walk_end(stopped_at);
//     }
//     void frame(const FrameInfo& f) override {
//       if (depth_ == 1 && !seen_) first_ = f, seen_ = true;  // not a thumbnail's
//       ForwardingPrinter::frame(f);
//     }
//    ...
//   };
//
// Observers stack: each one's next printer may itself be an observer.  The
// one that overrides vfinding and reads the arguments must va_copy them
// before passing the list on.
#pragma once

#include "shell/printer.h"

namespace segsniff {

class ForwardingPrinter : public Printer {
 public:
  explicit ForwardingPrinter(Printer& next) : next_(next) {}

  void vfinding(Channel channel, Offset at, const char* format, std::va_list args) override
      __attribute__((format(printf, 4, 0))) {
    next_.vfinding(channel, at, format, args);
  }

  void file_begin(std::string_view name) override { next_.file_begin(name); }
  void file_open_failed(std::string_view name, int error) override {
    next_.file_open_failed(name, error);
  }
  void carving_refused(std::string_view name, CarvingRefusal reason,
                       std::string_view folder) override {
    next_.carving_refused(name, reason, folder);
  }
  void file_size_failed(std::string_view name, int error) override {
    next_.file_size_failed(name, error);
  }
  void file_size(std::uint64_t size) override { next_.file_size(size); }
  void file_map_failed(MapStep step, int error) override { next_.file_map_failed(step, error); }
  void file_mapped(std::uint64_t size) override { next_.file_mapped(size); }
  void file_shrank(std::string_view name, std::uint64_t size_now) override {
    next_.file_shrank(name, size_now);
  }
  void file_read_error(std::string_view name, std::uint64_t page_offset) override {
    next_.file_read_error(name, page_offset);
  }
  void file_end() override { next_.file_end(); }
  void walk_begin(Offset begin, Offset end) override { next_.walk_begin(begin, end); }
  void marker(Offset at, Offset in_stream, std::uint16_t code) override {
    next_.marker(at, in_stream, code);
  }
  void walk_end(Offset stopped_at) override { next_.walk_end(stopped_at); }
  void segment_length(Offset at, const char* field_name, std::uint16_t length) override {
    next_.segment_length(at, field_name, length);
  }
  void dqt_length(Offset at, std::uint16_t length) override { next_.dqt_length(at, length); }
  void quantization_table(const QuantizationTable& table) override {
    next_.quantization_table(table);
  }
  void frame(const FrameInfo& frame) override { next_.frame(frame); }
  void huffman_table(const HuffmanTable& table) override { next_.huffman_table(table); }
  void scan_header(const ScanInfo& scan) override { next_.scan_header(scan); }
  void restart_interval(Offset at, std::uint16_t interval) override {
    next_.restart_interval(at, interval);
  }
  void scan_data(Offset at, std::uint64_t length) override { next_.scan_data(at, length); }
  void app_segment(const AppSegment& segment) override { next_.app_segment(segment); }
  void jfif_data(std::int64_t payload) override { next_.jfif_data(payload); }
  void unknown_application(std::uint32_t magic) override { next_.unknown_application(magic); }
  void payload_bytes(std::span<const std::uint8_t> shown, bool cut) override {
    next_.payload_bytes(shown, cut);
  }
  void tiff_begin(Offset at, bool intel) override { next_.tiff_begin(at, intel); }
  void tiff_end() override { next_.tiff_end(); }
  void ifd_chain_begin(IfdKind kind, std::uint32_t start_offset) override {
    next_.ifd_chain_begin(kind, start_offset);
  }
  void ifd_chain_end() override { next_.ifd_chain_end(); }
  void ifd_begin(const IfdInfo& ifd) override { next_.ifd_begin(ifd); }
  void ifd_end(bool has_next, std::uint32_t next_offset) override {
    next_.ifd_end(has_next, next_offset);
  }
  void tiff_entry(const TiffEntry& entry) override { next_.tiff_entry(entry); }
  void dictionary_entry(const TagInfo& row) override { next_.dictionary_entry(row); }
  void ifd_pointer(IfdKind kind, std::uint32_t offset) override { next_.ifd_pointer(kind, offset); }
  void embedded_begin(EmbeddedKind kind, Offset at, std::int64_t size) override {
    next_.embedded_begin(kind, at, size);
  }
  void embedded_end(EmbeddedKind kind, std::int64_t size) override {
    next_.embedded_end(kind, size);
  }
  bool reads_maker_note_layouts() const override { return next_.reads_maker_note_layouts(); }
  void maker_note_layout(const MakerNoteLayout& layout) override {
    next_.maker_note_layout(layout);
  }
  void qvcs_data(Offset at, std::int64_t length) override { next_.qvcs_data(at, length); }
  void qvcs_camera(std::string_view model, bool known) override { next_.qvcs_camera(model, known); }
  void qvcs_parameters(std::uint16_t count) override { next_.qvcs_parameters(count); }
  void qvcs_parameter(std::uint16_t number, std::uint16_t value) override {
    next_.qvcs_parameter(number, value);
  }
  void qvcs_parameters_end() override { next_.qvcs_parameters_end(); }
  void carving_candidate(Offset at) override { next_.carving_candidate(at); }
  void carved_output(const CarvedOutput& output) override { next_.carved_output(output); }
  void fragments_block_size(std::uint64_t block, bool from_boot_sector) override {
    next_.fragments_block_size(block, from_boot_sector);
  }
  void photo_left_out(PhotoLeftOut reason, Offset soi, Offset host, std::string_view why) override {
    next_.photo_left_out(reason, soi, host, why);
  }
  void carving_summary(std::string_view name, const CarvingTally& tally) override {
    next_.carving_summary(name, tally);
  }
  void output_folder_failed(std::string_view folder, int error) override {
    next_.output_folder_failed(folder, error);
  }
  void copy_begin(std::string_view source, std::string_view destination) override {
    next_.copy_begin(source, destination);
  }
  void copy_block() override { next_.copy_block(); }
  void copy_progress(std::uint64_t bytes) override { next_.copy_progress(bytes); }
  void copy_done(std::uint64_t bytes) override { next_.copy_done(bytes); }
  void copy_failed(CopyFailure failure, std::string_view source,
                   std::string_view destination) override {
    next_.copy_failed(failure, source, destination);
  }
  void copy_end() override { next_.copy_end(); }
  void drive_geometry(std::string_view source, const platform::DriveGeometry& geometry,
                      std::uint64_t total_bytes, const char* media_text) override {
    next_.drive_geometry(source, geometry, total_bytes, media_text);
  }
  void drive_failed(std::string_view source, DriveFailure failure) override {
    next_.drive_failed(source, failure);
  }

 protected:
  Printer& next() { return next_; }

 private:
  Printer& next_;
};

}  // namespace segsniff
