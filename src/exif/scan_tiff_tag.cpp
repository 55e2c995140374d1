#include <algorithm>
#include <cstdint>

#include "exif/data_type_table.h"
#include "exif/embedded_streams.h"
#include "exif/print_tag_info.h"
#include "exif/scan_ifd.h"
#include "shell/channels.h"

namespace segsniff {

namespace {

// Data of at most this many bytes sits in the entry's value field itself.
constexpr std::uint64_t value_field_size = 4;
// The entry line shows at most this many raw bytes, the value line at most
// this many elements.
constexpr std::uint64_t max_raw_bytes = 32;
constexpr std::uint32_t max_values = 16;

// The byte at the cursor without moving it, for the display filter's look
// at the byte after a character; no_next_byte at the end of the data.
int peek_byte(const ByteRegion& data) {
  return data.contains(data.cursor()) ? data.byte_at(data.cursor()) : no_next_byte;
}

// Second half of the entry line: the raw bytes of the data in file order,
// a space after each element, capped at max_raw_bytes.
void print_raw_bytes(const ByteRegion& data, std::uint64_t byte_total, unsigned element_size) {
  const std::uint64_t shown = std::min(byte_total, max_raw_bytes);
  auto bytes = data.bytes(data.begin(), shown);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out_printf("%02X", unsigned{bytes[i]});
    if ((i + 1) % element_size == 0) out_printf(" ");
  }
  if (byte_total > max_raw_bytes) out_printf("...");
  out_printf("\n");
}

// One element of the value line.  Decimals of long and rational values are
// signed 32-bit numbers, whichever of the signed or unsigned type the entry
// names.
void print_value(ByteRegion& data, std::uint16_t type_id) {
  switch (type_id) {
    case type_byte:
      out_printf(" %02X", unsigned{try_byte(data).value_or(0)});
      break;
    case type_ascii: {
      const std::uint8_t byte = try_byte(data).value_or(0);
      out_printf("%c", display_char(byte, peek_byte(data)));
      break;
    }
    case type_short: {
      const std::uint16_t v = get_int16(data);
      out_printf(" 0x%04lX (%ld)", static_cast<unsigned long>(v), static_cast<long>(v));
      break;
    }
    case type_long:
    case type_slong: {
      const std::uint32_t v = get_int32(data);
      out_printf(" 0x%08lX (%ld)", static_cast<unsigned long>(v),
                 static_cast<long>(static_cast<std::int32_t>(v)));
      break;
    }
    case type_rational:
    case type_srational: {
      const std::uint32_t numerator = get_int32(data);
      const std::uint32_t denominator = get_int32(data);
      out_printf(" %ld/%ld", static_cast<long>(static_cast<std::int32_t>(numerator)),
                 static_cast<long>(static_cast<std::int32_t>(denominator)));
      break;
    }
    default:  // undefined: the bytes have no meaning of their own
      out_printf(" ???");
      break;
  }
}

void print_value_line(ByteRegion data, std::uint16_t type_id, std::uint32_t count) {
  out_printf("        value ");
  for (std::uint32_t i = 0; i < count; ++i) {
    if (i == max_values) {
      out_printf(" ...");
      break;
    }
    print_value(data, type_id);
  }
  out_printf("\n");
}

// Sub-IFD pointers: the value is the start offset of a chain within the
// region the entry was read through.
void scan_exif_ifd_pointer(const ByteRegion& entry_region, ByteRegion data, TiffContext& context) {
  const std::uint32_t start = get_int32(data);
  out_printf("      found EXIF IFD Pointer %08lX\n", static_cast<unsigned long>(start));
  scan_ifd_chain(entry_region, start, context);
}

void scan_gps_ifd_pointer(const ByteRegion& entry_region, ByteRegion data, TiffContext& context) {
  const std::uint32_t start = get_int32(data);
  out_printf("      found GPS IFD Pointer %08lX\n", static_cast<unsigned long>(start));
  scan_ifd_chain(entry_region, start, context);
}

void scan_interoperability_ifd_pointer(const ByteRegion& entry_region, ByteRegion data,
                                       TiffContext& context) {
  const std::uint32_t start = get_int32(data);
  out_printf("      found Interoperability IFD Pointer %08lX\n", static_cast<unsigned long>(start));
  scan_ifd_chain(entry_region, start, context);
}

// Entries whose data leads somewhere else.  An entry that matches the tag
// but not the type (or, where asked, the count of 1) gets only its ordinary
// lines.
struct SpecialTag {
  std::uint16_t tag;
  std::uint16_t type;
  bool needs_count_one;
  void (*handle)(const ByteRegion& entry_region, ByteRegion data, TiffContext& context);
};

constexpr SpecialTag special_tag_table[] = {
    {0x8769, type_long,      true,  scan_exif_ifd_pointer},
    {0x8825, type_long,      true,  scan_gps_ifd_pointer},
    {0xA005, type_long,      true,  scan_interoperability_ifd_pointer},
    {0x927C, type_undefined, false, scan_maker_note},
    {0x0201, type_long,      false, scan_thumbnail_offset},
    {0x0202, type_long,      false, scan_thumbnail_length},
    {0x015B, type_undefined, false, scan_jpeg_tables},
};

void scan_special_tag(const ByteRegion& entry_region, std::uint16_t tag, std::uint16_t type_id,
                      std::uint32_t count, const ByteRegion& data, TiffContext& context) {
  for (const SpecialTag& special : special_tag_table) {
    if (special.tag != tag) continue;
    if (special.type == type_id && (!special.needs_count_one || count == 1))
      special.handle(entry_region, data, context);
    return;
  }
}

}  // namespace

