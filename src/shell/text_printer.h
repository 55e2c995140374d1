// The text listing: every printer call as the lines the program has always
// printed, through the channels (channels.h), with the display filter on
// every name and every byte of the input shown as a character.  What the
// listing never showed (decoded segment fields, the ends of nodes) prints
// nothing.  The printer holds no state: every number a line shows comes
// with its call.
//
// The lines are spelled out in text_printer.cpp (files, walks, segments,
// carving), text_printer_tiff.cpp (TIFF structures, QVCS) and
// text_printer_device.cpp (copy, drive geometry).
#pragma once

#include "shell/printer.h"

namespace segsniff {

class TextPrinter final : public Printer {
 public:
  void vfinding(Channel channel, Offset at, const char* format, std::va_list args) override
      __attribute__((format(printf, 4, 0)));

  void file_begin(std::string_view name) override;
  void file_open_failed(std::string_view name, int error) override;
  void carving_refused(std::string_view name, CarvingRefusal reason,
                       std::string_view folder) override;
  void file_size_failed(std::string_view name, int error) override;
  void file_size(std::uint64_t size) override;
  void file_map_failed(MapStep step, int error) override;
  void file_mapped(std::uint64_t size) override;
  void file_shrank(std::string_view name, std::uint64_t size_now) override;
  void file_read_error(std::string_view name, std::uint64_t page_offset) override;
  void file_end() override {}

  void walk_begin(Offset, Offset) override {}
  void marker(Offset at, Offset in_stream, std::uint16_t code) override;
  void walk_end(Offset) override {}

  void segment_length(Offset at, const char* field_name, std::uint16_t length) override;
  void dqt_length(Offset at, std::uint16_t length) override;
  void quantization_table(const QuantizationTable&) override {}
  void frame(const FrameInfo&) override {}
  void huffman_table(const HuffmanTable&) override {}
  void scan_header(const ScanInfo&) override {}
  void restart_interval(Offset at, std::uint16_t interval) override;
  void scan_data(Offset at, std::uint64_t length) override;

  void app_segment(const AppSegment& segment) override;
  void jfif_data(std::int64_t payload) override;
  void unknown_application(std::uint32_t magic) override;
  void payload_bytes(std::span<const std::uint8_t> shown, bool cut) override;

  void tiff_begin(Offset, bool) override {}
  void tiff_end() override {}
  void ifd_chain_begin(IfdKind, std::uint32_t) override {}
  void ifd_chain_end() override;
  void ifd_begin(const IfdInfo& ifd) override;
  void ifd_end(bool, std::uint32_t) override {}
  void tiff_entry(const TiffEntry& entry) override;
  void dictionary_entry(const TagInfo& row) override;
  void ifd_pointer(IfdKind kind, std::uint32_t offset) override;
  void embedded_begin(EmbeddedKind kind, Offset at, std::int64_t size) override;
  void embedded_end(EmbeddedKind kind, std::int64_t size) override;

  void qvcs_data(Offset at, std::int64_t length) override;
  void qvcs_camera(std::string_view model, bool known) override;
  void qvcs_parameters(std::uint16_t count) override;
  void qvcs_parameter(std::uint16_t number, std::uint16_t value) override;
  void qvcs_parameters_end() override;

  void carving_candidate(Offset at) override;
  void carved_output(const CarvedOutput& output) override;
  void fragments_block_size(std::uint64_t block, bool from_boot_sector) override;
  void photo_left_out(PhotoLeftOut reason, Offset soi, Offset host, std::string_view why) override;
  void carving_summary(std::string_view name, const CarvingTally& tally) override;
  void output_folder_failed(std::string_view folder, int error) override;

  void copy_begin(std::string_view source, std::string_view destination) override;
  void copy_block() override;
  void copy_progress(std::uint64_t bytes) override;
  void copy_done(std::uint64_t bytes) override;
  void copy_failed(CopyFailure failure, std::string_view source,
                   std::string_view destination) override;
  void copy_end() override;

  void drive_geometry(std::string_view source, const platform::DriveGeometry& geometry,
                      std::uint64_t total_bytes, const char* media_text) override;
  void drive_failed(std::string_view source, DriveFailure failure) override;
};

}  // namespace segsniff
