#include "exif/scan_qvcs_info.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "exif/scan_ifd.h"
#include "exif/tiff_context.h"
#include "shell/channels.h"

// QVCS application segment, offsets from the info start (the first byte
// after the magic "QVCS"; every word big-endian, the walk holds that order):
//
//    0   1   0x00, terminator of the application type
//    1   1   0x00, alignment
//    2  14   camera model, ASCII, zero-terminated, zero-padded to offset 16
//   16   2   N, parameter count (19 or 25), also the entry count of a TIFF
//            directory that starts here
//   18  12N  records: parameter number, type 3, count 0:1, value, 0 --
//            each one a SHORT entry of that directory
//   18+12N 4 next-directory offset, 0
//
// The decoder narrates every deviation from that layout and counts it as a
// "special"; only a payload too short for the application type and a
// table longer than the segment stop it.  The segment end comes from the
// length field unchecked, so it may lie past the bytes the caller's window
// holds, or (a length below 6) before the info start: every read below is
// bounded by both, and every loop ends at whichever comes first.
namespace segsniff {

namespace {

constexpr std::uint64_t qvcs_dump_limit = 512;
constexpr Offset model_field_end = 16;  // offset of N behind the model field
constexpr std::uint32_t qvcs_record_size = 12;
constexpr std::string_view known_models[] = {"QV-3500EX", "QV-4000"};

// Bytes from the cursor to the segment end as a signed count: negative
// when the length field put the end before the info start.
long remaining_length(const ByteRegion& region, Offset segment_end) {
  return static_cast<long>(segment_end - region.cursor());
}

// End of what can be read from the segment: its declared end, cut at the
// window's end.
Offset readable_end(const ByteRegion& region, Offset segment_end) {
  return std::min(segment_end, region.end());
}

// True when the n bytes from the cursor lie inside the segment and inside
// the window (a lost cursor holds nothing).
bool holds_in_segment(const ByteRegion& region, Offset segment_end, std::uint64_t n) {
  Offset limit = readable_end(region, segment_end);
  if (region.failed() || region.cursor() > limit) return false;
  return n <= limit - region.cursor();
}

// Hex dump of the payload: "%02X" per byte, a space after every second one,
// at most 512 bytes, "..." when fewer bytes were shown than the payload
// counts (also when the window cut it).  The cursor does not move.
void dump_qvcs_payload(const ByteRegion& region, Offset segment_end) {
  auto payload_length = static_cast<std::uint64_t>(remaining_length(region, segment_end));
  std::uint64_t shown = std::min(payload_length, qvcs_dump_limit);
  if (!holds_in_segment(region, segment_end, shown)) {
    Offset limit = readable_end(region, segment_end);
    shown = region.contains(region.cursor()) && limit > region.cursor() ? limit - region.cursor() : 0;
  }
  std::span<const std::uint8_t> bytes = region.bytes(region.cursor(), shown);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out_printf("%02X", static_cast<unsigned>(bytes[i]));
    if (i % 2 == 1) out_printf(" ");
  }
  if (bytes.size() < payload_length) out_printf("...");
  out_printf("\n");
}

// The model name at the cursor: the bytes up to its zero terminator, or up
// to the end of the segment when it has none there.
std::string_view model_name(const ByteRegion& region, Offset segment_end) {
  Offset limit = readable_end(region, segment_end);
  if (!region.contains(region.cursor()) || limit <= region.cursor()) return {};
  std::span<const std::uint8_t> field = region.bytes(region.cursor(), limit - region.cursor());
  const void* zero = std::memchr(field.data(), 0, field.size());
  std::size_t length = zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) -
                                                       field.data())
                            : field.size();
  return {reinterpret_cast<const char*>(field.data()), length};
}

// Prints "Camera '%s'" and tells whether the model is one the layout
// belongs to.  The bytes are the file's: shown through the display filter.
bool print_camera_model(std::string_view model) {
  out_printf("Camera '");
  out_stream << shown(model);
  out_printf("'\n");
  return std::find(std::begin(known_models), std::end(known_models), model) !=
         std::end(known_models);
}

