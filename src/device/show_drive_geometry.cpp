#include "device/show_drive_geometry.h"

#include "shell/channels.h"

namespace segsniff {

namespace {

// The media types that have a text of their own.  Invariants: values
// ascending and unique, every text ends in a line feed and holds no per
// cent sign (it is printed as a format).  Every other value prints as
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

constexpr std::uint32_t mebibyte_shift = 20;

}  // namespace

const char* media_type_text(std::uint32_t media_type) {
  const MediaTypeInfo* row = find_media_type(media_type);
  return row != nullptr ? row->text : "(probably a disk drive)\n";
}

std::span<const MediaTypeInfo> media_type_rows() { return media_type_table; }

bool show_drive_geometry(const char* source) {
  return show_drive_geometry(source, platform::query_drive_geometry);
}

// The total is the product of the four geometry fields in 64 bits, bytes per
// sector first; it wraps modulo 2^64 rather than overflowing a signed type.
// The 32-bit fields print as the unsigned numbers they are, in 64 bits (a
// long has 32 bits on Windows).  No system error text follows either
// failure line.
bool show_drive_geometry(const char* source, platform::DriveGeometryQuery query) {
  platform::DriveGeometry geometry;
  switch (query(source, geometry)) {
    case platform::DriveQueryResult::open_failed:
      err_stream << "Open file '" << shown(source) << "' for getting info failed\n";
      return false;
    case platform::DriveQueryResult::geometry_failed:
      err_stream << "GET_DRIVE_GEOMETRY failed for file '" << shown(source) << "'\n";
      return false;
    case platform::DriveQueryResult::ok:
      break;
  }

  std::uint64_t total = std::uint64_t{geometry.bytes_per_sector} * geometry.sectors_per_track;
  total *= geometry.tracks_per_cylinder;
  total *= static_cast<std::uint64_t>(geometry.cylinders);
  std::uint64_t megabytes = total >> mebibyte_shift;

  info_sink("drive geometry for file '%s':\n", shown_string(source).c_str());
  info_sink("Media Type: %d ", static_cast<int>(geometry.media_type));
  info_sink(media_type_text(geometry.media_type));
  info_sink("Number of cylinders: %lld\n", static_cast<long long>(geometry.cylinders));
  info_sink("Tracks per cylinder: %lld\n", static_cast<long long>(geometry.tracks_per_cylinder));
  info_sink("Sectors per track:   %lld\n", static_cast<long long>(geometry.sectors_per_track));
  info_sink("Bytes per sector:    %lld\n", static_cast<long long>(geometry.bytes_per_sector));
  info_sink("Total disc size:     %lld bytes (%lld MB)\n", static_cast<long long>(total),
            static_cast<long long>(megabytes));
  // Whole cylinders rarely make up a whole disk: the sectors after the last
  // one, which a copy reads as well, are counted in the true size.
  if (geometry.device_size > total)
    info_sink("True disc size:      %lld bytes (%lld MB)\n",
              static_cast<long long>(geometry.device_size),
              static_cast<long long>(geometry.device_size >> mebibyte_shift));
  return true;
}

}  // namespace segsniff
