#include "jpeg/scan_application_segment.h"

#include <algorithm>
#include <cinttypes>

#include "exif/scan_exif_info.h"
#include "exif/scan_qvcs_info.h"

namespace segsniff {

namespace {

constexpr std::uint32_t exif_magic = 0x45786966;  // "Exif"
constexpr std::uint32_t jfif_magic = 0x4A464946;  // "JFIF"
constexpr std::uint32_t qvcs_magic = 0x51564353;  // "QVCS"

// A JFIF header is short and fully known; an unknown payload (a preview, an
// ICC profile) can be 64 KiB, so its dump stops after a few lines' worth.
constexpr std::int64_t jfif_dump_limit = 32;
constexpr std::int64_t unknown_dump_limit = 320;

Offset offset_in(const ByteRegion& region, Offset position) {
  if (position == no_position) return no_position;
  return position - region.begin();
}

// The first min(payload, limit) payload bytes, "..." when the payload goes
// on.  Only the bytes inside the window are shown: a segment that runs past
// the window's end is cut there and marked like a long one.  A payload
// count of zero or below (a length under 6) shows no bytes.
void dump_payload(const ByteRegion& region, std::int64_t payload, std::int64_t limit,
                  Printer& printer) {
  std::int64_t shown = std::min(payload, limit);
  shown = std::max<std::int64_t>(
      0, std::min<std::int64_t>(shown, static_cast<std::int64_t>(region.remaining())));
  const auto bytes = region.bytes(region.cursor(), static_cast<std::uint64_t>(shown));
  printer.payload_bytes(bytes, static_cast<std::int64_t>(bytes.size()) < payload);
}

}  // namespace

void settle_at_segment_end(ByteRegion& region, Offset segment_end, Printer& printer) {
  if (region.cursor() != segment_end)
    printer.finding(Channel::out, region.cursor(),
                    "scan_application_... leaves unexpected pos 0x%08" PRIX64
                    " instead of 0x%08" PRIX64 "\n",
                    offset_in(region, region.cursor()), offset_in(region, segment_end));
  region.seek(segment_end);
}

void scan_application_segment(ByteRegion& region, int app_number, WalkContext& context) {
  Printer& printer = context.printer;
  // Without a length there is no segment: the reader has reported it, and
  // the lost position ends the walk.  No APP line is printed.
  AppSegment segment;
  segment.at = region.cursor();
  segment.number = app_number;
  segment.length = get_int16(region, printer);
  if (region.failed()) return;
  const Offset segment_end = segment.at + segment.length;
  // The outermost walk earns what may be spent on the structures nested in
  // the segment, for the bytes it really has; a nested walk's segments lie
  // inside one that has earned already.
  if (context.depth <= 1) context.budget.earn(segment.at, std::min(segment_end, region.end()));

  segment.magic = get_int32(region, printer);
  if (region.failed()) {
    // Fewer than four bytes after the length: the reader has reported it.
    // The line shows the magic as 0 with dots for its characters (there are
    // no bytes to show), nothing is dumped, and the walk goes on at the
    // segment end without a position line: no payload decoder ran.
    printer.app_segment(segment);
    region.seek(segment_end);
    return;
  }
  segment.has_magic = true;
  printer.app_segment(segment);

  // Signed: a length below 6 puts the segment end before the payload.
  const auto payload = static_cast<std::int64_t>(segment_end - region.cursor());
  switch (segment.magic) {
    case exif_magic:
      scan_exif_info(region, segment_end, context);
      break;
    case qvcs_magic:
      scan_qvcs_info(region, segment_end, context);
      break;
    case jfif_magic:
      printer.jfif_data(payload);
      dump_payload(region, payload, jfif_dump_limit, printer);
      region.seek(segment_end);
      break;
    default:
      printer.unknown_application(segment.magic);
      dump_payload(region, payload, unknown_dump_limit, printer);
      region.seek(segment_end);
      break;
  }
  settle_at_segment_end(region, segment_end, printer);
}

}  // namespace segsniff
