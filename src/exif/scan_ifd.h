#pragma once

#include <cstdint>

#include "exif/tiff_context.h"
#include "jpeg/byte_region.h"

namespace segsniff {

// Follows a chain of IFDs from start_offset (counted from tiff.begin) within
// the window of `tiff`, and prints "    no more IFD" when it ends.  The
// caller's cursor is not moved.
void scan_ifd_chain(const ByteRegion& tiff, std::uint32_t start_offset, TiffContext& context);

// One IFD at the cursor: count, entries, next-IFD offset.  Leaves the cursor
// on begin + the next-IFD offset, or no_position after a failure.
void scan_ifd(ByteRegion& region, TiffContext& context);

// One 12-byte entry at the cursor.  Leaves the cursor 12 bytes on, or
// no_position if one of its field reads failed.
void scan_tiff_tag(ByteRegion& region, TiffContext& context);

}  // namespace segsniff
