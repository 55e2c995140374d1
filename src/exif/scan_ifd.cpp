#include "exif/scan_ifd.h"

#include "shell/channels.h"

namespace segsniff {

namespace {

// True when the image's entry allowance (walk_budget.h) is spent, so that
// nothing more of this structure is dumped; says so once per structure.
// With take, an entry that may be dumped is counted.
bool entries_spent(TiffContext& context, Offset ifd_offset, bool take) {
  WalkBudget& budget = context.walk.budget;
  if (take ? budget.take_entry() : budget.entry_left()) return false;
  if (!context.entry_limit_reported)
    err_printf("IFD at tiff-offset %08lX: more than %lu entries in this image, dump stopped\n",
               static_cast<unsigned long>(ifd_offset),
               static_cast<unsigned long>(context.walk.budget.entries_allowed()));
  context.entry_limit_reported = true;
  return true;
}

// Whether the IFD at this offset may be walked now.  The structure's own
// chains and pointers walk each IFD once.  A Maker Note is read as a
// directory whatever its real layout, so its "entries" can be any bytes of
// the structure and may point at a real IFD before that IFD's own pointer
// is reached: its walk refuses what the structure has walked, but records
// what it walks in a record of its own, so that it never keeps a real IFD
// from being walked at its own pointer.
bool first_walk(TiffContext& context, Offset ifd_offset) {
  if (!context.in_maker_note) return context.visited.first_visit(ifd_offset);
  return !context.visited.seen(ifd_offset) && context.maker_note_visited.first_visit(ifd_offset);
}

}  // namespace

// A chain: IFD, next-IFD offset, IFD, ... until an offset of 0 or one that
// leaves the window.  Each IFD offset is walked at most once per structure
// (scan_ifd refuses a repeat; see first_walk), so a chain that loops ends
// there.
void scan_ifd_chain(const ByteRegion& tiff, std::uint32_t start_offset, TiffContext& context) {
  ByteRegion chain = tiff;
  chain.seek(ByteRegion::after(tiff.begin(), start_offset));
  while (chain.contains(chain.cursor()) && chain.cursor() != chain.begin()) scan_ifd(chain, context);
  out_printf("    no more IFD\n");
}

// IFD layout, in the structure's byte order:
//   count N (2) | N entries of 12 bytes | next-IFD offset (4), 0 = last
//
// An IFD already walked (first_walk), or nested deeper than
// max_ifd_depth, is reported and not walked: the cursor is lost, which ends
// the chain it belongs to, and the enclosing IFD goes on with its next entry.
//
// Once an entry read runs off the window the cursor is lost and every later
// entry of the IFD would fail in the same way, five lines each; with a count
// of up to 65535 that is a flood from a two-byte field, so the rest of the
// entries are summed up in one line.  Every entry dumped is taken from the
// allowance of the image the structure belongs to (walk_budget.h).
void scan_ifd(ByteRegion& region, TiffContext& context) {
  if (!region.holds(region.cursor(), 2)) {
    err_printf("IFD out of area\n");
    region.fail();
    return;
  }
  if (region.cursor() == region.begin()) {
    err_printf("IFD offset is zero\n");
    region.fail();
    return;
  }
  const Offset ifd_offset = region.cursor() - region.begin();
  if (context.ifd_depth >= max_ifd_depth) {
    err_printf("IFD at tiff-offset %08lX nested more than %d deep, not walked\n",
               static_cast<unsigned long>(ifd_offset), max_ifd_depth);
    region.fail();
    return;
  }
  if (entries_spent(context, ifd_offset, false)) {
    region.fail();
    return;
  }
  if (!first_walk(context, ifd_offset)) {
    err_printf("IFD at tiff-offset %08lX walked before, chain ends here\n",
               static_cast<unsigned long>(ifd_offset));
    region.fail();
    return;
  }
  IfdDepthScope depth(context);

  const std::uint16_t entry_count = get_int16(region);
  out_printf("    found IFD with %d tags at tiff-offset = %08lX\n", int{entry_count},
             static_cast<unsigned long>(ifd_offset));
  for (int i = 0; i < entry_count; ++i) {
    if (region.failed()) {
      err_printf("IFD at tiff-offset %08lX: %d more entries lie past the end of data\n",
                 static_cast<unsigned long>(ifd_offset), entry_count - i);
      break;
    }
    if (entries_spent(context, ifd_offset, true)) {
      region.fail();
      return;
    }
    scan_tiff_tag(region, context);
  }

  if (!region.holds(region.cursor(), 4)) {
    err_printf("no memory for offset of next ifd\n");
    region.fail();
    return;
  }
  const std::uint32_t next_offset = get_int32(region);
  region.seek(ByteRegion::after(region.begin(), next_offset));
}

}  // namespace segsniff
