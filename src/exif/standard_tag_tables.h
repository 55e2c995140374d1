// The names the Exif standard gives the tags of each kind of directory, for
// printers that name every entry (the JSON document).  The text listing
// keeps its own dictionary (tag_table.h), which names fewer tags, by type
// and count, and has no GPS or Interoperability names: there tag 0000 of
// the GPS directory is its "Illegal Tag", here GPSVersionID.
#pragma once

#include <cstdint>
#include <span>

namespace segsniff {

struct StandardTag {
  std::uint16_t tag;
  const char* name;  // the standard's name, one word
};

// Tags of IFD0, IFD1 and the Exif directory (TIFF 6.0 and Exif 2.32).
extern const std::span<const StandardTag> exif_tag_table;
// Tags of the GPS directory.
extern const std::span<const StandardTag> gps_tag_table;
// Tags of the Interoperability directory.
extern const std::span<const StandardTag> interop_tag_table;

// The row of `tag` in one of the tables above, or nullptr.
const StandardTag* find_standard_tag(std::span<const StandardTag> table, std::uint16_t tag);

// Names of the Orientation values 1 to 8 (tag 0112): where the first row
// and the first column of the stored image lie on the displayed one.
inline constexpr int orientation_count = 8;
extern const char* const orientation_table[orientation_count];

}  // namespace segsniff
