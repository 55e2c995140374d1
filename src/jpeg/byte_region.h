// ByteRegion: a read window over the mapped input, and the readers that are
// the only code touching bytes of the input.
//
// Positions are unsigned 64-bit offsets from the first byte of the mapped
// input, so a position can point anywhere -- past the window, past the file
// -- without being undefined behaviour, and the offset of any position from
// the start of the file is the position itself.  A cursor that lost its
// position (a failed checked read) holds `no_position`, which no window
// contains.
//
// The vocabulary, each with its out-of-bytes result:
//   get_int16, get_int32     checked: the reader's message as a finding on
//                            standard error, region poisoned, result 0
//   try_int16, try_int32,    quiet: nothing (std::nullopt), region as it was;
//   try_byte, try_bytes      for decoders that print their own text, or
//                            decode what the listing never shows
//   bytes, byte_at           checked look-ups that do not move: an empty span,
//                            or 0
//   slice                    the one way to make a sub-window
//   find_byte_pair           the one search for a byte pair
// Decoders never index the input themselves.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace segsniff {

class Printer;

using Offset = std::uint64_t;
inline constexpr Offset no_position = ~Offset{0};

class ByteRegion {
 public:
  ByteRegion() = default;
  // The window [begin, end) of the input whose first byte is at `input`,
  // cursor on begin.  A window never reaches past the bytes the caller has.
  ByteRegion(const std::uint8_t* input, Offset begin, Offset end)
      : input_(input), begin_(begin), end_(end), cursor_(begin) {}

  // A window over a whole buffer of `size` bytes.
  static ByteRegion over(const std::uint8_t* input, Offset size) {
    return ByteRegion(input, 0, size);
  }

  Offset begin() const { return begin_; }
  Offset end() const { return end_; }
  Offset cursor() const { return cursor_; }
  // Which input the window lies in: windows over one input share it.  (For
  // memos kept across windows; never to be read through.)
  const void* input_id() const { return input_; }

  bool contains(Offset p) const { return p >= begin_ && p < end_; }
  bool contains_or_end(Offset p) const { return p != no_position && p >= begin_ && p <= end_; }
  bool failed() const { return cursor_ == no_position; }
  void fail() { cursor_ = no_position; }

  // True when the n bytes p .. p+n-1 all lie in the window (n >= 1).
  // Tested by subtraction, so no sum can wrap.
  bool holds(Offset p, std::uint64_t n) const {
    return contains(p) && n >= 1 && n <= end_ - p;
  }

  // Bytes left in the window from the cursor on (0 when outside or failed).
  std::uint64_t remaining() const { return contains(cursor_) ? end_ - cursor_ : 0; }

  // Puts the cursor on any position, inside the window or not (a segment
  // end, an offset read from the file), or no_position.
  void seek(Offset p) { cursor_ = p; }

