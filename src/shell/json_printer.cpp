// The JSON form of findings, inputs, marker walks and segments.
#include "shell/json_printer.h"

#include <cstdio>
#include <cstring>

#include "shell/channels.h"
#include "shell/error_report.h"
#include "shell/text_printer.h"

namespace segsniff {

namespace {

// The short names of the markers (ITU T.81 table B.1).  A numbered row
// covers the range first..last, its name followed by the number from
// `number_base`.  Invariants: ranges ascending and disjoint; names non-empty.
struct MarkerLabel {
  std::uint16_t first;
  std::uint16_t last;
  const char* name;
  bool numbered;
  std::uint16_t number_base;
};

constexpr MarkerLabel marker_label_table[] = {
    {0xFF01, 0xFF01, "TEM", false, 0},
    {0xFFC0, 0xFFC3, "SOF", true, 0xFFC0},
    {0xFFC4, 0xFFC4, "DHT", false, 0},
    {0xFFC5, 0xFFC7, "SOF", true, 0xFFC0},
    {0xFFC8, 0xFFC8, "JPG", false, 0},
    {0xFFC9, 0xFFCB, "SOF", true, 0xFFC0},
    {0xFFCC, 0xFFCC, "DAC", false, 0},
    {0xFFCD, 0xFFCF, "SOF", true, 0xFFC0},
    {0xFFD0, 0xFFD7, "RST", true, 0xFFD0},
    {0xFFD8, 0xFFD8, "SOI", false, 0},
    {0xFFD9, 0xFFD9, "EOI", false, 0},
    {0xFFDA, 0xFFDA, "SOS", false, 0},
    {0xFFDB, 0xFFDB, "DQT", false, 0},
    {0xFFDC, 0xFFDC, "DNL", false, 0},
    {0xFFDD, 0xFFDD, "DRI", false, 0},
    {0xFFDE, 0xFFDE, "DHP", false, 0},
    {0xFFDF, 0xFFDF, "EXP", false, 0},
    {0xFFE0, 0xFFEF, "APP", true, 0xFFE0},
    {0xFFF0, 0xFFFD, "JPG", true, 0xFFF0},
    {0xFFFE, 0xFFFE, "COM", false, 0},
};

// Writes the marker's short name, or null for a code that is no marker.
void write_marker_label(JsonWriter& writer, std::uint16_t code) {
  for (const MarkerLabel& row : marker_label_table) {
    if (code < row.first || code > row.last) continue;
    if (!row.numbered) {
      writer.String(row.name);
      return;
    }
    char label[16];
    const int n = std::snprintf(label, sizeof label, "%s%u", row.name,
                                unsigned{code} - unsigned{row.number_base});
    writer.String(label, static_cast<rapidjson::SizeType>(n));
    return;
  }
  writer.Null();
}

void write_hex16(JsonDocument& doc, std::uint16_t value) {
  char text[8];
  const int n = std::snprintf(text, sizeof text, "%04X", unsigned{value});
  doc.string(std::string_view(text, static_cast<std::size_t>(n)));
}

}  // namespace

// ---- Findings

// A finding goes to the innermost open node, with one correction: a
// complaint about an IFD's own table (its count, an entry that is refused,
// the next-IFD offset) that comes while the entry before it is still open
// belongs to the IFD, not to that entry.
void JsonPrinter::vfinding(Channel channel, Offset at, const char* format, std::va_list args) {
  char local[512];
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(local, sizeof local, format, copy);
  va_end(copy);
  if (n < 0) return;
  if (static_cast<std::size_t>(n) < sizeof local) {
    finding_text_.assign(local, static_cast<std::size_t>(n));
  } else {
    finding_text_.assign(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(finding_text_.data(), finding_text_.size(), format, args);
    finding_text_.resize(static_cast<std::size_t>(n));
  }
  if (!finding_text_.empty() && finding_text_.back() == '\n') finding_text_.pop_back();

  if (doc_.line_open() && doc_.top() == JsonNode::entry && doc_.parent() == JsonNode::ifd) {
    const JsonDocument::Memo& entry = doc_.memo();
    const JsonDocument::Memo& ifd = doc_.parent_memo();
    const std::uint64_t table_bytes = 2 + 12 * ifd.size + 4;
    const bool in_table = at != no_position && at >= ifd.at && at - ifd.at < table_bytes;
    const bool in_entry = at != no_position && at >= entry.at && at - entry.at < 12;
    if (in_table && !in_entry) doc_.close();
  }
  if (in_input_ && !carving_ && !doc_.line_open()) begin_file_document();
  JsonFinding finding{finding_text_, at, channel};
  if (!doc_.add_finding(finding)) input_.findings.push_back(std::move(finding));
}

// ---- One input

void JsonPrinter::file_begin(std::string_view name) {
  doc_.close_all();
  walk_depth_ = 0;
  input_ = Input{};
  input_.name = name;
  in_input_ = true;
}

void JsonPrinter::failed(const char* step, int error) {
  input_.failure = step;
  input_.error = error;
}

// The failures print on standard error as in the text listing (no document
// of this input has been begun yet), and go into its document.
void JsonPrinter::file_open_failed(std::string_view name, int error) {
  TextPrinter().file_open_failed(name, error);
  failed("open", error);
}

void JsonPrinter::carving_refused(std::string_view name, CarvingRefusal reason,
                                  std::string_view folder) {
  TextPrinter().carving_refused(name, reason, folder);
  failed("carving_refused", 0);
  input_.refusal = reason == CarvingRefusal::output_folder_failed ? "output_folder_failed"
                                                                   : "folder_on_device";
  input_.folder = folder;
}

void JsonPrinter::file_size_failed(std::string_view name, int error) {
  TextPrinter().file_size_failed(name, error);
  failed("size", error);
}

void JsonPrinter::file_size(std::uint64_t size) {
  input_.has_size = true;
  input_.size = size;
}

// Standard output holds documents only: the line that the text listing
// prints there goes to standard error here.
void JsonPrinter::file_map_failed(MapStep step, int error) {
  if (step == MapStep::create_mapping) {
    err_printf("create file mapping failed\n");
    failed("create_mapping", error);
  } else {
    err_printf("create mapview of file failed\n");
    failed("map_view", error);
  }
  report_last_error(error);
}

void JsonPrinter::file_mapped(std::uint64_t) { input_.mapped = true; }

// The document is cut off here; its line is ended at file_end, and the
// line on standard error follows it, so that it never splits a line when
// both streams go to one place.
void JsonPrinter::file_shrank(std::string_view, std::uint64_t size_now) {
  input_.stopped = "file_shrank";
  input_.stopped_at = size_now;
}

void JsonPrinter::file_read_error(std::string_view, std::uint64_t page_offset) {
  input_.stopped = "read_error";
  input_.stopped_at = page_offset;
}

void JsonPrinter::print_stop_line() {
  if (input_.stopped == nullptr) return;
  if (std::strcmp(input_.stopped, "file_shrank") == 0)
    TextPrinter().file_shrank(input_.name, input_.stopped_at);
  else
    TextPrinter().file_read_error(input_.name, input_.stopped_at);
}

void JsonPrinter::begin_file_document() {
  doc_.begin_line();
  doc_.field("type").String("file");
  doc_.text_field("name", "name_hex", input_.name);
  if (input_.has_size) doc_.field("size").Uint64(input_.size);
}

// The fields that are known at the input's end.
void JsonPrinter::write_input_fields() {
  if (input_.failure != nullptr) {
    doc_.field("failure").StartObject();
    doc_.writer().Key("step");
    doc_.writer().String(input_.failure);
    if (input_.refusal != nullptr) {
      doc_.writer().Key("reason");
      doc_.writer().String(input_.refusal);
      doc_.writer().Key("folder");
      doc_.text(input_.folder);
    } else {
      doc_.writer().Key("errno");
      doc_.writer().Int(input_.error);
      doc_.writer().Key("message");
      doc_.writer().String(std::strerror(input_.error));
    }
    doc_.writer().EndObject();
  }
  if (input_.stopped != nullptr) {
    doc_.field("stopped").StartObject();
    doc_.writer().Key("reason");
    doc_.writer().String(input_.stopped);
    doc_.writer().Key(std::strcmp(input_.stopped, "file_shrank") == 0 ? "size_now"
                                                                       : "page_offset");
    doc_.writer().Uint64(input_.stopped_at);
    doc_.writer().EndObject();
  }
}

void JsonPrinter::end_input() {
  if (!carving_) {
    if (!doc_.line_open()) begin_file_document();
    doc_.close_inside(JsonNode::line);
    write_input_fields();
    doc_.close();
    return;
  }
  doc_.close_all();  // the last candidate
  doc_.begin_line();
  doc_.field("type").String("carving");
  doc_.text_field("file", "file_hex", input_.name);
  if (input_.has_size) doc_.field("size").Uint64(input_.size);
  if (input_.has_block) {
    doc_.field("block_size").Uint64(input_.block);
    doc_.field("block_size_from_boot_sector").Bool(input_.block_from_boot_sector);
  }
  doc_.field("candidates").Uint64(input_.tally.candidates);
  doc_.field("files").Uint64(input_.tally.files);
  doc_.field("bytes").Uint64(input_.tally.bytes);
  doc_.field("failures").Uint64(input_.tally.failures);
  write_input_fields();
  for (JsonFinding& finding : input_.findings) doc_.add_finding(std::move(finding));
  doc_.close();
}

void JsonPrinter::file_end() {
  if (!in_input_) return;
  end_input();
  print_stop_line();
  in_input_ = false;
}

// ---- Marker walk

void JsonPrinter::walk_begin(Offset begin, Offset end) {
  if (++walk_depth_ == 1) data_allowance_ = 0;
  if (!doc_.line_open()) {
    if (carving_ || !in_input_) return;  // a walk outside any document
    begin_file_document();
  }
  doc_.open_object("walk", JsonNode::walk);
  doc_.memo().at = begin;
  doc_.memo().size = end;
  doc_.field("begin").Uint64(begin);
  doc_.field("end").Uint64(end);
}

void JsonPrinter::marker(Offset at, Offset in_stream, std::uint16_t code) {
  if (!doc_.close_inside(JsonNode::walk)) return;
  doc_.open_item("segments", JsonNode::segment);
  doc_.field("offset").Uint64(at);
  doc_.field("in_stream").Uint64(in_stream);
  doc_.field("marker");
  write_hex16(doc_, code);
  write_marker_label(doc_.field("name"), code);
}

void JsonPrinter::walk_end(Offset stopped_at) {
  if (walk_depth_ > 0) --walk_depth_;
  if (!doc_.close_inside(JsonNode::walk)) return;
  const Offset end = doc_.memo().size;
  doc_.field("stopped_at");
  doc_.number_or_null(stopped_at);
  if (stopped_at != no_position && stopped_at < end) {
    doc_.field("trailing").StartObject();
    doc_.writer().Key("offset");
    doc_.writer().Uint64(stopped_at);
    doc_.writer().Key("length");
    doc_.writer().Uint64(end - stopped_at);
    doc_.writer().EndObject();
  }
  doc_.close();
}

// ---- Segments

void JsonPrinter::segment_length(Offset, const char*, std::uint16_t length) {
  if (!doc_.close_inside(JsonNode::segment)) return;
  doc_.field("length").Uint(length);
}

void JsonPrinter::dqt_length(Offset, std::uint16_t length) {
  if (!doc_.close_inside(JsonNode::segment)) return;
  doc_.field("length").Uint(length);
}

void JsonPrinter::quantization_table(const QuantizationTable& table) {
  if (!doc_.close_inside(JsonNode::segment)) return;
  JsonWriter& w = doc_.item("quantization_tables");
  w.StartObject();
  w.Key("offset");
  w.Uint64(table.at);
  w.Key("id");
  w.Uint(table.id);
  w.Key("precision");
  w.Uint(table.precision);
  w.Key("length");
  w.Uint(table.length);
  w.Key("complete");
  w.Bool(table.complete);
  w.EndObject();
}

void JsonPrinter::frame(const FrameInfo& frame) {
  if (!doc_.close_inside(JsonNode::segment)) return;
  JsonWriter& w = doc_.field("frame");
  w.StartObject();
  w.Key("type");
  write_marker_label(w, frame.marker);
  w.Key("precision");
  w.Uint(frame.precision);
  w.Key("width");
  w.Uint(frame.width);
  w.Key("height");
  w.Uint(frame.height);
  w.Key("component_count");
  w.Uint(frame.component_count);
  w.Key("components");
  w.StartArray();
  for (std::uint8_t i = 0; i < frame.components_read; ++i) {
    const FrameComponentInfo& c = frame.components[i];
    w.StartObject();
    w.Key("id");
    w.Uint(c.id);
    w.Key("horizontal_sampling");
    w.Uint(c.horizontal);
    w.Key("vertical_sampling");
    w.Uint(c.vertical);
    w.Key("quantization_table");
    w.Uint(c.table);
    w.EndObject();
  }
  w.EndArray();
  w.EndObject();
}

void JsonPrinter::huffman_table(const HuffmanTable& table) {
  if (!doc_.close_inside(JsonNode::segment)) return;
  JsonWriter& w = doc_.item("huffman_tables");
  w.StartObject();
  w.Key("offset");
  w.Uint64(table.at);
  w.Key("class");
  w.Uint(table.table_class);
  w.Key("id");
  w.Uint(table.id);
  w.Key("counts");
  w.StartArray();
  for (const std::uint8_t count : table.counts) w.Uint(count);
  w.EndArray();
  w.Key("symbols");
  w.Uint(table.symbol_count);
  w.Key("complete");
  w.Bool(table.complete);
  w.EndObject();
}

void JsonPrinter::scan_header(const ScanInfo& scan) {
  if (!doc_.close_inside(JsonNode::segment)) return;
  JsonWriter& w = doc_.field("scan");
  w.StartObject();
  w.Key("component_count");
  w.Uint(scan.component_count);
  w.Key("components");
  w.StartArray();
  for (std::uint8_t i = 0; i < scan.components_read; ++i) {
    const ScanComponentInfo& c = scan.components[i];
    w.StartObject();
    w.Key("id");
    w.Uint(c.id);
    w.Key("dc_table");
    w.Uint(c.dc_table);
    w.Key("ac_table");
    w.Uint(c.ac_table);
    w.EndObject();
  }
  w.EndArray();
  if (scan.has_spectral) {
    w.Key("spectral_start");
    w.Uint(scan.spectral_start);
    w.Key("spectral_end");
    w.Uint(scan.spectral_end);
    w.Key("approximation_high");
    w.Uint(scan.approximation_high);
    w.Key("approximation_low");
    w.Uint(scan.approximation_low);
  }
  w.EndObject();
}

void JsonPrinter::restart_interval(Offset, std::uint16_t interval) {
  if (!doc_.close_inside(JsonNode::segment)) return;
  doc_.field("restart_interval").Uint(interval);
}

void JsonPrinter::scan_data(Offset at, std::uint64_t length) {
  if (!doc_.close_inside(JsonNode::segment)) return;
  JsonWriter& w = doc_.field("scan_data");
  w.StartObject();
  w.Key("offset");
  doc_.number_or_null(at);
  w.Key("length");
  w.Uint64(length);
  w.EndObject();
}

// ---- Application segments

void JsonPrinter::app_segment(const AppSegment& segment) {
  if (walk_depth_ == 1) data_allowance_ += data_bytes_per_segment_byte * segment.length;
  if (!doc_.close_inside(JsonNode::segment)) return;
  JsonWriter& w = doc_.field("app");
  w.StartObject();
  w.Key("number");
  w.Int(segment.number);
  w.Key("length");
  w.Uint(segment.length);
  w.Key("magic");
  if (segment.has_magic) {
    const std::uint8_t bytes[4] = {
        static_cast<std::uint8_t>(segment.magic >> 24), static_cast<std::uint8_t>(segment.magic >> 16),
        static_cast<std::uint8_t>(segment.magic >> 8), static_cast<std::uint8_t>(segment.magic)};
    doc_.text(std::string_view(reinterpret_cast<const char*>(bytes), sizeof bytes));
    w.Key("magic_hex");
    doc_.hex(bytes);
  } else {
    w.Null();
  }
  w.EndObject();
}

void JsonPrinter::jfif_data(std::int64_t payload) {
  if (!doc_.close_inside(JsonNode::segment)) return;
  doc_.field("jfif_payload_length").Int64(payload);
}

void JsonPrinter::unknown_application(std::uint32_t) {
  if (!doc_.close_inside(JsonNode::segment)) return;
  doc_.field("unknown_application").Bool(true);
}

void JsonPrinter::payload_bytes(std::span<const std::uint8_t> shown, bool cut) {
  if (!doc_.close_inside_either(JsonNode::qvcs, JsonNode::segment)) return;
  JsonWriter& w = doc_.field("payload");
  w.StartObject();
  w.Key("hex");
  doc_.hex(shown);
  w.Key("cut");
  w.Bool(cut);
  w.EndObject();
}

}  // namespace segsniff