// IFD entry, 12 bytes, in the structure's byte order:
//   tag (2) | type id (2) | count (4) | value field (4)
// The data (count elements of the type) sits in the value field when it
// takes at most 4 bytes, else at begin + the value field read as an offset.
//
// Prints the entry line (tag, count, type, value field, raw bytes), the
// value line (elements formatted by type), the dictionary lines, then hands
// pointer, thumbnail, JPEGTables and Maker Note entries on.  The cursor ends
// 12 bytes on (or lost after a failed field read); no handler moves it.
// Data that does not lie wholly inside the region is refused before
// anything of the entry is printed.
void scan_tiff_tag(ByteRegion& region, TiffContext& context) {
  const std::uint16_t tag = get_int16(region);
  const std::uint16_t type_id = get_int16(region);
  const std::uint32_t count = get_int32(region);
  const Offset value_field = region.cursor();
  const std::uint32_t value = get_int32(region);

  const DataTypeInfo* type = find_data_type(type_id);
  if (type == nullptr) {
    err_printf("illegal data_type %d\n", int{type_id});
    return;
  }

  // Exact: a 32-bit count times an element size of up to 8 needs 35 bits.
  const std::uint64_t byte_total = std::uint64_t{count} * type->element_size;
  // A lost cursor means the count or the value field was not read: the
  // data has no position then.
  Offset data_position = no_position;
  if (!region.failed())
    data_position = byte_total <= value_field_size ? value_field
                                                    : ByteRegion::after(region.begin(), value);
  if (!region.contains(data_position)) {
    err_printf("illegal tiff tag (begin of data out of area)\n");
    return;
  }
  // An empty value passes: the byte before it is the entry's own.
  const bool data_fits = byte_total == 0 ? region.contains(data_position - 1)
                                         : region.holds(data_position, byte_total);
  if (!data_fits) {
    err_printf("illegal tiff tag (end of data out of area)\n");
    return;
  }
  const ByteRegion data = region.slice(data_position, data_position + byte_total);

  out_printf("      tag %04X, %ld %s, off %08lX, val ", unsigned{tag},
             static_cast<long>(static_cast<std::int32_t>(count)), type->name,
             static_cast<unsigned long>(value));
  print_raw_bytes(data, byte_total, type->element_size);
  print_value_line(data, type_id, count);
  print_tag_info(tag, type_id, count);
  scan_special_tag(region, tag, type_id, count, data, context);
}

}  // namespace segsniff