  // Moves the cursor by a signed distance.  A failed cursor stays failed; a
  // move below offset 0 or past the largest offset loses the position.
  void move_cursor(std::int64_t distance) {
    if (failed()) return;
    if (distance < 0) {
      std::uint64_t back = 0 - static_cast<std::uint64_t>(distance);
      cursor_ = back > cursor_ ? no_position : cursor_ - back;
    } else {
      std::uint64_t ahead = static_cast<std::uint64_t>(distance);
      cursor_ = ahead >= no_position - cursor_ ? no_position : cursor_ + ahead;
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
  std::uint8_t byte_at(Offset p) const { return contains(p) ? input_[p] : 0; }

  // The n bytes from p, or an empty span unless all of them are in the window.
  std::span<const std::uint8_t> bytes(Offset p, std::uint64_t n) const {
    if (!holds(p, n)) return {};
    return {input_ + p, static_cast<std::size_t>(n)};
  }

  // The part of [from, to) that lies in this window, as a window of its own
  // with the cursor at `from` (cut: a sub-window never reaches outside).
  // An empty or inverted range gives an empty window at `from`; from
  // no_position, an empty failed window.
  ByteRegion slice(Offset from, Offset to) const {
    if (from == no_position) {
      ByteRegion lost(input_, end_, end_);
      lost.fail();
      return lost;
    }
    ByteRegion sub(input_, from, to);
    if (sub.end_ > end_) sub.end_ = end_;
    if (sub.begin_ < begin_) sub.begin_ = begin_;
    if (sub.end_ < sub.begin_) sub.end_ = sub.begin_;
    return sub;
  }

 private:
  friend std::uint16_t read_int16(ByteRegion& r);
  friend std::uint32_t read_int32(ByteRegion& r);
  friend Offset find_byte_pair(const ByteRegion& r, Offset from, Offset to, std::uint8_t first,
                               std::uint8_t second);

  const std::uint8_t* input_ = nullptr;  // first byte of the mapped input
  Offset begin_ = 0;                     // first byte of the window
  Offset end_ = 0;                       // one past the last byte of the window
  Offset cursor_ = 0;                    // next byte to read, or no_position
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

// Unchecked readers: the caller has made sure the bytes are in the window
// (the readers below do; nothing else calls these).
inline std::uint16_t read_int16(ByteRegion& r) {
  const std::uint8_t* p = r.input_ + r.cursor_;
  r.cursor_ += 2;
  if (intel_order) return static_cast<std::uint16_t>(p[1] << 8 | p[0]);
  return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

inline std::uint32_t read_int32(ByteRegion& r) {
  const std::uint8_t* p = r.input_ + r.cursor_;
  r.cursor_ += 4;
  if (intel_order)
    return std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// Out-of-line failure paths: the reader's message as a finding on standard
// error at the failed position, then the region is poisoned.
void fail_int16(ByteRegion& r, Printer& printer);
void fail_int32(ByteRegion& r, Printer& printer);

// Checked readers.  On failure: "get_int16() fails for end of data\n" (or
// the int32 text) on standard error, cursor no_position, result 0.  A
// failed region stays failed: every later read fails and says so again.
inline std::uint16_t get_int16(ByteRegion& r, Printer& printer) {
  if (r.holds(r.cursor(), 2)) return read_int16(r);
  fail_int16(r, printer);
  return 0;
}

inline std::uint32_t get_int32(ByteRegion& r, Printer& printer) {
  if (r.holds(r.cursor(), 4)) return read_int32(r);
  fail_int32(r, printer);
  return 0;
}

// Quiet readers.  When the bytes are in the window they are read and the
// cursor moves past them; otherwise nothing is printed, the region stays as
// it was (a failed one stays failed) and the result is empty.
inline std::optional<std::uint16_t> try_int16(ByteRegion& r) {
  if (!r.holds(r.cursor(), 2)) return std::nullopt;
  return read_int16(r);
}

inline std::optional<std::uint32_t> try_int32(ByteRegion& r) {
  if (!r.holds(r.cursor(), 4)) return std::nullopt;
  return read_int32(r);
}

inline std::optional<std::uint8_t> try_byte(ByteRegion& r) {
  if (!r.contains(r.cursor())) return std::nullopt;
  const std::uint8_t byte = r.byte_at(r.cursor());
  r.move_cursor(1);
  return byte;
}

// The next n bytes (n >= 1), the cursor moved past them.
inline std::optional<std::span<const std::uint8_t>> try_bytes(ByteRegion& r, std::uint64_t n) {
  std::span<const std::uint8_t> run = r.bytes(r.cursor(), n);
  if (run.empty()) return std::nullopt;
  r.seek(r.cursor() + n);
  return run;
}

// The first p with from <= p < to whose bytes p, p+1 both lie in the window
// and are `first`, `second`; no_position when there is none.  The one
// search for a byte pair rather than a walk of a structure (the carving's
// FF D8, the scan skip's FF D9): memchr finds the candidate first bytes at
// memory speed, only those are looked at with the byte after them.
Offset find_byte_pair(const ByteRegion& r, Offset from, Offset to, std::uint8_t first,
                      std::uint8_t second);

}  // namespace segsniff