// Moves the cursor from the model name to where the directory should be:
// past the name's terminator, to an even distance from the info start, and
// over any zero words of padding.  Stops at the segment's (or window's) end.
void skip_model_field(ByteRegion& region, Offset info_start, Offset segment_end) {
  Offset limit = readable_end(region, segment_end);
  while (region.cursor() < limit) {
    std::uint8_t byte = region.byte_at(region.cursor());
    region.move_cursor(1);
    if (byte == 0) break;
  }
  if ((region.cursor() - info_start) % 2 == 1) region.move_cursor(1);
  while (holds_in_segment(region, segment_end, 2)) {
    if (get_int16(region) != 0) {
      region.move_cursor(-2);
      break;
    }
  }
}

// The parameter table read a second time, as records of six words.  Returns
// the specials it found, or -1 when the table does not fit in the segment
// ("invalid QVCS infos" ends the line; the cursor stays behind N).
int scan_qvcs_parameters(ByteRegion& region, Offset segment_end) {
  int specials = 0;
  std::uint16_t count = get_int16(region);
  if (count != 19 && count != 25) ++specials;
  out_printf("QVCS: %d par:", static_cast<int>(count));
  if (!holds_in_segment(region, segment_end, std::uint64_t{qvcs_record_size} * count)) {
    out_printf("invalid QVCS infos\n");
    return -1;
  }
  for (std::uint16_t i = 0; i < count; ++i) {
    std::uint16_t word[6];
    for (std::uint16_t& w : word) w = get_int16(region);
    out_printf(" par0x%04X=%d", static_cast<unsigned>(word[0]), static_cast<int>(word[4]));
    specials += (word[1] != 3) + (word[2] != 0) + (word[3] != 1) + (word[5] != 0);
  }
  out_printf("\n");
  return specials;
}

// Two zero words after the table, read only when four bytes are left.
int scan_qvcs_trailer(ByteRegion& region, Offset segment_end) {
  if (!holds_in_segment(region, segment_end, 4)) return 0;
  int specials = get_int16(region) != 0;
  specials += get_int16(region) != 0;
  return specials;
}

}  // namespace

void scan_qvcs_info(ByteRegion& region, Offset segment_end, WalkContext& context) {
  const Offset info_start = region.cursor();
  out_printf("    qvcs data of len %ld\n", remaining_length(region, segment_end));
  dump_qvcs_payload(region, segment_end);

  if (region.failed() || region.cursor() > segment_end || segment_end - region.cursor() < 2) {
    err_stream << "no data in qvcs info\n";
    region.fail();
    return;
  }
  if (region.byte_at(info_start) != 0) err_printf("missing 0-Terminator at app-type\n");
  if (region.byte_at(info_start + 1) != 0) err_printf("missing alignment at app-type\n");
  region.move_cursor(2);

  int specials = print_camera_model(model_name(region, segment_end)) ? 0 : 1;
  skip_model_field(region, info_start, segment_end);
  if (region.cursor() - info_start != model_field_end) {
    ++specials;
    err_printf("model-alignment for 14/16 byte not zeros\n");
  }

  // The parameter table is also a TIFF directory; its offsets count from the
  // info start and its values must lie inside the segment.
  out_printf("      found Casio QVCS-IFD of size %ld\n", remaining_length(region, segment_end));
  {
    ByteRegion directory = region.slice(info_start, segment_end);
    directory.seek(region.cursor());
    TiffContext tiff(context);
    scan_ifd(directory, tiff);
  }
  out_printf("      end of Casio QVCS-IFD of size %ld\n", remaining_length(region, segment_end));

  int parameter_specials = scan_qvcs_parameters(region, segment_end);
  if (parameter_specials < 0) return;
  specials += parameter_specials + scan_qvcs_trailer(region, segment_end);

  if (specials > 0) out_printf("QVCS: %d specials detected\n", specials);
  if (region.cursor() != segment_end) {
    out_printf("QVCS: %ld bytes unused data\n", remaining_length(region, segment_end));
    region.seek(segment_end);
  }
}

}  // namespace segsniff
