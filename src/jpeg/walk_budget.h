// What the listing of one image may spend on the structures nested in its
// application segments: Exif entries dumped and bytes of embedded JPEG
// streams walked.
//
// These are what multiply output.  IFDs may overlap, so a few KiB of Exif
// read as millions of entries; thumbnail pairs may all point at one stream
// that holds as many pairs again, so nested walks multiply level by level.
// A limit granted afresh to every structure multiplies with them.  So the
// allowance is earned by bytes of input instead: the outermost walk of an
// image (a file in a dump, one candidate in a carving run) earns it as it
// reaches each application segment, in proportion to the segment's bytes,
// and everything nested in that image -- its Exif and QVCS structures, the
// thumbnails and JPEGTables walked from them, and their own segments and
// structures -- spends from that one account.  Nested walks earn nothing.
//
// A carving run walks the same bytes again for every FF D8 pair in front
// of them (stacked start markers, a thumbnail inside the picture just
// listed).  Segment bytes that an earlier walk over the same input has
// earned for earn nothing the second time; the walk may draw for them on a
// reserve that the whole input shares, as large as what all its bytes earn
// once.  So however many candidates walk through a structure, the
// structures of an input cost at most twice what one dump of it may cost.
// What the walks print themselves (marker lines, segment lines and their
// capped hex dumps) grows with the bytes each walk passes: that is the
// carving rule's own cost, one listing per FF D8 pair in front of a stream.
#pragma once

#include <cstdint>

#include "jpeg/byte_region.h"

namespace segsniff {

// One Exif entry may be dumped per this many bytes of application segment.
// Without overlaps an IFD entry takes 12 bytes, and a Maker Note read as a
// directory passes over the rest of its structure once more, so a structure
// that is not crafted needs at most one entry per 6 bytes (camera files use
// one per 12).  The entry dump prints at most about 700 bytes per entry.
inline constexpr std::uint64_t segment_bytes_per_entry = 4;

// Embedded streams may be walked for this many bytes per byte of
// application segment.  A thumbnail lies inside its segment; real files
// walk it once, or twice when a Maker Note read as a directory passes the
// thumbnail pair again.  A walk prints at most about 50 bytes per byte.
inline constexpr std::uint64_t stream_bytes_per_segment_byte = 4;

// Embedded streams walked in one image, whatever their size: each walk
// prints a few lines even for an empty stream.
inline constexpr int max_embedded_walks = 64;

// The largest application segment, as its length field counts it (itself
// and the payload).
inline constexpr std::uint64_t largest_segment_bytes = 65535;

class WalkBudget {
 public:
  // Decoders called without a marker walk around them (tests, tools) may
  // spend what one application segment of the largest size earns.
  WalkBudget() : earned_bytes_(largest_segment_bytes) {}

  // A carving run over an input of `input_size` bytes: segments walked
  // again may draw on a reserve of that many segment bytes.
  void set_reserve(std::uint64_t input_size) { reserve_bytes_ = input_size; }

  // An outermost walk begins: nothing earned, nothing spent.
  void start_image();

  // The outermost walk has reached the application segment whose bytes
  // (from its length field on) are [from, to) in the input, cut at the end
  // of the walk's window.
  void earn(Offset from, Offset to);

  // Whether one more entry may be dumped; take_entry also counts it.
  bool entry_left();
  bool take_entry();

  enum class Stream { allowed, too_many, too_large };
  // One more embedded stream of `bytes` bytes may be walked: counted when
  // allowed.
  Stream take_stream(std::uint64_t bytes);

  // What the image may spend at most, as far as it has earned (for the
  // messages that say a limit is reached).
  std::uint64_t entries_allowed() const { return earned_bytes_ / segment_bytes_per_entry; }
  std::uint64_t stream_bytes_allowed() const {
    return earned_bytes_ * stream_bytes_per_segment_byte;
  }

 private:
  // Moves up to `bytes` segment bytes that this image reached again from
  // the reserve into what it has earned; true when all of them came.
  bool draw(std::uint64_t bytes);

  // The image being walked.
  std::uint64_t earned_bytes_;         // segment bytes whose allowance it has
  std::uint64_t bytes_reached_again_ = 0;  // segment bytes earned before, not yet drawn for
  std::uint64_t entries_taken_ = 0;
  std::uint64_t stream_bytes_taken_ = 0;
  int streams_taken_ = 0;

  // The input: every segment byte before earned_to_ has earned once.
  Offset earned_to_ = 0;
  std::uint64_t reserve_bytes_ = 0;
};

}  // namespace segsniff
