// The text listing of findings, files, marker walks, segments and carving.
#include "shell/text_printer.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/system_error.h"
#include "shell/channels.h"
#include "shell/error_report.h"
#include "shell/hex_bytes.h"

namespace segsniff {

namespace {

// The name lines of the markers the walk decodes (APPn apart).  Invariants:
// one row per marker, each line ends in a line feed.
struct MarkerName {
  std::uint16_t code;
  const char* line;
};

constexpr MarkerName marker_name_table[] = {
    {0xFFD8, "(SOI) Start of Image\n"},
    {0xFFD9, "(EOI) End of Image\n"},
    {0xFFC0, "(SOF) Start of Frame\n"},
    {0xFFC4, "(DHT) Define Huffman Table\n"},
    {0xFFDA, "(SOS) Start of Scan\n"},
    {0xFFDB, "(DQT) Define Quantization Table\n"},
    {0xFFDD, "(DRI) Define Restart Interoperabilty\n"},
};

constexpr std::uint16_t first_app_marker = 0xFFE0;  // APP0 .. APP15
constexpr std::uint16_t last_app_marker = 0xFFEF;

const MarkerName* find_marker_name(std::uint16_t code) {
  for (const MarkerName& row : marker_name_table)
    if (row.code == code) return &row;
  return nullptr;
}

// A name or other text from outside the program, for "%s".
std::string shown_text(std::string_view text) { return shown_string(text); }

// The magic's four bytes in file order, shown as characters.
std::string magic_text(std::uint32_t magic) {
  const char bytes[4] = {static_cast<char>(magic >> 24), static_cast<char>(magic >> 16),
                         static_cast<char>(magic >> 8), static_cast<char>(magic)};
  return shown_string(std::string_view(bytes, sizeof bytes));
}

}  // namespace

void TextPrinter::vfinding(Channel channel, Offset, const char* format, std::va_list args) {
  channel_printf(channel, format, args);
}

// ---- One input

void TextPrinter::file_begin(std::string_view name) {
  out_printf("reading file %s:\n", shown_text(name).c_str());
}

void TextPrinter::file_open_failed(std::string_view name, int error) {
  err_printf("Open file '%s' for reading failed\n", shown_text(name).c_str());
  report_last_error(error);
}

void TextPrinter::carving_refused(std::string_view name, CarvingRefusal reason,
                                  std::string_view folder) {
  switch (reason) {
    case CarvingRefusal::output_folder_failed:
      err_printf("Will not carve '%s': the output folder '%s' could not be made\n",
                 shown_text(name).c_str(), shown_text(folder).c_str());
      return;
    case CarvingRefusal::folder_on_device:
      err_printf("Will not carve '%s': the output folder is on a file system of that device\n",
                 shown_text(name).c_str());
      return;
    case CarvingRefusal::report_failed:
      err_printf("Will not carve '%s': the report '%s' could not be made\n",
                 shown_text(name).c_str(), shown_text(folder).c_str());
      return;
    case CarvingRefusal::report_on_device:
      err_printf("Will not carve '%s': the report is on a file system of that device\n",
                 shown_text(name).c_str());
      return;
  }
}

void TextPrinter::file_size_failed(std::string_view name, int error) {
  err_printf("GetFileSize on file '%s' failed\n", shown_text(name).c_str());
  report_last_error(error);
}

void TextPrinter::file_size(std::uint64_t size) { out_printf("Filelen %" PRIu64 " Bytes\n", size); }

void TextPrinter::file_map_failed(MapStep step, int error) {
  switch (step) {
    case MapStep::create_mapping:
      out_printf("create file mapping failed\n");
      break;
    case MapStep::map_view:
      out_printf("create mapview of file failed\n");
      break;
  }
  report_last_error(error);
}

void TextPrinter::file_mapped(std::uint64_t size) {
  out_printf("file size %" PRIu64 " bytes\n", size);
}

// The analysis stopped in the middle of whatever it was printing.
void TextPrinter::file_shrank(std::string_view name, std::uint64_t size_now) {
  end_output_line();
  err_printf("Reading file '%s' stopped: the file shrank to %" PRIu64 " bytes while it was read\n",
             shown_text(name).c_str(), size_now);
}

void TextPrinter::file_read_error(std::string_view name, std::uint64_t page_offset) {
  end_output_line();
  err_printf("Reading file '%s' stopped: read error in the page at file offset %08" PRIX64 "\n",
             shown_text(name).c_str(), page_offset);
}

// ---- Marker walk and segments

void TextPrinter::marker(Offset, Offset in_stream, std::uint16_t code) {
  out_printf("Marker %04X at file offset %08" PRIX64 ": ", unsigned{code}, in_stream);
  if (const MarkerName* row = find_marker_name(code)) out_stream << row->line;
  else if (code >= first_app_marker && code <= last_app_marker)
    out_printf("(APP%d)\n", code - first_app_marker);
}

void TextPrinter::segment_length(Offset, const char* field_name, std::uint16_t length) {
  out_printf("  field %s has len %u\n", field_name, unsigned{length});
}

void TextPrinter::dqt_length(Offset, std::uint16_t length) {
  out_printf("  DQT has len %u\n", unsigned{length});
}

void TextPrinter::restart_interval(Offset, std::uint16_t interval) {
  out_printf("  DRI has value %04X\n", unsigned{interval});
}

void TextPrinter::scan_data(Offset, std::uint64_t length) {
  out_printf("  hopefully skipping %" PRIu64 " bytes of compressed image data to next 0xFF.\n",
             length);
}

void TextPrinter::app_segment(const AppSegment& segment) {
  out_printf("  APP%d has len %u and magic number %08" PRIX32 " ('%s')\n", segment.number,
             unsigned{segment.length}, segment.magic, magic_text(segment.magic).c_str());
}

void TextPrinter::jfif_data(std::int64_t payload) {
  out_printf("    skipping jfif data of len %" PRId64 "\n", payload);
}

void TextPrinter::unknown_application(std::uint32_t magic) {
  out_printf("  unknown application %08" PRIX32 "\n", magic);
}

void TextPrinter::payload_bytes(std::span<const std::uint8_t> shown, bool cut) {
  print_hex_bytes(shown, 2, cut ? "...\n" : "\n");
}

// ---- Carving

void TextPrinter::carving_candidate(Offset at) {
  out_printf("found SOI-Marker at offset %08" PRIX64 "\n", at);
}

void TextPrinter::carved_output(const CarvedOutput& output) {
  const std::string name = shown_text(output.name);  // holds the output folder's name
  if (!output.pieces && output.runs.size() == 1) {
    const ByteRun& run = output.runs.front();
    out_printf("restore %" PRIu64 " bytes to file '%s' (offset %" PRIu64 " to %" PRIu64 ")\n",
               run.length, name.c_str(), run.offset, run.end());
  } else {
    out_printf("restore %" PRIu64 " bytes to file '%s' from %" PRIu64 " byte runs\n",
               output.length, name.c_str(), std::uint64_t{output.runs.size()});
    std::uint64_t number = 0;
    for (const ByteRun& run : output.runs)
      out_printf("  run %" PRIu64 ": %" PRIu64 " bytes (offset %" PRIu64 " to %" PRIu64 ")\n",
                 ++number, run.length, run.offset, run.end());
  }
  if (output.create_error != 0) {
    out_printf("could not create file '%s'\n", name.c_str());
  } else if (output.written != output.length || output.write_error != 0) {
    out_printf("error %d ('%s') in writing file; only written %" PRIu64 " byte\n",
               output.write_error, platform::error_text_in_line(output.write_error).c_str(),
               output.written);
  }
  flush_output();
}

void TextPrinter::fragments_block_size(std::uint64_t block, bool from_boot_sector) {
  if (from_boot_sector)
    out_printf("fragments: blocks of %" PRIu64 " bytes, the cluster size of the boot sector\n",
               block);
  else
    out_printf("fragments: blocks of %" PRIu64 " bytes (no boot sector found)\n", block);
}

void TextPrinter::photo_left_out(PhotoLeftOut reason, Offset soi, Offset host,
                                 std::string_view why) {
  switch (reason) {
    case PhotoLeftOut::incomplete:
      out_printf("no complete photo from offset %" PRIu64 ": %s; nothing written\n", soi,
                 std::string(why).c_str());
      return;
    case PhotoLeftOut::embedded:
      out_printf("inside the header of the photo at offset %" PRIu64 "; not written on its own\n",
                 host);
      return;
    case PhotoLeftOut::no_frame:
      out_printf("no frame and scan header follow; nothing written\n");
      return;
  }
}

void TextPrinter::carving_summary(std::string_view name, const CarvingTally& tally) {
  err_printf("carved '%s': %" PRIu64 " candidates tried, %" PRIu64 " files written (%" PRIu64
             " bytes), %" PRIu64 " failures\n",
             shown_text(name).c_str(), tally.candidates, tally.files, tally.bytes, tally.failures);
}

void TextPrinter::output_folder_failed(std::string_view folder, int error) {
  err_printf("Create folder '%s' failed\n", shown_text(folder).c_str());
  report_last_error(error);
}

}  // namespace segsniff
