// The JSON form of the listing (-json): every printer call as data, written
// as JSON Lines on standard output.
//
// Dump: one document per input, {"type":"file", "name", "size", "walk":
// {...}, ...}, the walk's segments nested as the structures nest.  Carving
// (set_carving): one document per candidate, {"type":"candidate", "file",
// "offset", "walk", "output" | "left_out"}, and one closing document per
// input with the counts, {"type":"carving", ...}; so a card of any size
// streams as lines of the size of one candidate's walk.  -copy, -info and a
// failed -outdir make one document each.  doc/segsniff.schema.json says
// every field.
//
// Every finding goes into the node it belongs to, with its text, position
// and the channel the text listing prints it on.  Nothing goes to standard
// error except the failures to open, size, map or keep reading an input
// (the same lines as the text listing's), which are in the input's document
// too.  The Maker Note is read by its maker's layout (reads_maker_note_layouts).
#pragma once

#include <string>
#include <vector>

#include "shell/json_document.h"
#include "shell/printer.h"

namespace segsniff {

class JsonPrinter final : public Printer {
 public:
  // The inputs from now on are carved (-recover): a line per candidate.
  void set_carving(bool carving) { carving_ = carving; }

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
  void file_end() override;

  void walk_begin(Offset begin, Offset end) override;
  void marker(Offset at, Offset in_stream, std::uint16_t code) override;
  void walk_end(Offset stopped_at) override;

  void segment_length(Offset at, const char* field_name, std::uint16_t length) override;
  void dqt_length(Offset at, std::uint16_t length) override;
  void quantization_table(const QuantizationTable& table) override;
  void frame(const FrameInfo& frame) override;
  void huffman_table(const HuffmanTable& table) override;
  void scan_header(const ScanInfo& scan) override;
  void restart_interval(Offset at, std::uint16_t interval) override;
  void scan_data(Offset at, std::uint64_t length) override;

  void app_segment(const AppSegment& segment) override;
  void jfif_data(std::int64_t payload) override;
  void unknown_application(std::uint32_t magic) override;
  void payload_bytes(std::span<const std::uint8_t> shown, bool cut) override;

  void tiff_begin(Offset at, bool intel) override;
  void tiff_end() override;
  void ifd_chain_begin(IfdKind kind, std::uint32_t start_offset) override;
  void ifd_chain_end() override;
  void ifd_begin(const IfdInfo& ifd) override;
  void ifd_end(bool has_next, std::uint32_t next_offset) override;
  void tiff_entry(const TiffEntry& entry) override;
  void dictionary_entry(const TagInfo& row) override;
  void ifd_pointer(IfdKind kind, std::uint32_t offset) override;
  void embedded_begin(EmbeddedKind kind, Offset at, std::int64_t size) override;
  void embedded_end(EmbeddedKind kind, std::int64_t size) override;
  bool reads_maker_note_layouts() const override { return true; }
  void maker_note_layout(const MakerNoteLayout& layout) override;

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
  void copy_block() override {}
  void copy_progress(std::uint64_t) override {}
  void copy_done(std::uint64_t bytes) override;
  void copy_failed(CopyFailure failure, std::string_view source,
                   std::string_view destination) override;
  void copy_end() override;

  void drive_geometry(std::string_view source, const platform::DriveGeometry& geometry,
                      std::uint64_t total_bytes, const char* media_text) override;
  void drive_failed(std::string_view source, DriveFailure failure) override;

 private:
  // What is known of the input being read before (or besides) its
  // documents: a dump's document is begun at the first thing it holds, so
  // that the failure lines on standard error come before it; a carving's
  // closing document is written at the input's end.
  struct Input {
    std::string name;
    bool has_size = false;
    std::uint64_t size = 0;
    bool mapped = false;
    const char* failure = nullptr;  // the step that failed
    int error = 0;
    const char* refusal = nullptr;
    const char* refused_for = "folder";  // "folder", or "report" for the report's reasons
    std::string folder;                  // the output folder, or the report
    const char* stopped = nullptr;  // why the reading stopped
    std::uint64_t stopped_at = 0;
    bool has_block = false;
    std::uint64_t block = 0;
    bool block_from_boot_sector = false;
    CarvingTally tally;
    std::vector<JsonFinding> findings;  // of the input itself, in a carving
  };

  void begin_file_document();
  void write_input_fields();
  void end_input();
  void failed(const char* step, int error);
  void print_stop_line();
  void open_node_for_walk();
  void write_entry_values(const TiffEntry& entry);
  void write_entry_extras(const TiffEntry& entry);

  // Entry data shown in full, per image: an entry's data may be up to 64 KiB
  // and overlapping directories may show the same bytes again, so the data
  // shown in full in the image of the outermost walk is bounded by what its
  // application segments earn (as the entries themselves are, walk_budget.h).
  static constexpr std::uint64_t data_bytes_per_segment_byte = 4;
  // What an entry beyond the allowance shows of its data.
  static constexpr std::uint64_t cut_data_bytes = 32;
  int walk_depth_ = 0;
  std::uint64_t data_allowance_ = 0;

  JsonDocument doc_;
  Input input_;
  bool carving_ = false;
  bool in_input_ = false;
  std::string finding_text_;
};

}  // namespace segsniff
