#include "device/show_drive_geometry.h"


namespace segsniff {

namespace {

// The media types that have a text of their own.  Invariants: values
// ascending and unique, every text ends in a line feed and holds no per
// cent sign (it was printed as a format; the report keeps that promise).  Every other value prints as
// "(probably a disk drive)".
constexpr MediaTypeInfo media_type_table[] = {
    {platform::media_unknown,      "(Unknown)\n"},
    {platform::media_floppy_1440k, "(3.25\" Floppy Disc, 1.4 MB)\n"},
    {platform::media_removable,    "(Removable Media)\n"},
    {platform::media_fixed,        "(Fixed Media)\n"},
};

const MediaTypeInfo* find_media_type(std::uint32_t media_type) {
  for (const MediaTypeInfo& row : media_type_table)
    if (row.media_type == media_type) return &row;
  return nullptr;
}

}  // namespace

const char* media_type_text(std::uint32_t media_type) {
  const MediaTypeInfo* row = find_media_type(media_type);
  return row != nullptr ? row->text : "(probably a disk drive)\n";
}

std::span<const MediaTypeInfo> media_type_rows() { return media_type_table; }

bool show_drive_geometry(const char* source, Printer& printer) {
  return show_drive_geometry(source, platform::query_drive_geometry, printer);
}

// The total is the product of the four geometry fields in 64 bits, bytes per
// sector first; it wraps modulo 2^64 rather than overflowing a signed type.
// No system error text follows either failure line.
bool show_drive_geometry(const char* source, platform::DriveGeometryQuery query,
                         Printer& printer) {
  platform::DriveGeometry geometry;
  switch (query(source, geometry)) {
    case platform::DriveQueryResult::open_failed:
      printer.drive_failed(source, DriveFailure::open);
      return false;
    case platform::DriveQueryResult::geometry_failed:
      printer.drive_failed(source, DriveFailure::query);
      return false;
    case platform::DriveQueryResult::ok:
      break;
  }

  std::uint64_t total = std::uint64_t{geometry.bytes_per_sector} * geometry.sectors_per_track;
  total *= geometry.tracks_per_cylinder;
  total *= static_cast<std::uint64_t>(geometry.cylinders);
  printer.drive_geometry(source, geometry, total, media_type_text(geometry.media_type));
  return true;
}

}  // namespace segsniff
