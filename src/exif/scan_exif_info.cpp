#include "exif/scan_exif_info.h"

#include <cinttypes>

#include "exif/scan_ifd.h"
#include "exif/tiff_context.h"

namespace segsniff {

namespace {

// The first four bytes of a TIFF header read big-endian: byte order mark and
// the number 42 in that order.
constexpr std::uint32_t tiff_header_intel = 0x49492A00;     // "II" 2A 00
constexpr std::uint32_t tiff_header_motorola = 0x4D4D002A;  // "MM" 00 2A

// Says tiff_end on every way out of the structure.
class TiffScope {
 public:
  TiffScope(Printer& printer, Offset at, bool intel) : printer_(printer) {
    printer_.tiff_begin(at, intel);
  }
  ~TiffScope() { printer_.tiff_end(); }
  TiffScope(const TiffScope&) = delete;
  TiffScope& operator=(const TiffScope&) = delete;

 private:
  Printer& printer_;
};

}  // namespace

// Exif payload after the magic "Exif":
//   00 (terminator of the application type) | 00 (alignment) | TIFF structure
// TIFF structure: byte order (2) | 42 (2) | offset of IFD0 (4) | IFDs, values
// Every offset in it counts from its first byte.
//
// The TIFF region ends at the segment end, cut at the end of the stream's
// region: a length field may claim more bytes than the stream holds.
// Deviating application-type bytes are only reported; a byte order other
// than "II" or "MM" ends the block.  Leaves the cursor on segment_end, or
// lost when not even the two application-type bytes are there.
void scan_exif_info(ByteRegion& region, Offset segment_end, WalkContext& context) {
  Printer& printer = context.printer;
  const Offset app_type_at = region.cursor();
  if (!region.holds(app_type_at, 2)) {
    printer.finding(Channel::err, app_type_at, "no data in exif info\n");
    region.fail();
    return;
  }
  if (region.byte_at(app_type_at) != 0)
    printer.finding(Channel::err, app_type_at, "missing 0-Terminator at app-type\n");
  if (region.byte_at(app_type_at + 1) != 0)
    printer.finding(Channel::err, app_type_at + 1, "missing alignment at app-type\n");

  const Offset tiff_begin = app_type_at + 2;
  ByteRegion tiff = region.slice(tiff_begin, segment_end);

  const std::uint32_t header = get_int32(tiff, printer);
  if (header != tiff_header_intel && header != tiff_header_motorola) {
    printer.finding(Channel::err, tiff_begin, "invalid byte order %08" PRIX32 "\n", header);
    region.seek(segment_end);
    return;
  }
  {
    ByteOrderScope order(header == tiff_header_intel ? true : intel_order);
    const TiffScope structure(printer, tiff_begin, intel_order);
    const std::uint32_t ifd0_offset = get_int32(tiff, printer);
    TiffContext tiff_context(context);
    scan_ifd_chain(tiff, ifd0_offset, IfdKind::main, tiff_context);
  }
  region.seek(segment_end);
}

}  // namespace segsniff
