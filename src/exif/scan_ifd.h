// The IFD walk of a TIFF structure, shared by the Exif block, the Maker Note
// and the QVCS parameter directory.  Offsets count from the begin of the
// region handed in; nothing here assumes more about the structure than that.
#pragma once

#include <cstdint>

#include "exif/tiff_context.h"
#include "jpeg/byte_region.h"
#include "shell/printer_records.h"

namespace segsniff {

// Follows a chain of IFDs of one kind from start_offset (counted from
// tiff.begin()) within the window of `tiff`, between ifd_chain_begin and
// ifd_chain_end ("    no more IFD").  The caller's cursor is not moved.
void scan_ifd_chain(const ByteRegion& tiff, std::uint32_t start_offset, IfdKind kind,
                    TiffContext& context);

// One IFD at the cursor, the index-th of its chain: count, entries,
// next-IFD offset, between ifd_begin and ifd_end.  Leaves the cursor on
// begin + the next-IFD offset, or no_position after a failure.
void scan_ifd(ByteRegion& region, IfdKind kind, int index, TiffContext& context);

// One 12-byte entry at the cursor.  Leaves the cursor 12 bytes on, or
// no_position if one of its field reads failed.  Declared here because
// scan_ifd is its one caller; it lives in scan_tiff_tag.cpp.
void scan_tiff_tag(ByteRegion& region, TiffContext& context);

}  // namespace segsniff
