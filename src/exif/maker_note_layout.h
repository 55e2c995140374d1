// Maker Notes read by their maker's layout, for printers that ask for it
// (Printer::reads_maker_note_layouts): the header names the layout, and
// the layout says where the note's directory lies, in which byte order, and
// where its offsets count from.  The text listing dumps every note as a
// directory at the value's position instead (scan_maker_note).
#pragma once

#include "exif/tiff_context.h"
#include "jpeg/byte_region.h"

namespace segsniff {

// The Maker Note `note` (the entry's value) of the structure read through
// `entry_region`: its layout told to the printer, then its directory
// walked as IfdKind::maker_note.  A note of no known layout is told with a
// null maker and not walked.  The caller's cursor is not moved.
void scan_maker_note_layout(const ByteRegion& entry_region, const ByteRegion& note,
                            TiffContext& context);

}  // namespace segsniff
