#include "exif/scan_qvcs_info.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <string_view>

#include "exif/scan_ifd.h"
#include "exif/tiff_context.h"

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
std::int64_t remaining_length(const ByteRegion& region, Offset segment_end) {
  return static_cast<std::int64_t>(segment_end - region.cursor());
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

// Hex dump of the payload: at most 512 bytes, cut (the "..." of the listing)
// when fewer bytes were shown than the payload counts (also when the window
// cut it).  The cursor does not move.
void dump_qvcs_payload(const ByteRegion& region, Offset segment_end, Printer& printer) {
  auto payload_length = static_cast<std::uint64_t>(remaining_length(region, segment_end));
  std::uint64_t shown = std::min(payload_length, qvcs_dump_limit);
  if (!holds_in_segment(region, segment_end, shown)) {
    Offset limit = readable_end(region, segment_end);
    shown = region.contains(region.cursor()) && limit > region.cursor() ? limit - region.cursor()
                                                                         : 0;
  }
  std::span<const std::uint8_t> bytes = region.bytes(region.cursor(), shown);
  printer.payload_bytes(bytes, bytes.size() < payload_length);
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

// Tells the printer the model ("Camera '...'"), and whether it is one the
// layout belongs to.
bool print_camera_model(std::string_view model, Printer& printer) {
  const bool known = std::find(std::begin(known_models), std::end(known_models), model) !=
                     std::end(known_models);
  printer.qvcs_camera(model, known);
  return known;
}

// Moves the cursor from the model name to where the directory should be:
// past the name's terminator, to an even distance from the info start, and
// over any zero words of padding.  Stops at the segment's (or window's) end.
void skip_model_field(ByteRegion& region, Offset info_start, Offset segment_end) {
  Offset limit = readable_end(region, segment_end);
  while (region.cursor() < limit) {
    if (try_byte(region).value_or(0) == 0) break;
  }
  if ((region.cursor() - info_start) % 2 == 1) region.move_cursor(1);
  while (holds_in_segment(region, segment_end, 2)) {
    if (try_int16(region).value_or(0) != 0) {
      region.move_cursor(-2);
      break;
    }
  }
}

// The parameter table read a second time, as records of six words.  Returns
// the specials it found, or -1 when the table does not fit in the segment
// ("invalid QVCS infos" ends the line; the cursor stays behind N).
int scan_qvcs_parameters(ByteRegion& region, Offset segment_end, Printer& printer) {
  int specials = 0;
  const Offset count_at = region.cursor();
  std::uint16_t count = get_int16(region, printer);
  if (count != 19 && count != 25) ++specials;
  printer.qvcs_parameters(count);
  if (!holds_in_segment(region, segment_end, std::uint64_t{qvcs_record_size} * count)) {
    printer.finding(Channel::out, count_at, "invalid QVCS infos\n");
    return -1;
  }
  for (std::uint16_t i = 0; i < count; ++i) {
    std::uint16_t word[6];
    for (std::uint16_t& w : word) w = get_int16(region, printer);
    printer.qvcs_parameter(word[0], word[4]);
    specials += (word[1] != 3) + (word[2] != 0) + (word[3] != 1) + (word[5] != 0);
  }
  printer.qvcs_parameters_end();
  return specials;
}

// Two zero words after the table, read only when four bytes are left.
int scan_qvcs_trailer(ByteRegion& region, Offset segment_end, Printer& printer) {
  if (!holds_in_segment(region, segment_end, 4)) return 0;
  int specials = get_int16(region, printer) != 0;
  specials += get_int16(region, printer) != 0;
  return specials;
}

// Says embedded_end on the way out of the parameter directory.
class DirectoryScope {
 public:
  DirectoryScope(Printer& printer, Offset at, std::int64_t size)
      : printer_(printer), size_(size) {
    printer_.embedded_begin(EmbeddedKind::qvcs_directory, at, size);
  }
  ~DirectoryScope() { printer_.embedded_end(EmbeddedKind::qvcs_directory, size_); }
  DirectoryScope(const DirectoryScope&) = delete;
  DirectoryScope& operator=(const DirectoryScope&) = delete;

 private:
  Printer& printer_;
  std::int64_t size_;
};

}  // namespace

void scan_qvcs_info(ByteRegion& region, Offset segment_end, WalkContext& context) {
  Printer& printer = context.printer;
  const Offset info_start = region.cursor();
  printer.qvcs_data(info_start, remaining_length(region, segment_end));
  dump_qvcs_payload(region, segment_end, printer);

  if (region.failed() || region.cursor() > segment_end || segment_end - region.cursor() < 2) {
    printer.finding(Channel::err, info_start, "no data in qvcs info\n");
    region.fail();
    return;
  }
  if (region.byte_at(info_start) != 0)
    printer.finding(Channel::err, info_start, "missing 0-Terminator at app-type\n");
  if (region.byte_at(info_start + 1) != 0)
    printer.finding(Channel::err, info_start + 1, "missing alignment at app-type\n");
  region.move_cursor(2);

  int specials = print_camera_model(model_name(region, segment_end), printer) ? 0 : 1;
  skip_model_field(region, info_start, segment_end);
  if (region.cursor() - info_start != model_field_end) {
    ++specials;
    printer.finding(Channel::err, region.cursor(), "model-alignment for 14/16 byte not zeros\n");
  }

  // The parameter table is also a TIFF directory; its offsets count from the
  // info start and its values must lie inside the segment.
  {
    const DirectoryScope directory_node(printer, region.cursor(),
                                        remaining_length(region, segment_end));
    ByteRegion directory = region.slice(info_start, segment_end);
    directory.seek(region.cursor());
    TiffContext tiff(context);
    scan_ifd(directory, IfdKind::qvcs, 0, tiff);
  }

  int parameter_specials = scan_qvcs_parameters(region, segment_end, printer);
  if (parameter_specials < 0) return;
  specials += parameter_specials + scan_qvcs_trailer(region, segment_end, printer);

  if (specials > 0)
    printer.finding(Channel::out, info_start, "QVCS: %d specials detected\n", specials);
  if (region.cursor() != segment_end) {
    printer.finding(Channel::out, region.cursor(), "QVCS: %" PRId64 " bytes unused data\n",
                    remaining_length(region, segment_end));
    region.seek(segment_end);
  }
}

}  // namespace segsniff
