// The text listing of the copy and of the drive report.
#include <cinttypes>
#include <string>

#include "shell/channels.h"
#include "shell/text_printer.h"

namespace segsniff {

namespace {

constexpr unsigned mebibyte_shift = 20;

std::string shown_text(std::string_view text) { return shown_string(text); }

}  // namespace

// ---- Copy

void TextPrinter::copy_begin(std::string_view source, std::string_view destination) {
  out_printf("Copy from File %s to file %s\n", shown_text(source).c_str(),
             shown_text(destination).c_str());
}

void TextPrinter::copy_block() { out_stream << "*"; }

void TextPrinter::copy_progress(std::uint64_t bytes) {
  out_printf(" copied so far %" PRIu64 " bytes (%" PRIu64 " MB)\n", bytes, bytes >> mebibyte_shift);
}

void TextPrinter::copy_done(std::uint64_t bytes) {
  out_printf("\ncopied %" PRIu64 " bytes (%" PRIu64 " MB)", bytes, bytes >> mebibyte_shift);
}

void TextPrinter::copy_failed(CopyFailure failure, std::string_view source,
                              std::string_view destination) {
  const std::string from = shown_text(source);
  const std::string to = shown_text(destination);
  switch (failure) {
    case CopyFailure::source_open:
      err_printf("Open file '%s' for reading failed\n", from.c_str());
      return;
    case CopyFailure::destination_block_device:
      err_printf("Will not copy to '%s': it is a block device\n", to.c_str());
      return;
    case CopyFailure::same_file:
      err_printf("Source '%s' and destination are the same file\n", from.c_str());
      return;
    case CopyFailure::destination_on_source:
      err_printf("Will not copy '%s' to '%s': the destination is on a file system of that device\n",
                 from.c_str(), to.c_str());
      return;
    case CopyFailure::buffer:
      err_printf("Allocating buffer memory failed\n");
      return;
    case CopyFailure::destination_create:
      err_printf("Create file '%s' for writing failed\n", to.c_str());
      return;
    case CopyFailure::source_read:
      err_printf("reading file '%s' failed\n", from.c_str());
      return;
    case CopyFailure::destination_write:
      err_printf("writing file '%s' failed\n", to.c_str());
      return;
  }
}

void TextPrinter::copy_end() { out_stream << "\n"; }

// ---- Drive geometry

// The media type prints as a signed number and the total as a signed 64-bit
// one, as they always have.
void TextPrinter::drive_geometry(std::string_view source, const platform::DriveGeometry& geometry,
                                 std::uint64_t total_bytes, const char* media_text) {
  const auto total = static_cast<std::int64_t>(total_bytes);
  const auto megabytes = static_cast<std::int64_t>(total_bytes >> mebibyte_shift);
  out_printf("drive geometry for file '%s':\n", shown_text(source).c_str());
  out_printf("Media Type: %" PRId32 " ", static_cast<std::int32_t>(geometry.media_type));
  out_stream << media_text;
  out_printf("Number of cylinders: %" PRId64 "\n", geometry.cylinders);
  out_printf("Tracks per cylinder: %" PRIu32 "\n", geometry.tracks_per_cylinder);
  out_printf("Sectors per track:   %" PRIu32 "\n", geometry.sectors_per_track);
  out_printf("Bytes per sector:    %" PRIu32 "\n", geometry.bytes_per_sector);
  out_printf("Total disc size:     %" PRId64 " bytes (%" PRId64 " MB)\n", total, megabytes);
  // Whole cylinders rarely make up a whole disk: the sectors after the last
  // one, which a copy reads as well, are counted in the true size.
  if (geometry.device_size > total_bytes)
    out_printf("True disc size:      %" PRIu64 " bytes (%" PRIu64 " MB)\n", geometry.device_size,
               geometry.device_size >> mebibyte_shift);
}

void TextPrinter::drive_failed(std::string_view source, DriveFailure failure) {
  switch (failure) {
    case DriveFailure::open:
      err_printf("Open file '%s' for getting info failed\n", shown_text(source).c_str());
      return;
    case DriveFailure::query:
      err_printf("GET_DRIVE_GEOMETRY failed for file '%s'\n", shown_text(source).c_str());
      return;
  }
}

}  // namespace segsniff
