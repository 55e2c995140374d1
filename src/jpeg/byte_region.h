// ByteRegion: a read window over the mapped input, and the checked readers.
//
// Positions are unsigned 64-bit offsets from the first byte of the mapped
// input (`base`), so a position can point anywhere -- past the window, past
// the file -- without being undefined behaviour, and the offset of any
// position from the start of the file is the position itself.  A cursor
// that lost its position (a failed checked read) holds `no_position`, which
// no window contains.
//
// These helpers are the only code that reads bytes of the input.  Decoders
// never index `base` themselves.
#pragma once

#include <cstdint>
#include <span>

namespace segsniff {

using Offset = std::uint64_t;
inline constexpr Offset no_position = ~Offset{0};

struct ByteRegion {
  const std::uint8_t* base = nullptr;  // first byte of the mapped input
  Offset begin = 0;                    // first byte of the window
  Offset end = 0;                      // one past the last byte of the window
  Offset cursor = 0;                   // next byte to read, or no_position

  // A window over a whole buffer of `size` bytes, cursor at its start.
  static ByteRegion over(const std::uint8_t* base, Offset size) {
    return ByteRegion{base, 0, size, 0};
  }

  bool contains(Offset p) const { return p >= begin && p < end; }
  bool contains_or_end(Offset p) const { return p != no_position && p >= begin && p <= end; }
  bool failed() const { return cursor == no_position; }
  void fail() { cursor = no_position; }

  // True when the n bytes p .. p+n-1 all lie in the window (n >= 1).
  // Tested by subtraction, so no sum can wrap.
  bool holds(Offset p, std::uint64_t n) const {
    return contains(p) && n >= 1 && n <= end - p;
  }

  // Bytes left in the window from the cursor on (0 when outside or failed).
  std::uint64_t remaining() const { return contains(cursor) ? end - cursor : 0; }

  // Moves the cursor by a signed distance.  A failed cursor stays failed; a
  // move below offset 0 or past the largest offset loses the position.
  void move_cursor(std::int64_t distance) {
    if (failed()) return;
    if (distance < 0) {
      std::uint64_t back = 0 - static_cast<std::uint64_t>(distance);
      cursor = back > cursor ? no_position : cursor - back;
    } else {
      std::uint64_t ahead = static_cast<std::uint64_t>(distance);
      cursor = ahead >= no_position - cursor ? no_position : cursor + ahead;
    }
  }

  // The position `distance` bytes after p, or no_position (from no_position,
  // or on overflow).  For offsets read from the file (TIFF offsets).
  static Offset after(Offset p, std::uint64_t distance) {
    if (p == no_position || distance >= no_position - p) return no_position;
    return p + distance;
  }

  // The byte at p, or 0 when p is outside the window.  Callers that must
  // tell the two apart test contains(p) first.
  std::uint8_t byte_at(Offset p) const { return contains(p) ? base[p] : 0; }

  // The n bytes from p, or an empty span unless all of them are in the window.
  std::span<const std::uint8_t> bytes(Offset p, std::uint64_t n) const {
    if (!holds(p, n)) return {};
    return {base + p, static_cast<std::size_t>(n)};
  }

  // The part of [from, to) that lies in this window, as a window of its own
  // with the cursor at `from` (cut: a sub-window never reaches outside).
  // An empty or inverted range gives an empty window at `from`.
  ByteRegion slice(Offset from, Offset to) const {
    ByteRegion sub{base, from, to, from};
    if (from == no_position) return ByteRegion{base, end, end, no_position};
    if (sub.end > end) sub.end = end;
    if (sub.begin < begin) sub.begin = begin;
    if (sub.end < sub.begin) sub.end = sub.begin;
    return sub;
  }
};

// Byte order of the 16/32-bit readers: false = big-endian ("MM"), true =
// little-endian ("II").  Changed only through ByteOrderScope.
extern bool intel_order;

// Sets intel_order for the lifetime of the scope and puts the value it found
// back on every way out.
class ByteOrderScope {
 public:
  explicit ByteOrderScope(bool intel) : saved_(intel_order) { intel_order = intel; }
  ~ByteOrderScope() { intel_order = saved_; }
  ByteOrderScope(const ByteOrderScope&) = delete;
  ByteOrderScope& operator=(const ByteOrderScope&) = delete;

 private:
  bool saved_;
};

// Unchecked readers: the caller has made sure the bytes are in the window.
inline std::uint16_t read_int16(ByteRegion& r) {
  const std::uint8_t* p = r.base + r.cursor;
  r.cursor += 2;
  if (intel_order) return static_cast<std::uint16_t>(p[1] << 8 | p[0]);
  return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

inline std::uint32_t read_int32(ByteRegion& r) {
  const std::uint8_t* p = r.base + r.cursor;
  r.cursor += 4;
  if (intel_order)
    return std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// Out-of-line failure paths: print the reader's message on standard error
// and poison the region.
void fail_int16(ByteRegion& r);
void fail_int32(ByteRegion& r);

// Checked readers.  On failure: "get_int16() fails for end of data\n" (or
// the int32 text) on the standard error stream, cursor no_position, result 0.
inline std::uint16_t get_int16(ByteRegion& r) {
  if (r.holds(r.cursor, 2)) return read_int16(r);
  fail_int16(r);
  return 0;
}

inline std::uint32_t get_int32(ByteRegion& r) {
  if (r.holds(r.cursor, 4)) return read_int32(r);
  fail_int32(r);
  return 0;
}

}  // namespace segsniff
