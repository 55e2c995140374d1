// Entries whose data is itself structured: the thumbnail pair, JPEGTables
// and the Maker Note.  The entry dump calls these after an entry's ordinary
// lines.  `entry_region` is the region the entry was read through (its begin
// is the TIFF header); `data` is the entry's data region.  None of them moves
// the entry region's cursor.
#pragma once

#include "exif/tiff_context.h"
#include "jpeg/byte_region.h"

namespace segsniff {

void scan_thumbnail_offset(const ByteRegion& entry_region, ByteRegion data, TiffContext& context);
void scan_thumbnail_length(const ByteRegion& entry_region, ByteRegion data, TiffContext& context);
void scan_jpeg_tables(const ByteRegion& entry_region, ByteRegion data, TiffContext& context);
void scan_maker_note(const ByteRegion& entry_region, ByteRegion data, TiffContext& context);

}  // namespace segsniff
