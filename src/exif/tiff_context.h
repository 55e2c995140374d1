// State that lives for one TIFF structure (one Exif block, one QVCS
// directory) and is handed down through its IFD walk.
#pragma once

#include <bitset>
#include <cstdint>

#include "jpeg/byte_region.h"
#include "jpeg/walk_context.h"

namespace segsniff {

// The thumbnail offset/length pair (tags 0x0201/0x0202): either may come
// first; the second half of the pair triggers the walk of the thumbnail.
// It belongs to one TIFF structure: a structure starts with nothing pending
// and drops what is still pending at its end.
struct ThumbnailPair {
  std::uint32_t thumbnail_offset = 0;
  std::uint32_t thumbnail_length = 0;
  bool thumbnail_offset_seen = false;
  bool thumbnail_length_seen = false;
};

// IFD offsets already walked in this structure.  A TIFF structure lies in
// one application segment, so its offsets are below 64 KiB and a fixed
// bitmap is enough; offsets beyond it cannot lie inside the structure.
class VisitedIfds {
 public:
  static constexpr std::uint64_t limit = 1 << 16;
  // True the first time an offset is seen, false every time after.
  bool first_visit(Offset tiff_offset) {
    if (tiff_offset >= limit) return true;
    if (seen_.test(tiff_offset)) return false;
    seen_.set(tiff_offset);
    return true;
  }
  bool seen(Offset tiff_offset) const { return tiff_offset < limit && seen_.test(tiff_offset); }
  void clear() { seen_.reset(); }

 private:
  std::bitset<limit> seen_;
};

// IFDs nest through sub-IFD pointers and Maker Notes.  Real structures nest
// three or four deep (IFD0, Exif IFD, Interoperability IFD or Maker Note);
// the visited bitmap alone would still allow thousands of levels in one
// segment, each a few stack frames, and a thumbnail can repeat that up to
// max_walk_depth times.  Deeper IFDs are reported and not walked.
inline constexpr int max_ifd_depth = 32;

struct TiffContext {
  explicit TiffContext(WalkContext& w) : walk(w) {}
  WalkContext& walk;  // the marker walk this structure is nested in
  // IFDs walked by the structure's own chains and pointers, and IFDs walked
  // inside the Maker Note being dumped (see scan_ifd).
  VisitedIfds visited;
  VisitedIfds maker_note_visited;
  bool in_maker_note = false;
  ThumbnailPair thumbnail;
  // The value of the structure's Make entry (tag 010F), for the Maker Note
  // layouts known by the camera's make (maker_note_layout.h); empty before.
  ByteRegion make;
  int ifd_depth = 0;  // IFDs being walked right now (nested)
  // The image's entry allowance (walk.budget) ran out in this structure
  // and that has been said.
  bool entry_limit_reported = false;
};

// Counts one IFD level for the lifetime of the scope.
class IfdDepthScope {
 public:
  explicit IfdDepthScope(TiffContext& context) : context_(context) { ++context_.ifd_depth; }
  ~IfdDepthScope() { --context_.ifd_depth; }
  IfdDepthScope(const IfdDepthScope&) = delete;
  IfdDepthScope& operator=(const IfdDepthScope&) = delete;

 private:
  TiffContext& context_;
};

// Marks the scope of a Maker Note's dump.  The outermost note starts an
// empty record of its own; a note met inside a note is part of that walk.
class MakerNoteScope {
 public:
  explicit MakerNoteScope(TiffContext& context)
      : context_(context), outer_(context.in_maker_note) {
    if (!outer_) context_.maker_note_visited.clear();
    context_.in_maker_note = true;
  }
  ~MakerNoteScope() { context_.in_maker_note = outer_; }
  MakerNoteScope(const MakerNoteScope&) = delete;
  MakerNoteScope& operator=(const MakerNoteScope&) = delete;

 private:
  TiffContext& context_;
  bool outer_;
};

}  // namespace segsniff
