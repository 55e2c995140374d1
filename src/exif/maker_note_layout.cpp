#include "exif/maker_note_layout.h"

#include <cstring>
#include <string_view>

#include "exif/scan_ifd.h"
#include "shell/printer.h"

namespace segsniff {

namespace {

using namespace std::string_view_literals;

// How the byte order of a note is known.
enum class NoteOrder {
  structure,  // the enclosing structure's
  little,     // always little-endian
  marked,     // "II" or "MM" at order_at; the structure's when neither
};

// Where the directory lies.
enum class NoteIfd {
  fixed,        // at ifd_at from the note's start
  offset_le32,  // at the little-endian offset stored at ifd_at (from the note's start)
  own_tiff,     // a TIFF header at ifd_at: order, 42, offset of the directory from it
};

// The headers of the common Maker Notes, each with its layout:
//   Nikon type 3:  "Nikon" 00 02 10|00 00 00, then a TIFF header of its own
//   Olympus:       "OLYMP" 00 vv vv, directory at 8, offsets from the Exif TIFF header
//   Olympus new:   "OLYMPUS" 00 "II"|"MM" vv vv, directory at 12, offsets from the note
//   Fujifilm:      "FUJIFILM", offset of the directory (4, little-endian);
//                  little-endian, offsets from the note
//   Panasonic:     "Panasonic" 00 00 00, directory at 12, Exif offsets
//   Sony:          "SONY DSC " / "SONY CAM " 00 00 00, directory at 12, Exif offsets
//   Pentax:        "AOC" 00 and "II"|"MM" (or two blanks), directory at 6,
//                  Exif offsets
// Invariants: magics non-empty; no magic is the start of a later row's.
struct MakerNoteHeader {
  const char* maker;
  const char* header;
  std::string_view magic;
  NoteOrder order;
  std::uint8_t order_at;
  NoteIfd ifd;
  std::uint8_t ifd_at;
  MakerNoteBase base;
};

constexpr MakerNoteHeader maker_note_header_table[] = {
    {"Nikon",     "Nikon type 3",   "Nikon\0\2\x10\0\0"sv,  NoteOrder::marked,    10, NoteIfd::own_tiff,    10, MakerNoteBase::own_tiff},
    {"Nikon",     "Nikon type 3",   "Nikon\0\2\0\0\0"sv,    NoteOrder::marked,    10, NoteIfd::own_tiff,    10, MakerNoteBase::own_tiff},
    {"Olympus",   "OLYMPUS II/MM",  "OLYMPUS\0"sv,          NoteOrder::marked,     8, NoteIfd::fixed,       12, MakerNoteBase::note},
    {"Olympus",   "OLYMP",          "OLYMP\0"sv,            NoteOrder::structure,  0, NoteIfd::fixed,        8, MakerNoteBase::exif_tiff},
    {"Fujifilm",  "FUJIFILM",       "FUJIFILM"sv,           NoteOrder::little,     0, NoteIfd::offset_le32,  8, MakerNoteBase::note},
    {"Panasonic", "Panasonic",      "Panasonic\0\0\0"sv,    NoteOrder::structure,  0, NoteIfd::fixed,       12, MakerNoteBase::exif_tiff},
    {"Sony",      "SONY DSC",       "SONY DSC \0\0\0"sv,    NoteOrder::structure,  0, NoteIfd::fixed,       12, MakerNoteBase::exif_tiff},
    {"Sony",      "SONY CAM",       "SONY CAM \0\0\0"sv,    NoteOrder::structure,  0, NoteIfd::fixed,       12, MakerNoteBase::exif_tiff},
    {"Pentax",    "AOC",            "AOC\0"sv,              NoteOrder::marked,     4, NoteIfd::fixed,        6, MakerNoteBase::exif_tiff},
};

// Canon's note has no header: a bare directory at the note's start, in the
// structure's order, with Exif offsets.  It is known by the Make.
constexpr MakerNoteHeader canon_layout = {"Canon", "bare IFD", ""sv, NoteOrder::structure, 0,
                                          NoteIfd::fixed, 0, MakerNoteBase::exif_tiff};
constexpr std::string_view canon_make = "Canon";

bool starts_with(const ByteRegion& region, std::string_view magic) {
  const auto bytes = region.bytes(region.begin(), magic.size());
  return !bytes.empty() && std::memcmp(bytes.data(), magic.data(), magic.size()) == 0;
}

const MakerNoteHeader* find_layout(const ByteRegion& note, const ByteRegion& make) {
  for (const MakerNoteHeader& row : maker_note_header_table)
    if (starts_with(note, row.magic)) return &row;
  if (starts_with(make, canon_make)) return &canon_layout;
  return nullptr;
}

// "II" or "MM" at p: sets intel; false when neither is there.
bool read_order_mark(const ByteRegion& note, Offset p, bool& intel) {
  const auto mark = note.bytes(p, 2);
  if (mark.empty()) return false;
  if (mark[0] == 'I' && mark[1] == 'I') intel = true;
  else if (mark[0] == 'M' && mark[1] == 'M') intel = false;
  else return false;
  return true;
}

// Fills in order, base and directory position; the directory position stays
// no_position when the header's fields are not all there.
void place_directory(const MakerNoteHeader& row, const ByteRegion& entry_region,
                     const ByteRegion& note, MakerNoteLayout& layout) {
  const Offset start = note.begin();
  layout.intel = intel_order;
  if (row.order == NoteOrder::little) layout.intel = true;
  if (row.order == NoteOrder::marked) read_order_mark(note, start + row.order_at, layout.intel);
  layout.base = row.base == MakerNoteBase::exif_tiff ? entry_region.begin() : start;
  layout.header_size = row.magic.size();

  const ByteOrderScope order(layout.intel);
  ByteRegion fields = note;
  switch (row.ifd) {
    case NoteIfd::fixed:
      layout.ifd_at = start + row.ifd_at;
      return;
    case NoteIfd::offset_le32: {
      fields.seek(start + row.ifd_at);
      if (const auto offset = try_int32(fields)) layout.ifd_at = ByteRegion::after(start, *offset);
      return;
    }
    case NoteIfd::own_tiff: {
      layout.base = start + row.ifd_at;
      fields.seek(layout.base + 2);
      const auto magic = try_int16(fields);
      const auto offset = try_int32(fields);
      if (magic == 42 && offset) layout.ifd_at = ByteRegion::after(layout.base, *offset);
      return;
    }
  }
}

}  // namespace

// Offsets that count from the Exif TIFF header are read through the whole
// structure, as every other offset of it, and the directory's walk shares
// the structure's record of walked directories (so a note that points back
// at IFD0 is refused).  Offsets that count from the note, or from the note's
// own TIFF header, are read through the note alone, with a record of their
// own (their numbers say nothing about the structure's), but the nesting
// depth goes on counting.
void scan_maker_note_layout(const ByteRegion& entry_region, const ByteRegion& note,
                            TiffContext& context) {
  Printer& printer = context.walk.printer;
  const MakerNoteHeader* row = find_layout(note, context.make);
  MakerNoteLayout layout;
  layout.note = note;
  if (row == nullptr) {
    printer.maker_note_layout(layout);
    return;
  }
  layout.maker = row->maker;
  layout.header = row->header;
  layout.base_kind = row->base;
  place_directory(*row, entry_region, note, layout);
  printer.maker_note_layout(layout);
  if (layout.ifd_at == no_position) return;

  const ByteOrderScope order(layout.intel);
  if (row->base == MakerNoteBase::exif_tiff) {
    ByteRegion directory = entry_region;
    directory.seek(layout.ifd_at);
    MakerNoteScope scope(context);
    scan_ifd(directory, IfdKind::maker_note, 0, context);
    return;
  }
  ByteRegion directory = note.slice(layout.base, note.end());
  directory.seek(layout.ifd_at);
  TiffContext own(context.walk);
  own.ifd_depth = context.ifd_depth;
  own.in_maker_note = true;
  scan_ifd(directory, IfdKind::maker_note, 0, own);
}

}  // namespace segsniff
