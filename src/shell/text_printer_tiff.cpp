// The text listing of TIFF structures (Exif blocks, Maker Notes, the QVCS
// directory) and of QVCS segments.
#include <algorithm>
#include <cinttypes>
#include <string>

#include "exif/tiff_values.h"
#include "shell/channels.h"
#include "shell/hex_bytes.h"
#include "shell/text_printer.h"

namespace segsniff {

namespace {

// The entry line shows at most this many raw bytes, the value line at most
// this many elements.
constexpr std::uint64_t max_raw_bytes = 32;
constexpr std::uint32_t max_values = 16;

// One element of the value line.  Decimals of long and rational values are
// signed 32-bit numbers, whichever of the signed or unsigned type the entry
// names.
void print_value(const TiffEntry& entry, std::uint32_t i) {
  switch (entry.type->type_id) {
    case type_byte:
      out_printf(" %02X", unsigned{tiff_byte(entry, i)});
      break;
    case type_ascii: {
      // The display filter looks at the byte after a character, which the
      // data may hold even where the line stops.
      const int next = std::uint64_t{i} + 1 < entry.data.end() - entry.data.begin()
                           ? tiff_byte(entry, i + 1)
                           : no_next_byte;
      const char shown = display_char(tiff_byte(entry, i), next);
      out_stream << shown;
      break;
    }
    case type_short: {
      const std::uint16_t v = tiff_short(entry, i);
      out_printf(" 0x%04X (%u)", unsigned{v}, unsigned{v});
      break;
    }
    case type_long:
    case type_slong: {
      const std::uint32_t v = tiff_long(entry, i);
      out_printf(" 0x%08" PRIX32 " (%" PRId32 ")", v, static_cast<std::int32_t>(v));
      break;
    }
    case type_rational:
    case type_srational: {
      const TiffRational v = tiff_rational(entry, i);
      out_printf(" %" PRId32 "/%" PRId32, static_cast<std::int32_t>(v.numerator),
                 static_cast<std::int32_t>(v.denominator));
      break;
    }
    default:  // undefined: the bytes have no meaning of their own
      out_printf(" ???");
      break;
  }
}

}  // namespace

void TextPrinter::ifd_chain_end() { out_printf("    no more IFD\n"); }

void TextPrinter::ifd_begin(const IfdInfo& ifd) {
  out_printf("    found IFD with %u tags at tiff-offset = %08" PRIX64 "\n",
             unsigned{ifd.entry_count}, ifd.tiff_offset);
}

// The entry line (tag, count as a signed number, type, value field, raw
// bytes in file order with a space after each element) and the value line.
void TextPrinter::tiff_entry(const TiffEntry& entry) {
  const DataTypeInfo& type = *entry.type;
  const std::uint64_t byte_total = std::uint64_t{entry.count} * type.element_size;
  out_printf("      tag %04X, %" PRId32 " %s, off %08" PRIX32 ", val ", unsigned{entry.tag},
             static_cast<std::int32_t>(entry.count), type.name, entry.value_field);
  print_hex_bytes(entry.data.bytes(entry.data.begin(), std::min(byte_total, max_raw_bytes)),
                  type.element_size, byte_total > max_raw_bytes ? "...\n" : "\n");

  out_printf("        value ");
  for (std::uint32_t i = 0; i < entry.count; ++i) {
    if (i == max_values) {
      out_printf(" ...");
      break;
    }
    print_value(entry, i);
  }
  out_printf("\n");
}

void TextPrinter::dictionary_entry(const TagInfo& row) {
  out_printf("        %s (%s)\n", row.name, row.description);
}

void TextPrinter::ifd_pointer(IfdKind kind, std::uint32_t offset) {
  switch (kind) {
    case IfdKind::exif:
      out_printf("      found EXIF IFD Pointer %08" PRIX32 "\n", offset);
      return;
    case IfdKind::gps:
      out_printf("      found GPS IFD Pointer %08" PRIX32 "\n", offset);
      return;
    case IfdKind::interoperability:
      out_printf("      found Interoperability IFD Pointer %08" PRIX32 "\n", offset);
      return;
    case IfdKind::main:
    case IfdKind::maker_note:
    case IfdKind::qvcs:
      return;  // reached through no pointer entry
  }
}

void TextPrinter::embedded_begin(EmbeddedKind kind, Offset, std::int64_t size) {
  switch (kind) {
    case EmbeddedKind::thumbnail:
      out_printf("      found EXIF jpeg thumbnail of size %" PRId64 "\n", size);
      return;
    case EmbeddedKind::jpeg_tables:
      out_printf("      found Tag 'JPEGTables' (tables of jpeg compressed image) of size %" PRId64
                 "\n", size);
      return;
    case EmbeddedKind::maker_note:
      out_printf("      found EXIF Maker Note of size %" PRId64 "\n", size);
      return;
    case EmbeddedKind::qvcs_directory:
      out_printf("      found Casio QVCS-IFD of size %" PRId64 "\n", size);
      return;
  }
}

void TextPrinter::embedded_end(EmbeddedKind kind, std::int64_t size) {
  switch (kind) {
    case EmbeddedKind::thumbnail:
      out_printf("      end of EXIF Thumbnail of size %" PRId64 "\n", size);
      return;
    case EmbeddedKind::jpeg_tables:
      out_printf("      end of Tag 'JPEGTables'\n");
      return;
    case EmbeddedKind::maker_note:
      out_printf("      end of EXIF Maker Note of size %" PRId64 "\n", size);
      return;
    case EmbeddedKind::qvcs_directory:
      out_printf("      end of Casio QVCS-IFD of size %" PRId64 "\n", size);
      return;
  }
}

// ---- QVCS

void TextPrinter::qvcs_data(Offset, std::int64_t length) {
  out_printf("    qvcs data of len %" PRId64 "\n", length);
}

void TextPrinter::qvcs_camera(std::string_view model, bool) {
  out_printf("Camera '%s'\n", shown_string(model).c_str());
}

void TextPrinter::qvcs_parameters(std::uint16_t count) {
  out_printf("QVCS: %u par:", unsigned{count});
}

void TextPrinter::qvcs_parameter(std::uint16_t number, std::uint16_t value) {
  out_printf(" par0x%04X=%u", unsigned{number}, unsigned{value});
}

void TextPrinter::qvcs_parameters_end() { out_printf("\n"); }

}  // namespace segsniff
