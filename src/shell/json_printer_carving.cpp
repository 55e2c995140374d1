// The JSON form of carving, copies, drive reports and output folders: one
// line per carving candidate, per copy, per drive report.
#include <cstring>

#include "platform/system_error.h"
#include "shell/json_printer.h"

namespace segsniff {

namespace {

const char* left_out_name(PhotoLeftOut reason) {
  switch (reason) {
    case PhotoLeftOut::incomplete: return "incomplete";
    case PhotoLeftOut::embedded: return "embedded";
    case PhotoLeftOut::no_frame: return "no_frame";
  }
  return "";
}

const char* copy_failure_name(CopyFailure failure) {
  switch (failure) {
    case CopyFailure::source_open: return "source_open";
    case CopyFailure::destination_block_device: return "destination_block_device";
    case CopyFailure::same_file: return "same_file";
    case CopyFailure::destination_on_source: return "destination_on_source";
    case CopyFailure::buffer: return "buffer";
    case CopyFailure::destination_create: return "destination_create";
    case CopyFailure::source_read: return "source_read";
    case CopyFailure::destination_write: return "destination_write";
  }
  return "";
}

void write_error(JsonWriter& w, const char* step, int error) {
  w.StartObject();
  w.Key("step");
  w.String(step);
  w.Key("errno");
  w.Int(error);
  w.Key("message");
  const std::string text = platform::error_text_in_line(error);
  w.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
  w.EndObject();
}

}  // namespace

// ---- Carving

void JsonPrinter::carving_candidate(Offset at) {
  doc_.close_all();  // the candidate before
  input_.tally.candidates += 1;
  doc_.begin_line();
  doc_.field("type").String("candidate");
  doc_.text_field("file", "file_hex", input_.name);
  doc_.field("offset").Uint64(at);
}

void JsonPrinter::carved_output(const CarvedOutput& output) {
  if (output.succeeded()) {
    input_.tally.files += 1;
    input_.tally.bytes += output.length;
  } else {
    input_.tally.failures += 1;
  }
  if (!doc_.close_inside(JsonNode::line)) return;
  JsonWriter& w = doc_.field("output");
  w.StartObject();
  w.Key("name");
  doc_.text(output.name);
  w.Key("length");
  w.Uint64(output.length);
  w.Key("runs");
  w.StartArray();
  for (const ByteRun& run : output.runs) {
    w.StartObject();
    w.Key("offset");
    w.Uint64(run.offset);
    w.Key("length");
    w.Uint64(run.length);
    w.EndObject();
  }
  w.EndArray();
  w.Key("pieces");
  w.Bool(output.pieces);
  w.Key("written");
  w.Uint64(output.written);
  w.Key("succeeded");
  w.Bool(output.succeeded());
  if (output.create_error != 0) {
    w.Key("error");
    write_error(w, "create", output.create_error);
  } else if (!output.succeeded()) {
    w.Key("error");
    write_error(w, "write", output.write_error);
  }
  w.EndObject();
}

void JsonPrinter::fragments_block_size(std::uint64_t block, bool from_boot_sector) {
  input_.has_block = true;
  input_.block = block;
  input_.block_from_boot_sector = from_boot_sector;
}

void JsonPrinter::photo_left_out(PhotoLeftOut reason, Offset soi, Offset host,
                                 std::string_view why) {
  if (!doc_.close_inside(JsonNode::line)) return;
  JsonWriter& w = doc_.field("left_out");
  w.StartObject();
  w.Key("reason");
  w.String(left_out_name(reason));
  w.Key("soi");
  doc_.number_or_null(soi);
  w.Key("host");
  doc_.number_or_null(host);
  w.Key("why");
  doc_.text(why);
  w.EndObject();
}

// The closing line of the input holds the counts.
void JsonPrinter::carving_summary(std::string_view, const CarvingTally&) {}

void JsonPrinter::output_folder_failed(std::string_view folder, int error) {
  doc_.close_all();
  doc_.begin_line();
  doc_.field("type").String("output_folder");
  doc_.text_field("folder", "folder_hex", folder);
  write_error(doc_.field("failure"), "create", error);
  doc_.close();
}

// ---- Copy

void JsonPrinter::copy_begin(std::string_view source, std::string_view destination) {
  doc_.close_all();
  doc_.begin_line();
  doc_.field("type").String("copy");
  doc_.text_field("source", "source_hex", source);
  doc_.text_field("destination", "destination_hex", destination);
}

void JsonPrinter::copy_done(std::uint64_t bytes) {
  if (!doc_.line_open()) return;
  doc_.field("bytes").Uint64(bytes);
}

void JsonPrinter::copy_failed(CopyFailure failure, std::string_view source,
                              std::string_view destination) {
  if (!doc_.line_open()) copy_begin(source, destination);
  doc_.field("failure").String(copy_failure_name(failure));
}

void JsonPrinter::copy_end() {
  if (doc_.line_open()) doc_.close_all();
}

// ---- Drive geometry

void JsonPrinter::drive_geometry(std::string_view source, const platform::DriveGeometry& geometry,
                                 std::uint64_t total_bytes, const char* media_text) {
  doc_.close_all();
  doc_.begin_line();
  doc_.field("type").String("drive");
  doc_.text_field("source", "source_hex", source);
  doc_.field("media_type").Uint(geometry.media_type);
  std::string_view media(media_text);
  if (!media.empty() && media.back() == '\n') media.remove_suffix(1);
  doc_.field("media");
  doc_.string(media);
  doc_.field("cylinders").Int64(geometry.cylinders);
  doc_.field("tracks_per_cylinder").Uint(geometry.tracks_per_cylinder);
  doc_.field("sectors_per_track").Uint(geometry.sectors_per_track);
  doc_.field("bytes_per_sector").Uint(geometry.bytes_per_sector);
  doc_.field("total_bytes").Uint64(total_bytes);
  doc_.close();
}

void JsonPrinter::drive_failed(std::string_view source, DriveFailure failure) {
  doc_.close_all();
  doc_.begin_line();
  doc_.field("type").String("drive");
  doc_.text_field("source", "source_hex", source);
  doc_.field("failure").String(failure == DriveFailure::open ? "open" : "query");
  doc_.close();
}

}  // namespace segsniff
