#include "jpeg/scan_sof.h"

#include "jpeg/scan_length_field.h"

namespace segsniff {

bool is_frame_marker(std::uint16_t marker) {
  return marker >= 0xFFC0 && marker <= 0xFFCF && marker != 0xFFC4 && marker != 0xFFC8 &&
         marker != 0xFFCC;
}

void scan_frame_header(ByteRegion payload, Offset length_at, std::uint16_t marker,
                       Printer& printer) {
  FrameInfo frame;
  frame.at = length_at;
  frame.marker = marker;
  const auto precision = try_byte(payload);
  const auto height = try_int16(payload);
  const auto width = try_int16(payload);
  const auto component_count = try_byte(payload);
  if (!precision || !height || !width || !component_count) return;
  frame.precision = *precision;
  frame.height = *height;
  frame.width = *width;
  frame.component_count = *component_count;
  for (FrameComponentInfo& component : frame.components) {
    if (frame.components_read == frame.component_count) break;
    const auto id = try_byte(payload);
    const auto sampling = try_byte(payload);
    const auto table = try_byte(payload);
    if (!id || !sampling || !table) break;
    component = {*id, static_cast<std::uint8_t>(*sampling >> 4),
                 static_cast<std::uint8_t>(*sampling & 0x0F), *table};
    ++frame.components_read;
  }
  printer.frame(frame);
}

void scan_sof(ByteRegion& region, std::uint16_t marker, Printer& printer) {
  const Offset length_at = region.cursor();
  const ByteRegion payload = segment_payload(region);
  scan_length_field(region, "SOF", printer);
  scan_frame_header(payload, length_at, marker, printer);
}

}  // namespace segsniff
