#include "exif/embedded_streams.h"

#include <cinttypes>

#include "exif/maker_note_layout.h"
#include "exif/scan_ifd.h"
#include "jpeg/scan_jpeg_markers.h"

namespace segsniff {

namespace {

// Whether an embedded stream of `bytes` bytes may be walked; when it may,
// it is counted as walked.  Crafted files nest thumbnails thousands of
// levels deep inside one segment (each level costs a walk, an Exif block and
// an IFD on the stack), or point many entries of each level at the same
// nested stream (the walks multiply level by level): the depth is bounded,
// and the number and the bytes of the streams walked are taken from the
// image's allowance (walk_budget.h).
enum class NestedWalk { allowed, too_deep, too_many, too_large };

NestedWalk take_nested_walk(WalkContext& walk, std::uint64_t bytes) {
  if (walk.depth >= max_walk_depth) return NestedWalk::too_deep;
  switch (walk.budget.take_stream(bytes)) {
    case WalkBudget::Stream::too_many:
      return NestedWalk::too_many;
    case WalkBudget::Stream::too_large:
      return NestedWalk::too_large;
    case WalkBudget::Stream::allowed:
      break;
  }
  return NestedWalk::allowed;
}

// Says embedded_end on every way out of a nested value.
class EmbeddedScope {
 public:
  EmbeddedScope(Printer& printer, EmbeddedKind kind, Offset at, std::int64_t size)
      : printer_(printer), kind_(kind), size_(size) {
    printer_.embedded_begin(kind, at, size);
  }
  ~EmbeddedScope() { printer_.embedded_end(kind_, size_); }
  EmbeddedScope(const EmbeddedScope&) = delete;
  EmbeddedScope& operator=(const EmbeddedScope&) = delete;

