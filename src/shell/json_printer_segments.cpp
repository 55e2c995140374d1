// The JSON form of markers and their segments: lengths, decoded fields,
// application segments.
#include <cstdio>

#include "shell/json_printer.h"

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

// ---- Markers and segments

void JsonPrinter::marker(Offset at, Offset in_stream, std::uint16_t code) {
  if (!doc_.close_inside(JsonNode::walk)) return;
  doc_.open_item("segments", JsonNode::segment);
  doc_.field("offset").Uint64(at);
  doc_.field("in_stream").Uint64(in_stream);
  doc_.field("marker");
  write_hex16(doc_, code);
  write_marker_label(doc_.field("name"), code);
}

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
