#include <cstdint>

#include "exif/data_type_table.h"
#include "exif/embedded_streams.h"
#include "exif/print_tag_info.h"
#include "exif/scan_ifd.h"

namespace segsniff {

namespace {

// Data of at most this many bytes sits in the entry's value field itself.
constexpr std::uint64_t value_field_size = 4;

// Sub-IFD pointers: the value is the start offset of a chain within the
// region the entry was read through.
void scan_ifd_pointer(const ByteRegion& entry_region, ByteRegion data, IfdKind kind,
                      TiffContext& context) {
  const std::uint32_t start = get_int32(data, context.walk.printer);
  context.walk.printer.ifd_pointer(kind, start);
  scan_ifd_chain(entry_region, start, kind, context);
}

void scan_exif_ifd_pointer(const ByteRegion& entry_region, ByteRegion data, TiffContext& context) {
  scan_ifd_pointer(entry_region, data, IfdKind::exif, context);
}

void scan_gps_ifd_pointer(const ByteRegion& entry_region, ByteRegion data, TiffContext& context) {
  scan_ifd_pointer(entry_region, data, IfdKind::gps, context);
}

void scan_interoperability_ifd_pointer(const ByteRegion& entry_region, ByteRegion data,
                                       TiffContext& context) {
  scan_ifd_pointer(entry_region, data, IfdKind::interoperability, context);
}

// The Make is remembered (nothing is printed for it here).
void remember_make(const ByteRegion&, ByteRegion data, TiffContext& context) {
  context.make = data;
}

// Entries whose data leads somewhere else, or is needed later.  An entry that matches the tag
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
    {0x010F, type_ascii,     false, remember_make},
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
// Tells the printer the entry (the entry and value lines), the dictionary
// rows that match it, then hands pointer, thumbnail, JPEGTables and Maker
// Note entries on.  The cursor ends 12 bytes on (or lost after a failed
// field read); no handler moves it.  Data that does not lie wholly inside
// the region is refused before anything of the entry is told.
void scan_tiff_tag(ByteRegion& region, TiffContext& context) {
  Printer& printer = context.walk.printer;
  const Offset entry_at = region.cursor();
  const std::uint16_t tag = get_int16(region, printer);
  const std::uint16_t type_id = get_int16(region, printer);
  const std::uint32_t count = get_int32(region, printer);
  const Offset value_field = region.cursor();
  const std::uint32_t value = get_int32(region, printer);

  const DataTypeInfo* type = find_data_type(type_id);
  if (type == nullptr) {
    printer.finding(Channel::err, entry_at, "illegal data_type %u\n", unsigned{type_id});
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
    printer.finding(Channel::err, entry_at, "illegal tiff tag (begin of data out of area)\n");
    return;
  }
  // An empty value passes: the byte before it is the entry's own.
  const bool data_fits = byte_total == 0 ? region.contains(data_position - 1)
                                         : region.holds(data_position, byte_total);
  if (!data_fits) {
    printer.finding(Channel::err, entry_at, "illegal tiff tag (end of data out of area)\n");
    return;
  }
  const ByteRegion data = region.slice(data_position, data_position + byte_total);

  printer.tiff_entry({entry_at, tag, type, count, value, data, intel_order});
  print_tag_info(tag, type_id, count, printer);
  scan_special_tag(region, tag, type_id, count, data, context);
}

}  // namespace segsniff
