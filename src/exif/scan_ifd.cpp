#include "exif/scan_ifd.h"

#include <cinttypes>

namespace segsniff {

namespace {

// True when the image's entry allowance (walk_budget.h) is spent, so that
// nothing more of this structure is dumped; says so once per structure.
// With take, an entry that may be dumped is counted.
bool entries_spent(TiffContext& context, Offset at, Offset ifd_offset, bool take) {
  WalkBudget& budget = context.walk.budget;
  if (take ? budget.take_entry() : budget.entry_left()) return false;
  if (!context.entry_limit_reported)
    context.walk.printer.finding(Channel::err, at,
                                 "IFD at tiff-offset %08" PRIX64 ": more than %" PRIu64
                                 " entries in this image, dump stopped\n",
                                 ifd_offset, budget.entries_allowed());
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

// Counts one IFD level and says ifd_end on every way out of a directory
// whose ifd_begin has been said, with the next-IFD offset once it is read.
class IfdScope {
 public:
  explicit IfdScope(TiffContext& context) : depth_(context), printer_(context.walk.printer) {}
  ~IfdScope() { printer_.ifd_end(has_next_, next_offset_); }
  IfdScope(const IfdScope&) = delete;
  IfdScope& operator=(const IfdScope&) = delete;
  void set_next(std::uint32_t offset) {
    has_next_ = true;
    next_offset_ = offset;
  }

 private:
  IfdDepthScope depth_;
  Printer& printer_;
  bool has_next_ = false;
  std::uint32_t next_offset_ = 0;
};

// Says ifd_chain_end ("no more IFD") on the way out of a chain.
class ChainScope {
 public:
  ChainScope(Printer& printer, IfdKind kind, std::uint32_t start_offset) : printer_(printer) {
    printer_.ifd_chain_begin(kind, start_offset);
  }
  ~ChainScope() { printer_.ifd_chain_end(); }
  ChainScope(const ChainScope&) = delete;
  ChainScope& operator=(const ChainScope&) = delete;

 private:
  Printer& printer_;
};

}  // namespace

// A chain: IFD, next-IFD offset, IFD, ... until an offset of 0 or one that
// leaves the window.  Each IFD offset is walked at most once per structure
// (scan_ifd refuses a repeat; see first_walk), so a chain that loops ends
// there.
void scan_ifd_chain(const ByteRegion& tiff, std::uint32_t start_offset, IfdKind kind,
                    TiffContext& context) {
  const ChainScope chain_node(context.walk.printer, kind, start_offset);
  ByteRegion chain = tiff;
  chain.seek(ByteRegion::after(tiff.begin(), start_offset));
  for (int index = 0; chain.contains(chain.cursor()) && chain.cursor() != chain.begin(); ++index)
    scan_ifd(chain, kind, index, context);
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
void scan_ifd(ByteRegion& region, IfdKind kind, int index, TiffContext& context) {
  Printer& printer = context.walk.printer;
  const Offset at = region.cursor();
  if (!region.holds(at, 2)) {
    printer.finding(Channel::err, at, "IFD out of area\n");
    region.fail();
    return;
  }
  if (at == region.begin()) {
    printer.finding(Channel::err, at, "IFD offset is zero\n");
    region.fail();
    return;
  }
  const Offset ifd_offset = at - region.begin();
  if (context.ifd_depth >= max_ifd_depth) {
    printer.finding(Channel::err, at,
                    "IFD at tiff-offset %08" PRIX64 " nested more than %d deep, not walked\n",
                    ifd_offset, max_ifd_depth);
    region.fail();
    return;
  }
  if (entries_spent(context, at, ifd_offset, false)) {
    region.fail();
    return;
  }
  if (!first_walk(context, ifd_offset)) {
    printer.finding(Channel::err, at,
                    "IFD at tiff-offset %08" PRIX64 " walked before, chain ends here\n",
                    ifd_offset);
    region.fail();
    return;
  }

  const std::uint16_t entry_count = get_int16(region, printer);
  printer.ifd_begin({kind, index, at, ifd_offset, entry_count});
  IfdScope ifd_node(context);
  for (int i = 0; i < entry_count; ++i) {
    if (region.failed()) {
      printer.finding(Channel::err, at,
                      "IFD at tiff-offset %08" PRIX64
                      ": %d more entries lie past the end of data\n",
                      ifd_offset, entry_count - i);
      break;
    }
    if (entries_spent(context, at, ifd_offset, true)) {
      region.fail();
      return;
    }
    scan_tiff_tag(region, context);
  }

  const Offset next_at = region.cursor();
  const std::optional<std::uint32_t> next_offset = try_int32(region);
  if (!next_offset) {
    printer.finding(Channel::err, next_at, "no memory for offset of next ifd\n");
    region.fail();
    return;
  }
  ifd_node.set_next(*next_offset);
  region.seek(ByteRegion::after(region.begin(), *next_offset));
}

}  // namespace segsniff
