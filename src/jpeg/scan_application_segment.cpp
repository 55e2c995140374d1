#include "jpeg/scan_application_segment.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "exif/scan_exif_info.h"
#include "exif/scan_qvcs_info.h"
#include "shell/channels.h"

namespace segsniff {

namespace {

constexpr std::uint32_t exif_magic = 0x45786966;  // "Exif"
constexpr std::uint32_t jfif_magic = 0x4A464946;  // "JFIF"
constexpr std::uint32_t qvcs_magic = 0x51564353;  // "QVCS"

// A JFIF header is short and fully known; an unknown payload (a preview, an
// ICC profile) can be 64 KiB, so its dump stops after a few lines' worth.
constexpr std::int64_t jfif_dump_limit = 32;
constexpr std::int64_t unknown_dump_limit = 320;

// The magic's four bytes in file order, shown as characters.
std::string magic_text(std::uint32_t magic) {
  const char bytes[4] = {static_cast<char>(magic >> 24), static_cast<char>(magic >> 16),
                         static_cast<char>(magic >> 8), static_cast<char>(magic)};
  return shown_string(std::string_view(bytes, sizeof bytes));
}

unsigned long offset_in(const ByteRegion& region, Offset position) {
  if (position == no_position) return static_cast<unsigned long>(no_position);
  return static_cast<unsigned long>(position - region.begin());
}

// One line: the first min(payload, limit) payload bytes as hex digits, a
// space after every second byte, "..." when the payload goes on.  Only the
// bytes inside the window are shown: a segment that runs past the window's
// end is cut there and marked with "..." like a long one.  A payload count
// of zero or below (a length under 6) shows no bytes.
void dump_payload(const ByteRegion& region, std::int64_t payload, std::int64_t limit) {
  std::int64_t shown = std::min(payload, limit);
  shown = std::max<std::int64_t>(
      0, std::min<std::int64_t>(shown, static_cast<std::int64_t>(region.remaining())));
  const auto bytes = region.bytes(region.cursor(), static_cast<std::uint64_t>(shown));

  static constexpr char hex[] = "0123456789ABCDEF";
  char line[unknown_dump_limit * 5 / 2 + 8];  // "XXYY " per two bytes, "...\n"
  std::size_t used = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    line[used++] = hex[bytes[i] >> 4];
    line[used++] = hex[bytes[i] & 0x0F];
    if (i % 2 == 1) line[used++] = ' ';
  }
  if (static_cast<std::int64_t>(bytes.size()) < payload)
    for (char c : std::string_view("...")) line[used++] = c;
  line[used++] = '\n';
  out_stream << std::string_view(line, used);
}

}  // namespace

void settle_at_segment_end(ByteRegion& region, Offset segment_end) {
  if (region.cursor() != segment_end)
    error_sink("scan_application_... leaves unexpected pos 0x%08lX instead of 0x%08lX\n",
               offset_in(region, region.cursor()), offset_in(region, segment_end));
  region.seek(segment_end);
}

void scan_application_segment(ByteRegion& region, int app_number, WalkContext& context) {
  // Without a length there is no segment: the reader has reported it, and
  // the lost position ends the walk.  No APP line is printed.
  const std::uint16_t length = get_int16(region);
  if (region.failed()) return;
  const Offset segment_end = region.cursor() - 2 + length;
  // The outermost walk earns what may be spent on the structures nested in
  // the segment, for the bytes it really has; a nested walk's segments lie
  // inside one that has earned already.
  if (context.depth <= 1) context.budget.earn(region.cursor() - 2, std::min(segment_end, region.end()));

  const std::uint32_t magic = get_int32(region);
  if (region.failed()) {
    // Fewer than four bytes after the length: the reader has reported it.
    // The line shows the magic as 0 with dots for its characters (there are
    // no bytes to show), nothing is dumped, and the walk goes on at the
    // segment end without a position line: no payload decoder ran.
    out_printf("  APP%d has len %ld and magic number %08lX ('....')\n", app_number,
               static_cast<long>(length), 0UL);
    region.seek(segment_end);
    return;
  }
  out_printf("  APP%d has len %ld and magic number %08lX ('%s')\n", app_number,
             static_cast<long>(length), static_cast<unsigned long>(magic),
             magic_text(magic).c_str());

  // Signed: a length below 6 puts the segment end before the payload.
  const auto payload = static_cast<std::int64_t>(segment_end - region.cursor());
  switch (magic) {
    case exif_magic:
      scan_exif_info(region, segment_end, context);
      break;
    case qvcs_magic:
      scan_qvcs_info(region, segment_end, context);
      break;
    case jfif_magic:
      out_printf("    skipping jfif data of len %ld\n", static_cast<long>(payload));
      dump_payload(region, payload, jfif_dump_limit);
      region.seek(segment_end);
      break;
    default:
      out_printf("  unknown application %08lX\n", static_cast<unsigned long>(magic));
      dump_payload(region, payload, unknown_dump_limit);
      region.seek(segment_end);
      break;
  }
  settle_at_segment_end(region, segment_end);
}

}  // namespace segsniff
