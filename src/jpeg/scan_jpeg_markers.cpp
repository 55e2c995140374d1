#include "jpeg/scan_jpeg_markers.h"

#include <cinttypes>

#include "jpeg/scan_application_segment.h"
#include "jpeg/scan_dht.h"
#include "jpeg/scan_dqt.h"
#include "jpeg/scan_dri.h"
#include "jpeg/scan_length_field.h"
#include "jpeg/scan_sof.h"
#include "jpeg/scan_sos.h"
#include "jpeg/skip_scan_data.h"

namespace segsniff {

namespace {

// Illegal markers are reported and skipped by their length up to this many
// per walk; the next one ends the walk (garbage would otherwise be narrated
// two bytes at a time through a whole disk image).
constexpr int max_illegal_markers = 30;

constexpr std::uint16_t first_app_marker = 0xFFE0;  // APP0 .. APP15
constexpr std::uint16_t last_app_marker = 0xFFEF;

// Counts the walk as open in context.depth for its whole duration, so that
// nested walks (thumbnail, JPEGTables) can see how deep they are; an
// outermost walk is a new image, which starts with nothing earned.  Opens
// and closes the walk's node on the printer, the close with where the walk
// stopped.
class WalkScope {
 public:
  WalkScope(const ByteRegion& region, WalkContext& context) : region_(region), context_(context) {
    if (++context_.depth == 1) context_.budget.start_image();
    context_.printer.walk_begin(region.begin(), region.end());
  }
  ~WalkScope() {
    context_.printer.walk_end(region_.cursor());
    --context_.depth;
  }
  WalkScope(const WalkScope&) = delete;
  WalkScope& operator=(const WalkScope&) = delete;

 private:
  const ByteRegion& region_;
  WalkContext& context_;
};

// Every marker without a decoder, 0000 from a failed read included: the
// marker line stays open and the length line completes it.  A frame marker
// of a kind the walk does not decode (progressive, lossless, ...) still
// tells its frame header to the printer.  False when this was one too many
// and the walk gives up (cursor no_position).
bool skip_illegal_marker(ByteRegion& region, Offset marker_at, std::uint16_t marker,
                         int& illegal_markers, Printer& printer) {
  printer.finding(Channel::err, marker_at, "illegal marker %04X\n", unsigned{marker});
  const ByteRegion payload = segment_payload(region);
  const Offset length_at = region.cursor();
  scan_length_field(region, "illegal marker", printer);
  if (is_frame_marker(marker)) scan_frame_header(payload, length_at, marker, printer);
  if (++illegal_markers <= max_illegal_markers) return true;
  printer.finding(Channel::err, marker_at, "too many (%d) illegal markers found, giving up.\n",
                  illegal_markers);
  region.fail();
  return false;
}

}  // namespace

// Markers and segment lengths are big-endian whatever the enclosing Exif
// block reads (a thumbnail walk runs inside an "II" structure).
//
// Where a failed read has cost the walk its position, the numbers it prints
// come from the last position it held, which is where the failed read was
// tried:
//   - the marker line after a failed marker read (one byte left) shows the
//     offset of that lone byte, with the marker 0000;
//   - the "No EOI found" line after a walk that lost its position shows that
//     same position as pos, and pos minus end as the diff (0 or -1: the
//     stream broke off in its last bytes).
// Positions in the "Ooops" lines are offsets from the start of the mapped
// input (a position is that offset), so they are the same on every run.
void scan_jpeg_markers(ByteRegion& region, WalkContext& context) {
  WalkScope open_walk(region, context);
  ByteOrderScope big_endian(false);
  Printer& printer = context.printer;
  int illegal_markers = 0;
  Offset last_position = region.cursor();

  while (region.contains(region.cursor())) {
    const Offset marker_at = region.cursor();
    last_position = marker_at;
    const std::uint16_t marker = get_int16(region, printer);
    if (!region.failed()) last_position = region.cursor();
    printer.marker(marker_at, marker_at - region.begin(), marker);

    switch (marker) {
      case 0xFFD8:  // SOI
        break;
      case 0xFFD9:  // EOI
        if (region.cursor() != region.end())
          printer.finding(Channel::err, region.cursor(),
                          "Ooops, EOI is not at end of file. pos %08" PRIX64 " < end %08" PRIX64
                          " (diff %" PRId64 ")\n",
                          region.cursor(), region.end(),
                          static_cast<std::int64_t>(region.end() - region.cursor()));
        return;
      case 0xFFC0:  // SOF0
        scan_sof(region, marker, printer);
        break;
      case 0xFFC4:
        scan_dht(region, printer);
        break;
      case 0xFFDA:
        scan_sos(region, printer);
        skip_scan_data(region, context);
        break;
      case 0xFFDB:
        scan_dqt(region, printer);
        break;
      case 0xFFDD:
        scan_dri(region, printer);
        break;
      default:
        if (marker >= first_app_marker && marker <= last_app_marker) {
          scan_application_segment(region, marker - first_app_marker, context);
          break;
        }
        if (!skip_illegal_marker(region, marker_at, marker, illegal_markers, printer)) return;
        break;
    }
  }

  const Offset pos = region.failed() ? last_position : region.cursor();
  printer.finding(Channel::err, pos,
                  "Ooops, No EOI found. pos %08" PRIX64 " > end %08" PRIX64 " (diff %" PRId64 ")\n",
                  pos, region.end(), static_cast<std::int64_t>(pos - region.end()));
  region.fail();
}

}  // namespace segsniff
