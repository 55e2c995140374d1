// The JSON form of TIFF structures (Exif blocks, Maker Notes, the QVCS
// directory) and of QVCS segments: every entry with its place, its raw
// bytes and all its values, named by the Exif standard's tables.
#include <algorithm>
#include <cstdio>

#include "exif/standard_tag_tables.h"
#include "exif/tiff_values.h"
#include "shell/json_printer.h"

namespace segsniff {

namespace {

// The tags whose values are decoded beyond their numbers.
constexpr std::uint16_t tag_orientation = 0x0112;
constexpr std::uint16_t tag_exif_version = 0x9000;
constexpr std::uint16_t tag_flashpix_version = 0xA000;
constexpr std::uint16_t tag_interop_version = 0x0002;
constexpr std::uint16_t tag_gps_version = 0x0000;

const char* chain_name(IfdKind kind) {
  switch (kind) {
    case IfdKind::main: return "main";
    case IfdKind::exif: return "Exif";
    case IfdKind::gps: return "GPS";
    case IfdKind::interoperability: return "Interop";
    case IfdKind::maker_note: return "MakerNote";
    case IfdKind::qvcs: return "QVCS";
  }
  return "";
}

const char* embedded_name(EmbeddedKind kind) {
  switch (kind) {
    case EmbeddedKind::thumbnail: return "thumbnail";
    case EmbeddedKind::jpeg_tables: return "jpeg_tables";
    case EmbeddedKind::maker_note: return "maker_note";
    case EmbeddedKind::qvcs_directory: return "qvcs_directory";
  }
  return "";
}

const char* base_name(MakerNoteBase base) {
  switch (base) {
    case MakerNoteBase::exif_tiff: return "exif_tiff";
    case MakerNoteBase::note: return "note";
    case MakerNoteBase::own_tiff: return "own_tiff";
  }
  return "";
}

// The table that names the entries of a directory of this kind, or none.
std::span<const StandardTag> names_of(IfdKind kind) {
  switch (kind) {
    case IfdKind::main:
    case IfdKind::exif: return exif_tag_table;
    case IfdKind::gps: return gps_tag_table;
    case IfdKind::interoperability: return interop_tag_table;
    case IfdKind::maker_note:
    case IfdKind::qvcs: return {};
  }
  return {};
}

bool is_digit(std::uint8_t byte) { return byte >= '0' && byte <= '9'; }

}  // namespace

// ---- Structures and directories

void JsonPrinter::tiff_begin(Offset at, bool intel) {
  if (!doc_.close_inside(JsonNode::segment)) return;
  doc_.open_object("tiff", JsonNode::tiff);
  doc_.field("offset").Uint64(at);
  doc_.field("byte_order").String(intel ? "II" : "MM");
}

void JsonPrinter::tiff_end() {
  if (doc_.close_inside(JsonNode::tiff)) doc_.close();
}

void JsonPrinter::ifd_chain_begin(IfdKind kind, std::uint32_t start_offset) {
  if (!doc_.line_open()) return;
  doc_.open_object("chain", JsonNode::chain);
  doc_.field("kind").String(chain_name(kind));
  doc_.field("start").Uint(start_offset);
}

void JsonPrinter::ifd_chain_end() {
  if (doc_.close_inside(JsonNode::chain)) doc_.close();
}

void JsonPrinter::ifd_begin(const IfdInfo& ifd) {
  if (!doc_.line_open()) return;
  if (doc_.top() == JsonNode::chain) doc_.open_item("ifds", JsonNode::ifd);
  else doc_.open_object("ifd", JsonNode::ifd);
  doc_.memo() = {ifd.at, ifd.entry_count, static_cast<int>(ifd.kind)};
  char kind[16];
  int n = 0;
  if (ifd.kind == IfdKind::main) n = std::snprintf(kind, sizeof kind, "IFD%d", ifd.index);
  else n = std::snprintf(kind, sizeof kind, "%s", chain_name(ifd.kind));
  doc_.field("kind");
  doc_.string(std::string_view(kind, static_cast<std::size_t>(n)));
  doc_.field("offset").Uint64(ifd.at);
  doc_.field("tiff_offset").Uint64(ifd.tiff_offset);
  doc_.field("entry_count").Uint(ifd.entry_count);
}

void JsonPrinter::ifd_end(bool has_next, std::uint32_t next_offset) {
  if (!doc_.close_inside(JsonNode::ifd)) return;
  if (has_next) doc_.field("next_ifd_offset").Uint(next_offset);
  doc_.close();
}

// ---- Entries

void JsonPrinter::tiff_entry(const TiffEntry& entry) {
  if (!doc_.close_inside(JsonNode::ifd)) return;
  const auto kind = static_cast<IfdKind>(doc_.memo().number);
  doc_.open_item("entries", JsonNode::entry);
  doc_.memo() = {entry.at, 12, static_cast<int>(kind)};
  doc_.field("offset").Uint64(entry.at);
  doc_.field("tag").Uint(entry.tag);
  char tag_hex[8];
  std::snprintf(tag_hex, sizeof tag_hex, "%04X", unsigned{entry.tag});
  doc_.field("tag_hex").String(tag_hex);
  const StandardTag* name = find_standard_tag(names_of(kind), entry.tag);
  if (name != nullptr) doc_.field("name").String(name->name);
  else doc_.field("name").Null();
  doc_.field("type").String(entry.type->name);
  doc_.field("type_id").Uint(entry.type->type_id);
  doc_.field("count").Uint(entry.count);
  doc_.field("value_offset").Uint(entry.value_field);
  doc_.field("data_offset").Uint64(entry.data.begin());
  const std::uint64_t size = entry.data.end() - entry.data.begin();
  doc_.field("raw");
  if (size > data_allowance_) {
    doc_.hex(entry.data.bytes(entry.data.begin(), std::min(size, cut_data_bytes)));
    doc_.field("data_cut").Bool(true);
    return;
  }
  data_allowance_ -= size;
  doc_.hex(entry.data.bytes(entry.data.begin(), size));
  write_entry_values(entry);
  write_entry_extras(entry);
}

// All the values: numbers as numbers (signed for the signed types),
// rationals as [numerator, denominator] with their decimals beside, ascii
// as one text without its closing zero bytes; undefined data has its raw
// bytes only.
void JsonPrinter::write_entry_values(const TiffEntry& entry) {
  const std::uint16_t type = entry.type->type_id;
  if (type == type_ascii) {
    std::uint32_t length = entry.count;
    while (length > 0 && tiff_byte(entry, length - 1) == 0) --length;
    const auto bytes = entry.data.bytes(entry.data.begin(), length);
    doc_.text_field("value", "value_hex",
                    std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return;
  }
  if (type == type_undefined) return;
  JsonWriter& w = doc_.field("values");
  w.StartArray();
  for (std::uint32_t i = 0; i < entry.count; ++i) {
    switch (type) {
      case type_byte: w.Uint(tiff_byte(entry, i)); break;
      case type_short: w.Uint(tiff_short(entry, i)); break;
      case type_long: w.Uint(tiff_long(entry, i)); break;
      case type_slong: w.Int(static_cast<std::int32_t>(tiff_long(entry, i))); break;
      case type_rational:
      case type_srational: {
        const TiffRational v = tiff_rational(entry, i);
        w.StartArray();
        if (type == type_rational) {
          w.Uint(v.numerator);
          w.Uint(v.denominator);
        } else {
          w.Int(static_cast<std::int32_t>(v.numerator));
          w.Int(static_cast<std::int32_t>(v.denominator));
        }
        w.EndArray();
        break;
      }
      default: w.Null(); break;
    }
  }
  w.EndArray();
  if (type != type_rational && type != type_srational) return;
  doc_.field("decimals").StartArray();
  for (std::uint32_t i = 0; i < entry.count; ++i) {
    const TiffRational v = tiff_rational(entry, i);
    if (v.denominator == 0) w.Null();
    else if (type == type_rational) w.Double(double(v.numerator) / double(v.denominator));
    else w.Double(double(static_cast<std::int32_t>(v.numerator)) /
                  double(static_cast<std::int32_t>(v.denominator)));
  }
  w.EndArray();
}

// Versions ("0221" as "2.21", GPS 2 2 0 0 as "2.2.0.0") and orientations
// by name.
void JsonPrinter::write_entry_extras(const TiffEntry& entry) {
  const auto kind = static_cast<IfdKind>(doc_.memo().number);
  const std::uint16_t type = entry.type->type_id;
  const bool four_digits = (type == type_undefined || type == type_ascii) && entry.count == 4 &&
                           is_digit(tiff_byte(entry, 0)) && is_digit(tiff_byte(entry, 1)) &&
                           is_digit(tiff_byte(entry, 2)) && is_digit(tiff_byte(entry, 3));
  const bool digit_version =
      (kind == IfdKind::exif && (entry.tag == tag_exif_version || entry.tag == tag_flashpix_version)) ||
      (kind == IfdKind::interoperability && entry.tag == tag_interop_version);
  char version[24];
  if (digit_version && four_digits) {
    const int major = (tiff_byte(entry, 0) - '0') * 10 + (tiff_byte(entry, 1) - '0');
    std::snprintf(version, sizeof version, "%d.%c%c", major, tiff_byte(entry, 2),
                  tiff_byte(entry, 3));
    doc_.field("version").String(version);
  }
  if (kind == IfdKind::gps && entry.tag == tag_gps_version && type == type_byte &&
      entry.count == 4) {
    std::snprintf(version, sizeof version, "%u.%u.%u.%u", unsigned{tiff_byte(entry, 0)},
                  unsigned{tiff_byte(entry, 1)}, unsigned{tiff_byte(entry, 2)},
                  unsigned{tiff_byte(entry, 3)});
    doc_.field("version").String(version);
  }
  if (kind == IfdKind::main && entry.tag == tag_orientation && type == type_short &&
      entry.count >= 1) {
    const std::uint16_t value = tiff_short(entry, 0);
    if (value >= 1 && value <= orientation_count)
      doc_.field("orientation").String(orientation_table[value - 1]);
  }
}

// The text dictionary's rows describe IFD0, IFD1 and the Exif directory;
// in the other directories its rows would name other tags.
void JsonPrinter::dictionary_entry(const TagInfo& row) {
  if (!doc_.close_inside(JsonNode::entry)) return;
  const auto kind = static_cast<IfdKind>(doc_.memo().number);
  if (kind != IfdKind::main && kind != IfdKind::exif) return;
  JsonWriter& w = doc_.item("dictionary");
  w.StartObject();
  w.Key("name");
  w.String(row.name);
  w.Key("description");
  w.String(row.description);
  w.EndObject();
}

// The chain that follows says where it starts.
void JsonPrinter::ifd_pointer(IfdKind, std::uint32_t) {}

void JsonPrinter::embedded_begin(EmbeddedKind kind, Offset at, std::int64_t size) {
  if (!doc_.line_open()) return;
  doc_.open_object("embedded", JsonNode::embedded);
  doc_.field("kind").String(embedded_name(kind));
  doc_.field("offset").Uint64(at);
  doc_.field("size").Int64(size);
}

void JsonPrinter::embedded_end(EmbeddedKind, std::int64_t) {
  if (doc_.close_inside(JsonNode::embedded)) doc_.close();
}

void JsonPrinter::maker_note_layout(const MakerNoteLayout& layout) {
  if (!doc_.close_inside(JsonNode::embedded)) return;
  JsonWriter& w = doc_.field("layout");
  if (layout.maker == nullptr) {
    w.Null();
    return;
  }
  w.StartObject();
  w.Key("maker");
  w.String(layout.maker);
  w.Key("header");
  w.String(layout.header);
  w.Key("header_size");
  w.Uint64(layout.header_size);
  w.Key("byte_order");
  w.String(layout.intel ? "II" : "MM");
  w.Key("offset_base");
  w.String(base_name(layout.base_kind));
  w.Key("base_offset");
  w.Uint64(layout.base);
  w.Key("ifd_offset");
  doc_.number_or_null(layout.ifd_at);
  w.EndObject();
}

// ---- QVCS

void JsonPrinter::qvcs_data(Offset at, std::int64_t length) {
  if (!doc_.close_inside(JsonNode::segment)) return;
  doc_.open_object("qvcs", JsonNode::qvcs);
  doc_.field("offset").Uint64(at);
  doc_.field("length").Int64(length);
}

void JsonPrinter::qvcs_camera(std::string_view model, bool known) {
  if (!doc_.close_inside(JsonNode::qvcs)) return;
  doc_.text_field("camera", "camera_hex", model);
  doc_.field("known_camera").Bool(known);
}

void JsonPrinter::qvcs_parameters(std::uint16_t count) {
  if (!doc_.close_inside(JsonNode::qvcs)) return;
  doc_.field("parameter_count").Uint(count);
}

void JsonPrinter::qvcs_parameter(std::uint16_t number, std::uint16_t value) {
  if (!doc_.close_inside(JsonNode::qvcs)) return;
  JsonWriter& w = doc_.item("parameters");
  w.StartObject();
  w.Key("number");
  w.Uint(number);
  w.Key("value");
  w.Uint(value);
  w.EndObject();
}

void JsonPrinter::qvcs_parameters_end() {}

}  // namespace segsniff
