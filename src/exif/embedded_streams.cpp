#include "exif/embedded_streams.h"

namespace segsniff {

// Placeholders until the embedded-stream handlers land.
void scan_thumbnail_offset(const ByteRegion&, ByteRegion, TiffContext&) {}
void scan_thumbnail_length(const ByteRegion&, ByteRegion, TiffContext&) {}
void scan_jpeg_tables(const ByteRegion&, ByteRegion, TiffContext&) {}
void scan_maker_note(const ByteRegion&, ByteRegion, TiffContext&) {}

}  // namespace segsniff