 private:
  Printer& printer_;
  EmbeddedKind kind_;
  std::int64_t size_;
};

// Both halves of the pair are known: the thumbnail is the `length` bytes
// at `offset` from the TIFF header.  The pair is spent whatever follows,
// so a later pair starts afresh without overwrite warnings.  The walk
// prints marker offsets from the thumbnail's start and reads big-endian
// only for its own duration, so the enclosing IFD goes on in its own order.
void walk_thumbnail(const ByteRegion& entry_region, TiffContext& context) {
  Printer& printer = context.walk.printer;
  ThumbnailPair& pair = context.thumbnail;
  pair.thumbnail_offset_seen = false;
  pair.thumbnail_length_seen = false;

  Offset start = ByteRegion::after(entry_region.begin(), pair.thumbnail_offset);
  if (!entry_region.contains(start)) {
    printer.finding(Channel::err, start,
                    "illegal EXIF jpeg thumbnail (begin of data out of area)\n");
    return;
  }
  // The last byte; a length of 0 tests the byte before the start, which
  // lies inside unless the thumbnail starts on the TIFF header itself.
  Offset last = start + pair.thumbnail_length - 1;
  if (!entry_region.contains(last)) {
    printer.finding(Channel::err, start,
                    "illegal EXIF jpeg thumbnail (end of data out of area)\n");
    return;
  }

  const EmbeddedScope thumbnail_node(printer, EmbeddedKind::thumbnail, start,
                                     pair.thumbnail_length);
  switch (take_nested_walk(context.walk, pair.thumbnail_length)) {
    case NestedWalk::allowed: {
      ByteRegion thumbnail = entry_region.slice(start, start + pair.thumbnail_length);
      scan_jpeg_markers(thumbnail, context.walk);
      break;
    }
    case NestedWalk::too_deep:
      printer.finding(Channel::err, start,
                      "EXIF jpeg thumbnail not walked: JPEG streams nested deeper than %d\n",
                      max_walk_depth);
      break;
    case NestedWalk::too_many:
      printer.finding(Channel::err, start,
                      "EXIF jpeg thumbnail not walked: %d embedded JPEG streams walked in this"
                      " image already\n", max_embedded_walks);
      break;
    case NestedWalk::too_large:
      printer.finding(Channel::err, start,
                      "EXIF jpeg thumbnail not walked: embedded JPEG streams of this image would"
                      " exceed %" PRIu64 " bytes\n", context.walk.budget.stream_bytes_allowed());
      break;
  }
}

// The first element of a long entry, in the structure's byte order; with
// a count of 0 the read fails, reports, and gives 0.
std::uint32_t first_long(ByteRegion data, Printer& printer) {
  data.seek(data.begin());
  return get_int32(data, printer);
}

std::int64_t byte_total(const ByteRegion& data) {
  return static_cast<std::int64_t>(data.end() - data.begin());
}

}  // namespace

// Tag 0x0201 (JPEGInterchangeFormat), type long: the thumbnail's offset.
void scan_thumbnail_offset(const ByteRegion& entry_region, ByteRegion data, TiffContext& context) {
  ThumbnailPair& pair = context.thumbnail;
  if (pair.thumbnail_offset_seen)
    context.walk.printer.finding(Channel::out, data.begin(),
                                "    warning: thumbnail offset overwritten\n");
  pair.thumbnail_offset = first_long(data, context.walk.printer);
  pair.thumbnail_offset_seen = true;
  if (pair.thumbnail_length_seen) walk_thumbnail(entry_region, context);
}

// Tag 0x0202 (JPEGInterchangeFormatLength), type long: the thumbnail's length.
void scan_thumbnail_length(const ByteRegion& entry_region, ByteRegion data, TiffContext& context) {
  ThumbnailPair& pair = context.thumbnail;
  if (pair.thumbnail_length_seen)
    context.walk.printer.finding(Channel::out, data.begin(),
                                "    warning: thumbnail length overwritten\n");
  pair.thumbnail_length = first_long(data, context.walk.printer);
  pair.thumbnail_length_seen = true;
  if (pair.thumbnail_offset_seen) walk_thumbnail(entry_region, context);
}

// Tag 0x015B (JPEGTables), type undefined: an abbreviated JPEG stream of
// tables, walked over the value's own bytes; offsets count from its start.
void scan_jpeg_tables(const ByteRegion&, ByteRegion data, TiffContext& context) {
  Printer& printer = context.walk.printer;
  const EmbeddedScope tables_node(printer, EmbeddedKind::jpeg_tables, data.begin(),
                                  byte_total(data));
  data.seek(data.begin());
  switch (take_nested_walk(context.walk, data.end() - data.begin())) {
    case NestedWalk::allowed:
      scan_jpeg_markers(data, context.walk);
      break;
    case NestedWalk::too_deep:
      printer.finding(Channel::err, data.begin(),
                      "Tag 'JPEGTables' not walked: JPEG streams nested deeper than %d\n",
                      max_walk_depth);
      break;
    case NestedWalk::too_many:
      printer.finding(Channel::err, data.begin(),
                      "Tag 'JPEGTables' not walked: %d embedded JPEG streams walked in this image"
                      " already\n", max_embedded_walks);
      break;
    case NestedWalk::too_large:
      printer.finding(Channel::err, data.begin(),
                      "Tag 'JPEGTables' not walked: embedded JPEG streams of this image would"
                      " exceed %" PRIu64 " bytes\n", context.walk.budget.stream_bytes_allowed());
      break;
  }
}

// Tag 0x927C (MakerNote), type undefined: dumped as one IFD at the value's
// position, whatever maker layout it really has.  Its offsets count from
// the TIFF header like every other offset of the structure, so it is read
// through the whole entry region; its next-IFD offset is not followed.
// An IFD that the structure has walked (a note pointing at IFD0) or that
// this note has walked (a note pointing back at itself) is refused by
// scan_ifd; what the note walks is recorded apart from the structure's.
// A printer that asks for it gets the note read by its maker's layout
// instead (maker_note_layout.h).
void scan_maker_note(const ByteRegion& entry_region, ByteRegion data, TiffContext& context) {
  const EmbeddedScope note_node(context.walk.printer, EmbeddedKind::maker_note, data.begin(),
                                byte_total(data));
  if (context.walk.printer.reads_maker_note_layouts()) {
    scan_maker_note_layout(entry_region, data, context);
    return;
  }
  ByteRegion note = entry_region;
  note.seek(data.begin());
  MakerNoteScope scope(context);
  scan_ifd(note, IfdKind::maker_note, 0, context);
}

}  // namespace segsniff
