#include "jpeg/scan_jpeg_markers.h"

#include "jpeg/scan_application_segment.h"
#include "jpeg/scan_dqt.h"
#include "jpeg/scan_dri.h"
#include "jpeg/scan_length_field.h"
#include "jpeg/skip_scan_data.h"
#include "shell/channels.h"

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
// outermost walk is a new image, which starts with nothing earned.
class WalkDepthScope {
 public:
  explicit WalkDepthScope(WalkContext& context) : context_(context) {
    if (++context_.depth == 1) context_.budget.start_image();
  }
  ~WalkDepthScope() { --context_.depth; }
  WalkDepthScope(const WalkDepthScope&) = delete;
  WalkDepthScope& operator=(const WalkDepthScope&) = delete;

 private:
  WalkContext& context_;
};

// Positions in the "Ooops" lines are offsets from the start of the mapped
// input (a position is that offset), so they are the same on every run.
unsigned long file_offset(Offset position) { return static_cast<unsigned long>(position); }

// Every marker without a decoder, 0000 from a failed read included: the
// marker line stays open and the length line completes it.  False when this
// was one too many and the walk gives up (cursor no_position).
bool skip_illegal_marker(ByteRegion& region, std::uint16_t marker, int& illegal_markers) {
  err_printf("illegal marker %04X\n", static_cast<unsigned>(marker));
  scan_length_field(region, "illegal marker");
  if (++illegal_markers <= max_illegal_markers) return true;
  err_printf("too many (%d) illegal markers found, giving up.\n", illegal_markers);
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
void scan_jpeg_markers(ByteRegion& region, WalkContext& context) {
  WalkDepthScope open_walk(context);
  ByteOrderScope big_endian(false);
  int illegal_markers = 0;
  Offset last_position = region.cursor();

  while (region.contains(region.cursor())) {
    const Offset marker_at = region.cursor();
    last_position = marker_at;
    const std::uint16_t marker = get_int16(region);
    if (!region.failed()) last_position = region.cursor();
    out_printf("Marker %04X at file offset %08lX: ", static_cast<unsigned>(marker),
               static_cast<unsigned long>(marker_at - region.begin()));

    switch (marker) {
      case 0xFFD8:
        out_stream << "(SOI) Start of Image\n";
        break;
      case 0xFFD9:
        out_stream << "(EOI) End of Image\n";
        if (region.cursor() != region.end())
          err_printf("Ooops, EOI is not at end of file. pos %08lX < end %08lX (diff %ld)\n",
                     file_offset(region.cursor()), file_offset(region.end()),
                     static_cast<long>(region.end() - region.cursor()));
        return;
      case 0xFFC0:
        out_stream << "(SOF) Start of Frame\n";
        scan_length_field(region, "SOF");
        break;
      case 0xFFC4:
        out_stream << "(DHT) Define Huffman Table\n";
        scan_length_field(region, "DHT");
        break;
      case 0xFFDA:
        out_stream << "(SOS) Start of Scan\n";
        scan_length_field(region, "SOS");
        skip_scan_data(region, context);
        break;
      case 0xFFDB:
        out_stream << "(DQT) Define Quantization Table\n";
        scan_dqt(region);
        break;
      case 0xFFDD:
        out_stream << "(DRI) Define Restart Interoperabilty\n";
        scan_dri(region);
        break;
      default:
        if (marker >= first_app_marker && marker <= last_app_marker) {
          const int app_number = marker - first_app_marker;
          out_stream << "(APP" << app_number << ")\n";
          scan_application_segment(region, app_number, context);
          break;
        }
        if (!skip_illegal_marker(region, marker, illegal_markers)) return;
        break;
    }
  }

  const Offset pos = region.failed() ? last_position : region.cursor();
  err_printf("Ooops, No EOI found. pos %08lX > end %08lX (diff %ld)\n", file_offset(pos),
             file_offset(region.end()), static_cast<long>(pos - region.end()));
  region.fail();
}

}  // namespace segsniff
